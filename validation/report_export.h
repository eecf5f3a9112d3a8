#pragma once

#include <string>

#include "os/replacing_file.h"
#include "validation/result_log.h"

namespace tarvelo {

/// The output replacement of os/, by the name the validation and its front
/// ends give it.
using os::ReplacingFile;

/// Writes the log's lines to file as SaveReport does, and commits it.
void WriteReport(const ResultLog& log, ReplacingFile& file);

/// Saves the log's lines to path (code page 1252 bytes as held, CR LF after
/// every line, the last included; no header or byte-order mark) through a
/// ReplacingFile; an empty log gives an empty file. path is the file
/// system's name of the file.
void SaveReport(const ResultLog& log, const std::string& path);

/// Copies the file at source to target through a ReplacingFile, in pieces.
/// A source that cannot be read raises TarveloError "Cannot open file
/// "<source>". <reason>".
void CopyFile(const std::string& source, const std::string& target);

}  // namespace tarvelo
