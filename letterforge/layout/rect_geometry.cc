#include "letterforge/layout/rect_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace letterforge {

double minX(const Rect& r) { return standardised(r).x; }
double maxX(const Rect& r) { const Rect s = standardised(r); return s.x + s.width; }
double midX(const Rect& r) { const Rect s = standardised(r); return s.x + s.width / 2.0; }
double minY(const Rect& r) { return standardised(r).y; }
double maxY(const Rect& r) { const Rect s = standardised(r); return s.y + s.height; }
double midY(const Rect& r) { const Rect s = standardised(r); return s.y + s.height / 2.0; }
double width(const Rect& r) { return std::abs(r.width); }
double height(const Rect& r) { return std::abs(r.height); }

Rect nullRect() {
  constexpr double inf = std::numeric_limits<double>::infinity();
  return Rect{inf, inf, 0.0, 0.0};
}

bool isNull(const Rect& r) {
  return r.x == std::numeric_limits<double>::infinity() ||
         r.y == std::numeric_limits<double>::infinity();
}

Rect unionRect(const Rect& a, const Rect& b) {
  if (isNull(a)) return b;
  if (isNull(b)) return a;
  const double x0 = std::min(minX(a), minX(b));
  const double y0 = std::min(minY(a), minY(b));
  const double x1 = std::max(maxX(a), maxX(b));
  const double y1 = std::max(maxY(a), maxY(b));
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

Rect inset(const Rect& r, double dx, double dy) {
  if (isNull(r)) return r;
  const Rect s = standardised(r);
  const Rect out{s.x + dx, s.y + dy, s.width - 2.0 * dx, s.height - 2.0 * dy};
  // NaN sizes are not negative; they stay as they are, as the platform's own inset does.
  if (out.width < 0.0 || out.height < 0.0) return nullRect();
  return out;
}

Rect intersection(const Rect& a, const Rect& b) {
  if (isNull(a) || isNull(b)) return nullRect();
  const double x0 = std::max(minX(a), minX(b));
  const double y0 = std::max(minY(a), minY(b));
  const double x1 = std::min(maxX(a), maxX(b));
  const double y1 = std::min(maxY(a), maxY(b));
  if (!(x1 >= x0) || !(y1 >= y0)) return nullRect();
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

bool intersects(const Rect& a, const Rect& b) { return !isNull(intersection(a, b)); }

Rect clampRect(const Rect& r, const Rect& bounds) {
  const double x = std::max(minX(bounds), minX(r));
  const double y = std::max(minY(bounds), minY(r));
  const double w = std::max(std::min(maxX(r), maxX(bounds)) - x, 1.0);
  const double h = std::max(std::min(maxY(r), maxY(bounds)) - y, 1.0);
  return Rect{x, y, w, h};
}

double blockMargin(const RenderItem& item) {
  const double w = width(item.rect);
  const double h = height(item.rect);
  const double p = std::min(std::max(0.22 * std::min(w, h), 4.0), 10.0);
  const double q = std::max(0.06 * h, 4.0);
  return std::min(std::max(p, q), 12.0);
}

double textMargin(const RenderItem& item) {
  const double factor = item.floating ? 0.08 : 0.13;
  const double cap = item.floating ? 10.0 : 20.0;
  const double w = width(item.rect);
  const double h = height(item.rect);
  return std::max(std::min(std::min(w, h) * factor, cap), 4.0);
}

}  // namespace letterforge
