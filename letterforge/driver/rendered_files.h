#pragma once

#include <optional>
#include <string>

#include "letterforge/driver/render_engine.h"

namespace letterforge {

// Writes a rendered page's layers under `layers` when it has them and `layers` is not empty
// (all four files or none), its encoded image to `output`, then, when `debug` is not empty,
// its debug image: the layers and the output whole before anything of the debug image reaches
// the disk, so that a debug image that cannot be made or written leaves the finished page
// standing; an output that cannot be written takes the page's layers with it. Absent when
// every file is written; else the first failure, with its class's status.
std::optional<RunFailure> writeRenderedFiles(const RenderResult& result, const std::string& output,
                                             const std::string& debug,
                                             const std::string& layers = {});

}  // namespace letterforge
