#include "validation/export_path_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

TEST(CheckExportPath, RefusesEveryFileTheRunReadsHoweverNamed) {
  testing::TempDir dir;
  for (const char* name : {"r.dbf", "s.dbf", "tabelas.dbf", "anexos.dbf", "DadosQdp.DBF", "old report.txt"})
    testing::WriteFile(dir.File(name), name);
  const std::string risk = dir.File("r.dbf");
  const std::string claim = dir.File("s.dbf");
  const auto refused = [&](const std::string& target) {
    EXPECT_ERROR(TarveloError, CheckExportPath(target, {risk, claim}, dir.Path()),
                 "Cannot export the report to \"" + target + "\": the validation reads that file");
  };
  refused(dir.Path() + "./r.dbf");  // another spelling of the risks file
#ifndef _WIN32                      // a symbolic link needs a privilege on Windows
  ASSERT_NO_THROW(std::filesystem::create_symlink(claim, dir.File("link")));
  refused(dir.File("link"));  // a link to the claims file
  // A link to a file named as a table is refused for the name it leads to.
  testing::WriteFile(dir.File("x.dbf"), "notes");
  ASSERT_NO_THROW(std::filesystem::create_symlink("x.dbf", dir.File("report.txt")));
  EXPECT_ERROR(TarveloError, CheckExportPath(dir.File("report.txt"), {risk, claim}, dir.Path()),
               "Cannot export the report to \"" + dir.File("report.txt") +
                   "\": that file has the extension of a table or an index");
#endif
  ASSERT_NO_THROW(std::filesystem::create_hard_link(dir.File("tabelas.dbf"), dir.File("hard")));
  refused(dir.File("hard"));  // a second name of a catalogue file
  refused(dir.File("anexos.dbf"));
  refused(dir.File("DadosQdp.DBF"));

  // An earlier report, a new file, no export, and a box left blank.
  EXPECT_NO_THROW(CheckExportPath(dir.File("old report.txt"), {risk, claim}, dir.Path()));
  EXPECT_NO_THROW(CheckExportPath(dir.File("new.txt"), {risk, claim}, dir.Path()));
  EXPECT_NO_THROW(CheckExportPath("", {risk, claim}, dir.Path()));
  EXPECT_NO_THROW(CheckExportPath(dir.File("old report.txt"), {risk, "  "}, "/nowhere/"));
  EXPECT_ERROR(TarveloError, CheckExportPath(dir.File("old report.txt"), {dir.File("old report.txt")}, "/nowhere/"),
               "Cannot export the report to \"" + dir.File("old report.txt") + "\": the validation reads that file");
}

TEST(CheckExportPath, RefusesTheIndexWhereverTheRunWritesIt) {
  testing::TempDir catalogue;
  testing::TempDir own;  // the user's own folder, when the catalogue's takes no file
  for (const std::string& index : {catalogue.File("apolice.ntx"), own.File("APOLICE.NTX")}) {
    EXPECT_ERROR(TarveloError, CheckExportPath(index, {}, catalogue.Path(), own.Path()),
                 "Cannot export the report to \"" + index + "\": the validation writes its index to that file");
  }
  EXPECT_NO_THROW(CheckExportPath(own.File("apolice.txt"), {}, catalogue.Path(), own.Path()));
}

}  // namespace
}  // namespace tarvelo
