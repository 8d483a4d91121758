#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "svcmdlg/Export.h"

namespace svcmdlg {

// Every failure of a dialog reaches the caller as one of these: the error number, the
// source ("svcmdlg.cCommonDialog") and the description the caller shows.
class SVCMDLG_EXPORT ComponentError : public std::runtime_error {
 public:
  ComponentError(int32_t number, std::string source, std::string description);

  int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// The library's program name and the source every error of cCommonDialog carries.
SVCMDLG_EXPORT const char* ProgramName() noexcept;
SVCMDLG_EXPORT std::string ErrorSource();

// Text of an error raised without a description of its own.
inline constexpr const char* kDefaultErrorDescription = "Application-defined or object-defined error";

}  // namespace svcmdlg
