// The floor of a whole page run: decode the page image, copy its pixels into a second
// buffer as a page is drawn from its image, and encode that as PNG with the settings
// letterforge uses, and nothing else.
//
//   codec_floor <image> <output-png>

#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/image.h"
#include "platform/png_encoder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: codec_floor <image> <output-png>\n");
    return 2;
  }
  const auto image = platform::decodeImageFile(argv[1]);
  if (!image) {
    std::fprintf(stderr, "cannot decode %s\n", argv[1]);
    return 1;
  }
  auto page = platform::allocateImage(image->width, image->height);
  if (!page) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  std::memcpy(page->rgba.get(), image->rgba.get(), static_cast<std::size_t>(image->width * image->height * 4));
  std::string failure;
  const auto png = platform::encodePng(*page, failure);
  if (!png || !platform::writeFileReplacing(argv[2], *png, failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
  }
  return 0;
}
