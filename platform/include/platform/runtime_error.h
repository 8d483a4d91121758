#pragma once
// The program's run-time error: a number, a source and a description.
#include <QString>

#include <exception>
#include <string>

namespace sv {

// Numbers the program raises or receives.
enum RuntimeErrorNumber : int {
  errInvalidProcedureCall = 5,
  errOverflow = 6,
  errOutOfMemory = 7,
  errSubscriptOutOfRange = 9,
  errDivisionByZero = 11,
  errTypeMismatch = 13,
  errDllLoad = 48,
  errBadFileNameOrNumber = 52,
  errFileNotFound = 53,
  errBadFileMode = 54,
  errFileAlreadyOpen = 55,
  errDeviceIO = 57,
  errFileAlreadyExists = 58,
  errDiskFull = 61,
  errInputPastEnd = 62,
  errPermissionDenied = 70,
  errPathFileAccess = 75,
  errPathNotFound = 76,
  errObjectNotSet = 91,
  errInvalidPropertyValue = 380,
  errDllEntryNotFound = 453,
  errFault = 10000,
};

// The run-time library's own text for a number; "Application-defined or object-defined error"
// for numbers it does not know.
QString StandardErrorDescription(int number);

// The default source of errors raised by the program itself.
inline constexpr const char* kProgramSource = "sonvera";

class RuntimeError : public std::exception {
 public:
  // An empty description takes the standard text for the number; an empty source the program's.
  explicit RuntimeError(int number, QString source = {}, QString description = {});

  int number() const noexcept { return number_; }
  const QString& source() const noexcept { return source_; }
  const QString& description() const noexcept { return description_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int number_;
  QString source_;
  QString description_;
  std::string what_;
};

[[noreturn]] void Raise(int number, const QString& source = {}, const QString& description = {});

// "Error#" + number + "," + description, as the message boxes show it.
QString ErrorText(int number, const QString& description);
QString ErrorText(const RuntimeError& error);

}  // namespace sv
