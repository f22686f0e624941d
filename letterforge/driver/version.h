#pragma once

namespace letterforge {

// The version of the programs and the library, reported by each of them.
inline constexpr const char* kVersion = "1.1.0";

}  // namespace letterforge
