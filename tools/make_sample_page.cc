// Draws a synthetic comic page with its OCR and translation files: speech bubbles, a tinted
// bubble, a caption box, lettering over plain paper, over screentone and over a photo-like
// panel. Used for the demo in examples/ and, with many blocks, for the benchmarks; a long
// strip (800 x 40000, say) gets its bubbles one after another down its length.
//
//   make_sample_page <out-dir>                       the sample page of examples/
//   make_sample_page <out-dir> <width> <height> <n>  a page of n bubbles for benchmarks

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/page_bitmap.h"
#include "platform/png_encoder.h"
#include "platform/text_layout.h"

namespace {

using platform::Color;
using platform::PageBitmap;
using platform::Rect;

struct Block {
  std::string id;
  std::string source;
  std::string translation;
  Rect ink;  // drawing coordinates (y up), tight around the drawn lettering
};

struct Page {
  PageBitmap bitmap;
  std::vector<Block> blocks{};
  std::uint32_t seed = 12345;
  platform::TextContext text{};
};

std::uint32_t nextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

void screentone(Page& page, const Rect& area, double spacing, double dot) {
  for (double y = area.y + spacing / 2; y < area.y + area.height; y += spacing) {
    const double shift = std::fmod((y - area.y) / spacing, 2.0) < 1.0 ? 0.0 : spacing / 2;
    for (double x = area.x + shift; x < area.x + area.width; x += spacing) {
      page.bitmap.fillRect({x, y, dot, dot}, {0.25, 0.25, 0.25, 1});
    }
  }
}

void photoPanel(Page& page, const Rect& area) {
  for (auto y = std::int64_t(area.y); y < std::int64_t(area.y + area.height); ++y) {
    for (auto x = std::int64_t(area.x); x < std::int64_t(area.x + area.width); ++x) {
      const double u = (x - area.x) / area.width;
      const double v = (y - area.y) / area.height;
      const int noise = int(nextRandom(page.seed) % 40) - 20;
      auto clampByte = [](double c) { return std::uint8_t(std::min(255.0, std::max(0.0, c))); };
      page.bitmap.setPixel(x, y, {clampByte(70 + 120 * u + noise), clampByte(110 + 60 * v + noise),
                                  clampByte(150 - 80 * u * v + noise)});
    }
  }
}

// Bounding box of the pixels inside `area` that differ from `before`.
Rect changedBox(const PageBitmap& after, const std::vector<platform::Rgb8>& before, const Rect& area) {
  std::int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = -1, y1 = -1;
  const auto ax = std::int64_t(area.x), ay = std::int64_t(area.y);
  const auto aw = std::int64_t(area.width), ah = std::int64_t(area.height);
  for (std::int64_t y = 0; y < ah; ++y) {
    for (std::int64_t x = 0; x < aw; ++x) {
      if (after.pixel(ax + x, ay + y) != before[std::size_t(y * aw + x)]) {
        x0 = std::min(x0, ax + x), x1 = std::max(x1, ax + x);
        y0 = std::min(y0, ay + y), y1 = std::max(y1, ay + y);
      }
    }
  }
  if (x1 < 0) return {area.x, area.y, 1, 1};
  return {double(x0), double(y0), double(x1 - x0 + 1), double(y1 - y0 + 1)};
}

// Letters one block in black (with an optional colour) centred in `area` and records its box.
void letter(Page& page, const std::string& id, const std::string& source,
            const std::string& translation, const Rect& area, double size,
            Color ink = platform::kBlack) {
  std::vector<platform::Rgb8> before;
  for (auto y = std::int64_t(area.y); y < std::int64_t(area.y) + std::int64_t(area.height); ++y) {
    for (auto x = std::int64_t(area.x); x < std::int64_t(area.x) + std::int64_t(area.width); ++x) {
      before.push_back(page.bitmap.pixel(x, y));
    }
  }
  const platform::TextStyle style{.size = size, .weight = platform::FontWeight::bold, .color = ink};
  const double h = platform::measureTextHeight(page.text, source, area.width, style);
  const Rect textRect{area.x, area.y + (area.height - h) / 2, area.width, h};
  platform::drawText(page.text, page.bitmap, source, textRect, style);
  page.blocks.push_back({id, source, translation, changedBox(page.bitmap, before, area)});
}

void bubble(Page& page, const Rect& r, Color paper = platform::kWhite) {
  const double radius = std::min(r.width, r.height) / 2;
  page.bitmap.fillRoundedRect(r, radius, platform::kBlack);
  page.bitmap.fillRoundedRect({r.x + 4, r.y + 4, r.width - 8, r.height - 8}, radius - 4, paper);
}

void panel(Page& page, const Rect& r) { page.bitmap.strokeRect(r, 6, platform::kBlack); }

void drawSample(Page& page) {
  const double W = double(page.bitmap.width());
  const double H = double(page.bitmap.height());
  page.bitmap.fillRect({0, 0, W, H}, platform::kWhite);

  // Top panel: a photo-like scene with a bubble of two lines and a caption box.
  const Rect top{40, H - 40 - 520, W - 80, 520};
  photoPanel(page, top);
  bubble(page, {top.x + 420, top.y + 250, 520, 220});
  letter(page, "p1", "OÙ ES-TU PASSÉ", "Where did you go", {top.x + 480, top.y + 370, 400, 50}, 34);
  letter(page, "p2", "TOUTE LA NUIT ?", "all night long?", {top.x + 480, top.y + 310, 400, 50}, 34);
  page.bitmap.fillRect({top.x + 20, top.y + top.height - 110, 380, 90}, platform::kBlack);
  page.bitmap.fillRect({top.x + 24, top.y + top.height - 106, 372, 82}, {1.0, 0.96, 0.78, 1});
  letter(page, "c1", "PLUS TARD...", "Later...", {top.x + 40, top.y + top.height - 96, 340, 60}, 30);
  panel(page, top);

  // Middle left: lettering straight over screentone.
  const Rect midLeft{40, top.y - 40 - 520, (W - 120) / 2, 520};
  screentone(page, midLeft, 7, 4);
  letter(page, "s1", "CRAC !", "CRACK!", {midLeft.x + 120, midLeft.y + 200, 320, 110}, 64);
  panel(page, midLeft);

  // Middle right: a tinted bubble and a white one with three short lines.
  const Rect midRight{midLeft.x + midLeft.width + 40, midLeft.y, midLeft.width, 520};
  bubble(page, {midRight.x + 40, midRight.y + 300, 440, 180}, {0.72, 0.76, 0.80, 1});
  letter(page, "t1", "IL FAIT FROID ICI", "It's cold in here", {midRight.x + 80, midRight.y + 350, 360, 80}, 32);
  bubble(page, {midRight.x + 60, midRight.y + 40, 420, 230});
  letter(page, "g1", "ET", "And", {midRight.x + 130, midRight.y + 190, 280, 40}, 30);
  letter(page, "g2", "MAINTENANT", "now", {midRight.x + 130, midRight.y + 145, 280, 40}, 30);
  letter(page, "g3", "ON RENTRE.", "we go home.", {midRight.x + 130, midRight.y + 100, 280, 40}, 30);
  panel(page, midRight);

  // Bottom: plain paper with free lettering, and a bubble whose block has no translation.
  const Rect bottom{40, 40, W - 80, midLeft.y - 80};
  letter(page, "f1", "LE LENDEMAIN MATIN, TOUT ÉTAIT CALME.", "The next morning, all was calm.",
         {bottom.x + 60, bottom.y + bottom.height - 140, 560, 100}, 30);
  bubble(page, {bottom.x + 640, bottom.y + 60, 420, 200});
  letter(page, "u1", "...", "", {bottom.x + 740, bottom.y + 130, 220, 60}, 40);
  panel(page, bottom);
}

void drawBenchmark(Page& page, int blocks) {
  const double W = double(page.bitmap.width());
  const double H = double(page.bitmap.height());
  page.bitmap.fillRect({0, 0, W, H}, platform::kWhite);
  photoPanel(page, {40, 40, W / 3, H / 4});
  screentone(page, {W / 2, 40, W / 2 - 40, H / 4}, 12, 5);
  // A long strip gets one row or column of cells, each with a bubble of ordinary proportions
  // at its middle; a page gets a grid of cells filled by their bubbles.
  const int columns = std::clamp(int(std::ceil(std::sqrt(blocks * W / H))), 1, std::max(blocks, 1));
  const int rows = (blocks + columns - 1) / columns;
  const double cellW = (W - 80) / columns;
  const double cellH = (H - 80) / rows;
  const double bubbleW = std::min(cellW * 0.84, cellH * 0.7 * 5 / 3);
  const double bubbleH = std::min(cellH * 0.7, cellW * 0.84 * 3 / 5);
  const bool strip = cellH > 2 * cellW || cellW > 2 * cellH;
  for (int i = 0; i < blocks; ++i) {
    const double x = 40 + (i % columns) * cellW;
    const double y = H - 40 - (i / columns + 1) * cellH;
    const Rect b = strip ? Rect{x + (cellW - bubbleW) / 2, y + (cellH - bubbleH) / 2, bubbleW, bubbleH}
                         : Rect{x + cellW * 0.08, y + cellH * 0.15, cellW * 0.84, cellH * 0.7};
    bubble(page, b);
    const std::string id = "b" + std::to_string(i + 1);
    letter(page, id, "QUELQUE CHOSE À DIRE " + std::to_string(i + 1),
           "Something to say, number " + std::to_string(i + 1),
           {b.x + b.width * 0.15, b.y + b.height * 0.3, b.width * 0.7, b.height * 0.4},
           std::max(10.0, std::min(cellW, cellH) * 0.055));
  }
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool writeText(const std::string& path, const std::string& text) {
  std::string failure;
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (!platform::writeFileReplacing(path, bytes, failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return false;
  }
  return true;
}

bool writePayloads(const Page& page, const std::string& dir) {
  const double H = double(page.bitmap.height());
  std::string ocr = "{\n  \"width\": " + std::to_string(page.bitmap.width()) +
                    ",\n  \"height\": " + std::to_string(page.bitmap.height()) + ",\n  \"blocks\": [\n";
  std::string tr = "{\n  \"source_language_detected\": \"fr\",\n  \"translations\": [\n";
  for (std::size_t i = 0; i < page.blocks.size(); ++i) {
    const Block& b = page.blocks[i];
    const double top = H - (b.ink.y + b.ink.height);
    char box[160];
    std::snprintf(box, sizeof box, "{\"x\": %.0f, \"y\": %.0f, \"w\": %.0f, \"h\": %.0f}", b.ink.x, top,
                  b.ink.width, b.ink.height);
    const char* sep = i + 1 < page.blocks.size() ? ",\n" : "\n";
    ocr += "    {\"id\": " + jsonString(b.id) + ", \"text\": " + jsonString(b.source) +
           ", \"confidence\": 0.97, \"bbox\": " + box + "}" + sep;
    tr += "    {\"id\": " + jsonString(b.id) + ", \"source_text\": " + jsonString(b.source) +
          ", \"translated_text\": " + jsonString(b.translation) + "}" + sep;
  }
  ocr += "  ]\n}\n";
  tr += "  ]\n}\n";
  return writeText(dir + "/ocr.json", ocr) && writeText(dir + "/translation.json", tr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 5) {
    std::fprintf(stderr, "usage: make_sample_page <out-dir> [<width> <height> <blocks>]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool sample = argc == 2;
  const std::int64_t width = sample ? 1200 : std::atoll(argv[2]);
  const std::int64_t height = sample ? 1700 : std::atoll(argv[3]);
  auto bitmap = PageBitmap::create(width, height);
  if (!bitmap) {
    std::fprintf(stderr, "cannot create a %lld x %lld page\n", (long long)width, (long long)height);
    return 1;
  }
  Page page{std::move(*bitmap)};
  if (sample) {
    drawSample(page);
  } else {
    drawBenchmark(page, std::atoi(argv[4]));
  }
  std::string failure;
  const auto png = platform::encodePng(page.bitmap, failure);
  if (!png || !platform::writeFileReplacing(dir + "/page.png", *png, failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
  }
  return writePayloads(page, dir) ? 0 : 1;
}
