#pragma once

#include "letterforge/layout/render_item.h"

namespace letterforge {

// Accessors work on the standardised rectangle (negative sizes flipped to positive).
double minX(const Rect& r);
double maxX(const Rect& r);
double midX(const Rect& r);
double minY(const Rect& r);
double maxY(const Rect& r);
double midY(const Rect& r);
double width(const Rect& r);
double height(const Rect& r);
using platform::standardised;

// The empty set of points: distinct from any rectangle of zero size.
Rect nullRect();
bool isNull(const Rect& r);

// Smallest rectangle containing both; a null argument is ignored.
Rect unionRect(const Rect& a, const Rect& b);
// (x + dx, y + dy, w − 2dx, h − 2dy); negative amounts grow; a negative size gives null.
Rect inset(const Rect& r, double dx, double dy);
// The overlap; null when the rectangles do not overlap. Rectangles that only share an edge
// or a corner intersect in a rectangle of zero width or height.
Rect intersection(const Rect& a, const Rect& b);
bool intersects(const Rect& a, const Rect& b);

// Keeps r on the page: cut to bounds, never smaller than 1 × 1 (so not always inside).
Rect clampRect(const Rect& r, const Rect& bounds);
// Padding of a block item's cleanup rectangle: 4.0 to 12.0 pixels.
double blockMargin(const RenderItem& item);
// Padding of a render item's text area: 4.0 to 10.0 when floating, else 4.0 to 20.0.
double textMargin(const RenderItem& item);

}  // namespace letterforge
