#pragma once

namespace letterforge {

// Exit statuses of letterforge, and the failure classes of the render engine.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitImageUnreadable = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPayloadUnreadable = 3;  // a JSON file cannot be read or decoded
inline constexpr int kExitDuplicateId = 4;
inline constexpr int kExitWriteFailure = 5;       // a PNG file cannot be encoded or written
inline constexpr int kExitOutOfMemory = 6;        // the page bitmap cannot be created
// A font a job names cannot be had. Only jobs given through the library or the batch program
// name fonts: letterforge's own command line has no such option.
inline constexpr int kExitFontUnavailable = 7;
// A page rendered and written whose blocks carry a flag the run was asked to fail on. Only
// letterforge-batch's --fail-on asks for it.
inline constexpr int kExitFlagged = 8;

}  // namespace letterforge
