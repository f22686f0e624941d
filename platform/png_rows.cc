// The Up filter over 16 bytes at a time where the processor has the byte shuffle, one pixel
// at a time elsewhere. Differences are taken before the pixels
// are packed: subtraction works byte by byte, so packing the difference of two pixels gives
// the difference of the packed bytes.
#include "platform/png_rows.h"

#include "platform/cpu_features.h"

#ifdef LF_X86_VECTORS
#include <immintrin.h>
#endif

namespace platform {
namespace {

std::uint8_t upFilterToRgbScalar(const std::uint8_t* row, const std::uint8_t* prior, std::int64_t width,
                                 PixelBytes layout, std::uint8_t* out) {
  std::uint8_t alpha = 0xFF;
  for (std::int64_t x = 0; x < width; ++x, row += 4, out += 3) {
    alpha &= row[layout.alpha];
    if (prior == nullptr) {
      out[0] = row[layout.red];
      out[1] = row[layout.green];
      out[2] = row[layout.blue];
      continue;
    }
    out[0] = static_cast<std::uint8_t>(row[layout.red] - prior[layout.red]);
    out[1] = static_cast<std::uint8_t>(row[layout.green] - prior[layout.green]);
    out[2] = static_cast<std::uint8_t>(row[layout.blue] - prior[layout.blue]);
    prior += 4;
  }
  return alpha;
}

#ifdef LF_X86_VECTORS

// Four pixels a step: a 16-byte store of which 12 bytes count, so the loop stops while two
// pixels (6 bytes) are still left to take the overhang.
[[gnu::target("ssse3")]] std::uint8_t upFilterToRgbShuffled(const std::uint8_t* row, const std::uint8_t* prior,
                                                            std::int64_t width, PixelBytes layout,
                                                            std::uint8_t* out) {
  alignas(16) char order[16];
  for (int i = 0; i < 4; ++i) {
    order[3 * i] = static_cast<char>(4 * i + layout.red);
    order[3 * i + 1] = static_cast<char>(4 * i + layout.green);
    order[3 * i + 2] = static_cast<char>(4 * i + layout.blue);
  }
  order[12] = order[13] = order[14] = order[15] = static_cast<char>(0x80);  // zero
  const __m128i pack = _mm_load_si128(reinterpret_cast<const __m128i*>(order));
  __m128i all = _mm_set1_epi8(static_cast<char>(0xFF));
  std::int64_t x = 0;
  for (; x + 6 <= width; x += 4, row += 16, out += 12) {
    __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    all = _mm_and_si128(all, pixels);
    if (prior != nullptr) {
      pixels = _mm_sub_epi8(pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior)));
      prior += 16;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pixels, pack));
  }
  alignas(16) std::uint8_t lanes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), all);
  std::uint8_t alpha = lanes[layout.alpha] & lanes[4 + layout.alpha] & lanes[8 + layout.alpha] &
                       lanes[12 + layout.alpha];
  return alpha & upFilterToRgbScalar(row, prior, width - x, layout, out);
}

#endif

void widenRgbToRgbaScalar(const std::uint8_t* rgb, std::int64_t width, std::uint8_t* rgba) {
  for (std::int64_t x = 0; x < width; ++x, rgb += 3, rgba += 4) {
    rgba[0] = rgb[0];
    rgba[1] = rgb[1];
    rgba[2] = rgb[2];
    rgba[3] = 255;
  }
}

#ifdef LF_X86_VECTORS
// Four pixels a step from a 16-byte load of which 12 bytes count, so the loop stops while two
// pixels are still left to read past.
[[gnu::target("ssse3")]] void widenRgbToRgbaShuffled(const std::uint8_t* rgb, std::int64_t width, std::uint8_t* rgba) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  std::int64_t x = 0;
  for (; x + 6 <= width; x += 4, rgb += 12, rgba += 16) {
    const __m128i pixels = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb)), spread);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgba), _mm_or_si128(pixels, opaque));
  }
  widenRgbToRgbaScalar(rgb, width - x, rgba);
}
#endif

}  // namespace

std::uint8_t upFilterToRgb(const std::uint8_t* row, const std::uint8_t* prior, std::int64_t width,
                           PixelBytes layout, std::uint8_t* out) {
#ifdef LF_X86_VECTORS
  if (hasByteShuffle()) return upFilterToRgbShuffled(row, prior, width, layout, out);
#endif
  return upFilterToRgbScalar(row, prior, width, layout, out);
}

void widenRgbToRgba(const std::uint8_t* rgb, std::int64_t width, std::uint8_t* rgba) {
#ifdef LF_X86_VECTORS
  if (hasByteShuffle()) {
    widenRgbToRgbaShuffled(rgb, width, rgba);
    return;
  }
#endif
  widenRgbToRgbaScalar(rgb, width, rgba);
}

void upFilterBytes(const std::uint8_t* row, const std::uint8_t* prior, std::size_t count, std::uint8_t* out) {
  std::size_t i = 0;
  if (prior == nullptr) {
    for (; i < count; ++i) out[i] = row[i];
    return;
  }
#ifdef LF_X86_VECTORS
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi8(a, b));
  }
#endif
  for (; i < count; ++i) out[i] = static_cast<std::uint8_t>(row[i] - prior[i]);
}

namespace {

std::uint8_t paeth(int left, int above, int aboveLeft) {
  const int estimate = left + above - aboveLeft;
  const int toLeft = estimate > left ? estimate - left : left - estimate;
  const int toAbove = estimate > above ? estimate - above : above - estimate;
  const int toAboveLeft = estimate > aboveLeft ? estimate - aboveLeft : aboveLeft - estimate;
  if (toLeft <= toAbove && toLeft <= toAboveLeft) return static_cast<std::uint8_t>(left);
  return static_cast<std::uint8_t>(toAbove <= toAboveLeft ? above : aboveLeft);
}

}  // namespace

bool unfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prior, std::size_t count, int pixelBytes) {
  const auto bpp = static_cast<std::size_t>(pixelBytes);
  switch (filter) {
    case 0: return true;
    case 1:
      for (std::size_t i = bpp; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
      return true;
    case 2: {
      if (prior == nullptr) return true;
      std::size_t i = 0;
#ifdef LF_X86_VECTORS
      for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(a, b));
      }
#endif
      for (; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
      return true;
    }
    case 3:
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned left = i >= bpp ? row[i - bpp] : 0, above = prior != nullptr ? prior[i] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + ((left + above) >> 1));
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < count; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0, above = prior != nullptr ? prior[i] : 0;
        const int aboveLeft = i >= bpp && prior != nullptr ? prior[i - bpp] : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + paeth(left, above, aboveLeft));
      }
      return true;
    default: return false;
  }
}

}  // namespace platform
