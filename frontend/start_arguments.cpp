#include "frontend/start_arguments.h"

#include <exception>

#include "dbf/dbf_table.h"
#include "frontend/program_context.h"
#include "validation/catalogue.h"
#include "validation/structure_check.h"
#include "values/text.h"
#include "values/variant.h"

namespace tarvelo {
namespace {

enum class Layout { kRisks, kClaims, kUnknown };

/// The layouts of paths by the catalogue of folder; every one unknown when
/// the catalogue cannot be read.
std::vector<Layout> LayoutsOf(const std::vector<std::string>& paths, const std::string& folder,
                              const RegionalSettings& settings) {
  std::vector<Layout> layouts(paths.size(), Layout::kUnknown);
  const Catalogue catalogue(folder, settings);
  if (!catalogue.HasRules()) return layouts;
  for (size_t i = 0; i < paths.size(); ++i) {
    DbfTable data("tbDados", settings);
    try {
      data.SetDBFFileName(RunPathFromUtf8(paths[i]));
      data.Open();
      for (const CatalogueTableName& table : catalogue.TableOrder()) {
        if (!CheckStructure(catalogue, data, table.number, settings)) continue;
        layouts[i] = table.number == kRisksTable ? Layout::kRisks : Layout::kClaims;
        break;
      }
    } catch (const std::exception&) {
      // Not a table the reader takes: a file of no known layout.
    }
  }
  return layouts;
}

}  // namespace

std::string WindowUsage() {
  return "Usage: tarvelo [--catalogo DIR] [RISCOS.dbf [SINISTROS.dbf]]\n"
         "  --catalogo DIR  folder of tabelas.dbf, anexos.dbf and DadosQdp.DBF\n"
         "                  (default: $TARVELO_CATALOGO, else the folder of this\n"
         "                  program, else ../share/tarvelo beside it)\n"
         "  RISCOS.dbf      risks file, put into the first box\n"
         "  SINISTROS.dbf   claims file, put into the second box\n"
         "                  (in either order: each goes into the box of its layout)\n"
         "  --version       print the program's version\n";
}

std::optional<WindowArguments> ParseWindowArguments(const std::vector<std::string>& arguments, std::string& error) {
  WindowArguments parsed;
  bool optionsEnd = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnd || argument.empty() || argument[0] != '-' || argument == "-") {
      parsed.files.push_back(argument);
    } else if (argument == "--") {
      optionsEnd = true;
    } else if (argument == "--help" || argument == "-h") {
      parsed.textToPrint = WindowUsage();
      return parsed;
    } else if (argument == "--version") {
      parsed.textToPrint = "tarvelo " TARVELO_VERSION "\n";
      return parsed;
    } else if (argument == "--catalogo" || argument.rfind("--catalogo=", 0) == 0) {
      if (parsed.catalogueFolder) {
        error = "option given twice: --catalogo";
        return std::nullopt;
      }
      if (argument.size() > 10) {
        parsed.catalogueFolder = argument.substr(11);
      } else if (i + 1 < arguments.size()) {
        parsed.catalogueFolder = arguments[++i];
      } else {
        error = "missing value for --catalogo";
        return std::nullopt;
      }
    } else {
      error = "unknown option: " + argument;
      return std::nullopt;
    }
  }
  return parsed;
}

StartBoxes StartFilesIntoBoxes(const std::vector<std::string>& files, const std::string& catalogueFolder,
                               const RegionalSettings& settings) {
  const std::vector<std::string> used(files.begin(),
                                      files.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(files.size(), 2)));
  const std::vector<Layout> layouts = LayoutsOf(used, catalogueFolder, settings);
  StartBoxes boxes;
  std::vector<bool> placed(used.size(), false);
  // Each file into the box of its layout, the first of a layout first...
  for (size_t i = 0; i < used.size(); ++i) {
    std::string* box = layouts[i] == Layout::kRisks    ? &boxes.riskFile
                       : layouts[i] == Layout::kClaims ? &boxes.claimFile
                                                       : nullptr;
    if (!box || !box->empty()) continue;
    *box = used[i];
    placed[i] = true;
  }
  // ...then the others into the free box, the risks box first.
  for (size_t i = 0; i < used.size(); ++i) {
    if (placed[i]) continue;
    (boxes.riskFile.empty() ? boxes.riskFile : boxes.claimFile) = used[i];
  }
  if (files.size() > 2) {
    boxes.notice = "Too many files: a risks file and a claims file at most. The first two are in the boxes; left out:";
    for (size_t i = 2; i < files.size(); ++i) boxes.notice += "\n" + PathText(RunPathFromUtf8(files[i]));
  }
  return boxes;
}

}  // namespace tarvelo
