#include "platform/png_encoder.h"
// Placeholder until the encoder lands.
namespace platform {
std::optional<std::vector<std::uint8_t>> encodePng(const PageBitmap&, std::string& f) { f = "not built"; return std::nullopt; }
std::optional<std::vector<std::uint8_t>> encodePng(const DecodedImage&, std::string& f) { f = "not built"; return std::nullopt; }
}  // namespace platform
