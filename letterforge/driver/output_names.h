#pragma once

#include <string>
#include <vector>

#include "letterforge/driver/job_options.h"

namespace letterforge {

// What is likely wrong with the names a page's images are written under although they are
// written: an output whose extension names another format than the one it is written in, and
// an output or debug image whose extension is no format letterforge writes (it is written as
// PNG). Names without an extension draw no warning.
std::vector<std::string> outputNameWarnings(const JobOptions& options, const std::string& output,
                                            const std::string& debug);

}  // namespace letterforge
