#pragma once

#include <optional>
#include <string>
#include <vector>

#include "values/regional_settings.h"

namespace tarvelo {

// The window's command line, the same on every platform: what a terminal,
// the desktop's "Open with", files dropped on the program's icon and a
// shortcut's arguments give the window.

/// The window's command line: tarvelo [--catalogo DIR] [FILE...]. Paths
/// are as the program got them (the arguments' bytes on Linux, UTF-8 on
/// Windows).
struct WindowArguments {
  /// The folder given with --catalogo.
  std::optional<std::string> catalogueFolder;
  /// The data files given, in their order, for the edit boxes.
  std::vector<std::string> files;
  /// For --help the usage, for --version the name and version: the program
  /// shows it and ends. Empty otherwise.
  std::string textToPrint;
};

/// The usage text of the window's command line (ending in a line break).
std::string WindowUsage();

/// Parses the arguments after the program's name: "--catalogo DIR" or
/// "--catalogo=DIR", "--help" ("-h"), "--version", and files, "--" before
/// one that begins with "-". Any number of files is taken (the window
/// tells what it leaves out, StartFilesIntoBoxes). Returns nullopt and
/// sets error for an unknown option, a missing value or an option given
/// twice.
std::optional<WindowArguments> ParseWindowArguments(const std::vector<std::string>& arguments, std::string& error);

/// The data files given at start, sorted into the edit boxes.
struct StartBoxes {
  std::string riskFile;
  std::string claimFile;
  /// What the user should know (files left out), code page 1252; empty
  /// when nothing was left out.
  std::string notice;
};

/// Puts the first two of files (box texts, UTF-8) into the boxes by their
/// layout: a file whose fields are those the catalogue in catalogueFolder
/// gives the risks table goes into the risks box, one whose fields are
/// those of a later table (the claims) into the claims box, whatever their
/// order. A file of no known layout (unreadable, no DBF table, another
/// layout, or no catalogue to tell) takes the free box, the risks box
/// first, as does a second file of a layout whose box is taken. More than
/// two files: the others are left out, and notice names them.
StartBoxes StartFilesIntoBoxes(const std::vector<std::string>& files, const std::string& catalogueFolder,
                               const RegionalSettings& settings);

}  // namespace tarvelo
