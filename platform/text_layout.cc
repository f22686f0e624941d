#include "platform/text_layout.h"
// Placeholder until the text engine lands.
namespace platform {
double measureTextHeight(std::string_view, double, const TextStyle&) { return 0; }
void drawText(PageBitmap&, std::string_view, const Rect&, const TextStyle&) {}
void drawTextLine(PageBitmap&, std::string_view, Point, const TextStyle&) {}
int unknownGlyphCount(std::string_view, const TextStyle&) { return 0; }
}  // namespace platform
