#include "frontend/program_context.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvelo {
namespace {

TEST(RunPathFromUtf8, GivesTheBytesAsTheyAre) {
  for (const std::string typed : {"", " r.dbf ", "/d/s\xc3\xa9rie \xe4\xb8\xad.dbf", "latin1-\xe9.dbf"})
    EXPECT_EQ(RunPathFromUtf8(typed), typed);
}

}  // namespace
}  // namespace tarvelo
