#pragma once

#include <stdexcept>
#include <string>

namespace tarvelo {

/// Base of every error the system raises; what() is the exact message text
/// that the user sees (before the message box adds its full stop).
class TarveloError : public std::runtime_error {
 public:
  explicit TarveloError(const std::string& message) : std::runtime_error(message) {}

  /// Why the system refused a file operation ("No such file or directory",
  /// "Permission denied", os::SystemReason); empty when not known. Shown on a
  /// line of its own under the message.
  const std::string& Reason() const { return reason_; }
  void SetReason(std::string reason) { reason_ = std::move(reason); }

  /// Where the error happened, for the user to find the value (a data
  /// file, a record number and a field); empty when not known. Shown on a
  /// line of its own under the message.
  const std::string& Where() const { return where_; }
  void SetWhere(std::string where) { where_ = std::move(where); }

 private:
  std::string reason_;
  std::string where_;
};

/// The location line of an error about a whole file: "Arquivo: " and the
/// file's name as text (code page 1252, PathText).
inline std::string FileLocation(const std::string& shownPath) { return "Arquivo: " + shownPath; }

/// The reason given when another run or program holds a file.
inline constexpr const char* kFileInUse = "The file is in use by another program";

/// Failures of the DBF file and index layer about a file: open, header,
/// descriptors, index creation ("DbfTable.InternalOpen: ...").
class DbfError : public TarveloError {
 public:
  using TarveloError::TarveloError;
};

/// Errors of a table about itself, prefixed with the table's component name
/// when it has one ("tbDados: Field 'cod_seg' not found").
class DatabaseError : public TarveloError {
 public:
  using TarveloError::TarveloError;
};

/// Variant conversion and arithmetic failures ("Could not convert variant of
/// type (Null) into type (String)", "Floating point division by zero").
class VariantError : public TarveloError {
 public:
  using TarveloError::TarveloError;
};

/// Conversion of text to a number outside the Variant rules
/// ("'abc' is not a valid floating point value").
class ConvertError : public TarveloError {
 public:
  using TarveloError::TarveloError;
};

/// A position outside a list ("List index out of bounds (5)").
class ListIndexError : public TarveloError {
 public:
  explicit ListIndexError(long long position)
      : TarveloError("List index out of bounds (" + std::to_string(position) + ")") {}
};

/// Memory ran out during a step of a run; the message names the step
/// ("Out of memory while checking the records").
class OutOfMemoryError : public TarveloError {
 public:
  explicit OutOfMemoryError(const std::string& step) : TarveloError("Out of memory while " + step) {}
};

/// An integer count or product that left the 32-bit range ("Integer overflow").
class IntegerOverflowError : public TarveloError {
 public:
  IntegerOverflowError() : TarveloError("Integer overflow") {}
};

/// A run that ended because its front end asked it to stop (the window
/// being closed during a run); not a failure to show the user.
class RunStoppedError : public TarveloError {
 public:
  RunStoppedError() : TarveloError("The validation was stopped") {}
};

}  // namespace tarvelo
