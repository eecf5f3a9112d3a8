#include "cli/cli_options.h"

namespace tarvelo {

std::string CliUsage() {
  return "Usage: tarvelo-cli [--riscos FILE] [--sinistros FILE] [--catalogo DIR] [--exporta FILE]\n"
         "  --riscos FILE     risks file (DBF) to validate\n"
         "  --sinistros FILE  claims file (DBF) to validate\n"
         "  --catalogo DIR    folder of tabelas.dbf, anexos.dbf and DadosQdp.DBF\n"
         "                    (default: the folder of this program)\n"
         "  --exporta FILE    also save the report (code page 1252, CR LF line ends)\n"
         "Exit status: 0 the run completed, 1 an error ended it, 2 usage error.\n";
}

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error) {
  CliOptions options;
  bool seenRisk = false, seenClaim = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (name != "--riscos" && name != "--sinistros" && name != "--catalogo" && name != "--exporta") {
      error = "unknown option: " + args[i];
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = "missing value for " + name;
        return std::nullopt;
      }
      value = args[++i];
    }
    bool repeated = false;
    if (name == "--riscos") {
      repeated = seenRisk;
      seenRisk = true;
      options.riskPath = *value;
    } else if (name == "--sinistros") {
      repeated = seenClaim;
      seenClaim = true;
      options.claimPath = *value;
    } else if (name == "--catalogo") {
      repeated = options.catalogueFolder.has_value();
      options.catalogueFolder = *value;
    } else {
      repeated = options.exportPath.has_value();
      options.exportPath = *value;
    }
    if (repeated) {
      error = "option given twice: " + name;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace tarvelo
