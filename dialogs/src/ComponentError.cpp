#include "svcmdlg/ComponentError.h"

namespace svcmdlg {

namespace {
std::string whatText(int32_t number, const std::string& description) {
  return "Error " + std::to_string(number) + ": " + description;
}
}  // namespace

ComponentError::ComponentError(int32_t number, std::string source, std::string description)
    : std::runtime_error(whatText(number, description)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

const char* ProgramName() noexcept { return "svcmdlg"; }

std::string ErrorSource() { return std::string(ProgramName()) + ".cCommonDialog"; }

}  // namespace svcmdlg
