#include "platform/image.h"
// Placeholder until the decoders land.
namespace platform {
std::optional<DecodedImage> allocateImage(std::int64_t, std::int64_t) { return std::nullopt; }
std::optional<DecodedImage> decodeImageFile(const std::string&) { return std::nullopt; }
std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t>) { return std::nullopt; }
}  // namespace platform
