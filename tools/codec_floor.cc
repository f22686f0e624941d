// The floor of a whole page run: decode the page image and encode it again as PNG with the
// same decoder and encoder settings as letterforge, and nothing else.
//
//   codec_floor <image> <output-png>

#include <cstdio>

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
  std::string failure;
  const auto png = platform::encodePng(*image, failure);
  if (!png || !platform::writeFileReplacing(argv[2], *png, failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
  }
  return 0;
}
