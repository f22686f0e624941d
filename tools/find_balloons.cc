// Shows what the balloon finder sees on a page: for each OCR block, the balloon that holds it
// (its pixel range and interior, drawing coordinates) or none, one line per block; with an
// output path, the page with each balloon's outline in magenta and its interior in green.
//
//   find_balloons <image> <ocr-json> [out-png]

#include <cstdio>
#include <string>
#include <vector>

#include "letterforge/cleanup/balloon_finder.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/raster/image_files.h"

using namespace letterforge;

namespace {

void drawOutline(PageBitmap& page, const Balloon& balloon) {
  const PixelBounds& b = balloon.bounds;
  const auto inside = [&](std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < b.width && y < b.height && balloon.pixels.contains(y * b.width + x);
  };
  for (std::int64_t y = 0; y < b.height; ++y) {
    for (std::int64_t x = 0; x < b.width; ++x) {
      if (inside(x, y) && !(inside(x - 1, y) && inside(x + 1, y) && inside(x, y - 1) && inside(x, y + 1))) {
        page.setPixel(b.minX + x, b.minY + y, {255, 0, 255});
      }
    }
  }
  page.strokeRect(balloon.interior, 2.0, {0.0, 0.7, 0.0, 1.0});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("Usage: find_balloons <image> <ocr-json> [out-png]\n", stderr);
    return 2;
  }
  const auto image = loadPageImage(argv[1]);
  std::string failure;
  const auto ocr = loadOcrPayload(argv[2], failure);
  if (!image || !ocr) {
    std::fprintf(stderr, "%s\n", image ? failure.c_str() : "Could not open the image");
    return 1;
  }
  auto page = createPageBitmap(image->width, image->height);
  drawPageImage(*page, *image);
  std::vector<Rect> rects;
  for (const OcrBlock& block : ocr->blocks) {
    const BBox& box = block.bbox;
    rects.push_back({box.x, static_cast<double>(image->height) - box.y - box.h, box.w, box.h});
  }
  const PageBalloons found = findPageBalloons(*page, rects);
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (!found.ofRect[i]) {
      std::printf("%s none\n", ocr->blocks[i].id.c_str());
      continue;
    }
    const Balloon& b = found.balloons[*found.ofRect[i]];
    std::printf("%s balloon %zu range %lld %lld %lld %lld interior %.0f %.0f %.0f %.0f paper %.2f %.2f %.2f\n",
                ocr->blocks[i].id.c_str(), *found.ofRect[i], static_cast<long long>(b.bounds.minX),
                static_cast<long long>(b.bounds.minY), static_cast<long long>(b.bounds.width),
                static_cast<long long>(b.bounds.height), b.interior.x, b.interior.y,
                b.interior.width, b.interior.height, b.paper.red, b.paper.green, b.paper.blue);
  }
  if (argc < 4) return 0;
  for (const Balloon& balloon : found.balloons) drawOutline(*page, balloon);
  const auto png = encodeImage(*page, ImageEncoding{}, argv[3], failure);
  if (!png || !writePng(*png, argv[3], failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
  }
  return 0;
}
