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
  bool help = false;
};

/// The usage text (several lines, ending in a line break).
std::string CliUsage();

/// Parses the arguments after the program name. Accepts "--name VALUE" and
/// "--name=VALUE". Returns nullopt and sets error for an unknown option, a
/// missing value or a repeated option.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace tarvelo
