#pragma once

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
};

}  // namespace letterforge::python_module
