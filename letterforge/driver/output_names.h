#pragma once

#include <string>
#include <vector>

#include "letterforge/driver/job_options.h"

namespace letterforge {

// What is likely wrong with the name an output is written under although it is written: the
// format option chooses a format other than the one its extension names, or one for an
// extension letterforge does not write. (Without the format option, such an extension fails
// the page: jobEncoding.) Names without an extension draw no warning.
std::vector<std::string> outputNameWarnings(const JobOptions& options, const std::string& output);

}  // namespace letterforge
