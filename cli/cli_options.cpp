#include "cli/cli_options.h"

#include <set>

namespace tarvelo {

std::string CliUsage() {
  return "Usage: tarvelo-cli [--riscos FILE] [--sinistros FILE] [--catalogo DIR] [--exporta FILE]\n"
         "                   [--detalhes FILE] [--json FILE] [--html FILE] [--estrito] [--version]\n"
         "       tarvelo-cli --regras [--catalogo DIR] [--exporta FILE] [--json FILE]\n"
         "       tarvelo-cli --verifica-catalogo [--catalogo DIR]\n"
         "  --riscos FILE     risks file (DBF) to validate\n"
         "  --sinistros FILE  claims file (DBF) to validate\n"
         "  --catalogo DIR    folder of tabelas.dbf, anexos.dbf and DadosQdp.DBF\n"
         "                    (default: $TARVELO_CATALOGO, else the folder of this\n"
         "                    program, else ../share/tarvelo beside it)\n"
         "  --exporta FILE    also save the report (code page 1252, CR LF line ends)\n"
         "  --detalhes FILE   save one CSV row per counted failure and per claim\n"
         "                    without a policy item\n"
         "  --json FILE       save the run's results as JSON\n"
         "  --html FILE       save the run as one HTML page (charts, the failing\n"
         "                    records, the catalogue's rules)\n"
         "  --estrito         exit with 3 when the report shows a problem in the data\n"
         "  --version         print the program's version\n"
         "  --regras          print what the catalogue requires of each field (with\n"
         "                    --exporta saved in code page 1252, with --json as JSON)\n"
         "  --verifica-catalogo  list the catalogue's faults (exit 3 when found)\n"
         "Exit status: 0 the run completed, 1 an error ended it, 2 usage error,\n"
         "3 (with --estrito) the run completed and the data has problems.\n";
}

std::string CliVersion() { return "tarvelo-cli " TARVELO_VERSION "\n"; }

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error) {
  CliOptions options;
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name == "-h") name = "--help";
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    bool* flag = name == "--help"                ? &options.help
                 : name == "--version"           ? &options.version
                 : name == "--estrito"           ? &options.strict
                 : name == "--regras"            ? &options.rules
                 : name == "--verifica-catalogo" ? &options.checkCatalogue
                                                 : nullptr;
    std::string* text = name == "--riscos" ? &options.riskPath : name == "--sinistros" ? &options.claimPath : nullptr;
    std::optional<std::string>* optional = name == "--catalogo"   ? &options.catalogueFolder
                                           : name == "--exporta"  ? &options.exportPath
                                           : name == "--detalhes" ? &options.detailPath
                                           : name == "--json"     ? &options.jsonPath
                                           : name == "--html"     ? &options.htmlPath
                                                                  : nullptr;
    if (!flag && !text && !optional) {
      error = "unknown option: " + args[i];
      return std::nullopt;
    }
    if (!seen.insert(name).second && name != "--help") {
      error = "option given twice: " + name;
      return std::nullopt;
    }
    if (flag) {
      if (value) {
        error = "option takes no value: " + name;
        return std::nullopt;
      }
      *flag = true;
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = "missing value for " + name;
        return std::nullopt;
      }
      value = args[++i];
    }
    if (text) {
      *text = *value;
    } else {
      *optional = *value;
    }
  }
  if (options.rules && (seen.count("--riscos") || seen.count("--sinistros") || options.detailPath || options.htmlPath ||
                        options.strict)) {
    error = "--regras takes only --catalogo, --exporta and --json";
    return std::nullopt;
  }
  if (options.checkCatalogue && seen.size() != 1 + seen.count("--catalogo")) {
    error = "--verifica-catalogo takes only --catalogo";
    return std::nullopt;
  }
  return options;
}

}  // namespace tarvelo
