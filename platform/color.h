#pragma once

namespace platform {

// A device-RGB colour with components in 0..1.
struct Color {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 1.0;
  bool operator==(const Color&) const = default;
};

inline constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};
inline constexpr Color kBlack{0.0, 0.0, 0.0, 1.0};

inline Color withAlpha(Color color, double alpha) {
  color.alpha = alpha;
  return color;
}

}  // namespace platform
