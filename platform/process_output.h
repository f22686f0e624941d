#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes the line and one line feed to standard error in a single write, unbuffered, so
// lines keep their order relative to the work and are never interleaved.
void writeErrorLine(std::string_view line);

// Writes the text as it stands to standard error in a single write.
void writeError(std::string_view text);

// Writes the line and one line feed to standard output in a single write, unbuffered, so
// that lines written by several threads never interleave. False when it cannot be written
// whole (a closed pipe, a full disk), with `failure` holding the system's description.
bool writeOutputLine(std::string_view line, std::string& failure);

}  // namespace platform
