#pragma once

#include <optional>
#include <string>

#include "letterforge/driver/render_engine.h"

namespace letterforge {

// Writes a rendered page's encoded image to `output`, then, when `debug` is not empty, its
// debug image: the output whole before anything of the debug image reaches the disk, so that
// a debug image that cannot be made or written leaves the finished page standing. Absent when
// every file is written; else the first failure, with its class's status.
std::optional<RunFailure> writeRenderedFiles(const RenderResult& result, const std::string& output,
                                             const std::string& debug);

}  // namespace letterforge
