#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvelo {

/// The command line of tarvelo-cli.
struct CliOptions {
  std::string riskPath;
  std::string claimPath;
  std::optional<std::string> catalogueFolder;
  std::optional<std::string> exportPath;
  std::optional<std::string> detailPath;
  std::optional<std::string> jsonPath;
  std::optional<std::string> htmlPath;
  bool strict = false;
  /// Print the catalogue's rules instead of validating.
  bool rules = false;
  /// Check the catalogue itself instead of validating.
  bool checkCatalogue = false;
  bool help = false;
  bool version = false;
};

/// The usage text (several lines, ending in a line break).
std::string CliUsage();

/// "tarvelo-cli <version>" followed by a line break.
std::string CliVersion();

/// Parses the arguments after the program name. Accepts "--name VALUE" and
/// "--name=VALUE" for the options with a value. Returns nullopt and sets
/// error for an unknown option, a missing value, a value given to a flag or
/// a repeated option, --regras with an option of a run (--riscos,
/// --sinistros, --detalhes, --html, --estrito), or --verifica-catalogo with
/// any option but --catalogo.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace tarvelo
