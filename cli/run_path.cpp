#include "cli/run_path.h"

namespace tarvelo {

std::string RunPathFromUtf8(std::string_view typed) { return std::string(typed); }

}  // namespace tarvelo
