#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace letterforge::python_module {

// A failure for Python: an engine failure by its status class, or a refused call by the name
// of the package's exception class ("OptionError", "ImageError", "CropError").
struct CallFailure {
  int status = 0;  // the engine's failure class; 0 when errorClass names the exception
  std::string errorClass{};
  std::string message{};
  std::vector<std::string> report{};  // the report lines of a render, up to its failure
  std::string missingFile{};  // the file the failure is about, when none is there
};

// `path` when nothing is there (a dangling link included), so that a failure to read it is
// also Python's FileNotFoundError; else empty.
inline std::string missingFile(const std::string& path) {
  std::error_code error;
  const auto type = std::filesystem::status(path, error).type();
  return type == std::filesystem::file_type::not_found && !path.empty() ? path : std::string();
}

}  // namespace letterforge::python_module
