#include "letterforge/raster/psd_file.h"

#include <algorithm>
#include <array>

namespace letterforge {
namespace {

class Writer {
 public:
  void bytes(const std::uint8_t* data, std::size_t count) { out_.insert(out_.end(), data, data + count); }
  void text(const char* s) {
    for (; *s != 0; ++s) out_.push_back(static_cast<std::uint8_t>(*s));
  }
  void u8(std::uint32_t v) { out_.push_back(static_cast<std::uint8_t>(v)); }
  void u16(std::uint32_t v) {
    u8(v >> 8);
    u8(v);
  }
  void u32(std::uint32_t v) {
    u16(v >> 16);
    u16(v);
  }
  std::size_t size() const { return out_.size(); }
  // Writes a 32-bit length at `at` for the bytes written after it.
  void patchLength(std::size_t at) {
    const auto length = static_cast<std::uint32_t>(out_.size() - at - 4);
    for (int k = 0; k < 4; ++k) out_[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(length >> (24 - 8 * k));
  }
  std::vector<std::uint8_t> take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

// Channel c of storage row r (top first): 0 red, 1 green, 2 blue, 3 transparency, colours
// taken out of their premultiplied form.
void channelRow(const platform::PageBitmap& bitmap, std::int64_t r, int c, std::uint8_t* out) {
  const std::uint32_t* words = bitmap.rowWords(bitmap.height() - 1 - r);
  for (std::int64_t x = 0; x < bitmap.width(); ++x) {
    const std::uint32_t w = words[x];
    const std::uint32_t a = w >> 24;
    if (c == 3) {
      out[x] = static_cast<std::uint8_t>(a);
      continue;
    }
    const std::uint32_t v = (w >> (16 - 8 * c)) & 0xFF;
    out[x] = a == 255 ? static_cast<std::uint8_t>(v)
             : a == 0 ? 0
                      : static_cast<std::uint8_t>(std::min(255u, (v * 255u + a / 2) / a));
  }
}

// A channel compressed row by row: the rows' byte counts (16 bits each), then the rows.
struct PackedChannel {
  std::vector<std::uint16_t> rowBytes{};
  std::vector<std::uint8_t> data{};
};

PackedChannel packChannel(const platform::PageBitmap& bitmap, int c) {
  PackedChannel packed;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(bitmap.width()));
  for (std::int64_t r = 0; r < bitmap.height(); ++r) {
    channelRow(bitmap, r, c, row.data());
    const std::vector<std::uint8_t> bytes = packBits(row.data(), row.size());
    // A row of 30000 bytes packs into at most 30235: within 16 bits.
    packed.rowBytes.push_back(static_cast<std::uint16_t>(bytes.size()));
    packed.data.insert(packed.data.end(), bytes.begin(), bytes.end());
  }
  return packed;
}

void writeLayerRecord(Writer& w, const PsdLayer& layer, const std::vector<PackedChannel>& channels) {
  const auto height = static_cast<std::uint32_t>(layer.pixels->height());
  const auto width = static_cast<std::uint32_t>(layer.pixels->width());
  w.u32(0);  // top, left, bottom, right
  w.u32(0);
  w.u32(height);
  w.u32(width);
  w.u16(static_cast<std::uint32_t>(channels.size()));
  for (std::size_t c = 0; c < channels.size(); ++c) {
    w.u16(c == 3 ? 0xFFFF : static_cast<std::uint32_t>(c));  // -1: transparency
    w.u32(static_cast<std::uint32_t>(2 + 2 * channels[c].rowBytes.size() + channels[c].data.size()));
  }
  w.text("8BIMnorm");
  w.u8(255);  // opacity
  w.u8(0);    // clipping
  w.u8(0);    // flags: visible
  w.u8(0);
  const std::size_t extra = w.size();
  w.u32(0);
  w.u32(0);  // no layer mask
  w.u32(0);  // no blending ranges
  // The name as a Pascal string padded to a multiple of 4 bytes.
  const std::string name = layer.name.substr(0, 255);
  w.u8(static_cast<std::uint32_t>(name.size()));
  w.bytes(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
  for (std::size_t n = name.size() + 1; n % 4 != 0; ++n) w.u8(0);
  w.patchLength(extra);
}

void writeChannel(Writer& w, const PackedChannel& channel) {
  w.u16(1);  // PackBits
  for (const std::uint16_t n : channel.rowBytes) w.u16(n);
  w.bytes(channel.data.data(), channel.data.size());
}

}  // namespace

std::vector<std::uint8_t> packBits(const std::uint8_t* bytes, std::size_t count) {
  std::vector<std::uint8_t> out;
  out.reserve(count + count / 128 + 1);
  std::size_t i = 0;
  while (i < count) {
    std::size_t run = 1;
    while (i + run < count && run < 128 && bytes[i + run] == bytes[i]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(257 - run));
      out.push_back(bytes[i]);
      i += run;
      continue;
    }
    // A literal run goes on until two equal bytes could start a repeat.
    std::size_t literal = 1;
    while (i + literal < count && literal < 128 &&
           !(i + literal + 1 < count && bytes[i + literal] == bytes[i + literal + 1])) {
      ++literal;
    }
    out.push_back(static_cast<std::uint8_t>(literal - 1));
    out.insert(out.end(), bytes + i, bytes + i + literal);
    i += literal;
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> encodePsd(const std::vector<PsdLayer>& layers,
                                                   const platform::PageBitmap& composite,
                                                   std::string& failure) {
  const std::int64_t width = composite.width(), height = composite.height();
  if (width > kPsdMaxSide || height > kPsdMaxSide) {
    failure = "a PSD holds at most " + std::to_string(kPsdMaxSide) + " pixels a side, the page is " +
              std::to_string(width) + " x " + std::to_string(height);
    return std::nullopt;
  }
  for (const PsdLayer& layer : layers) {
    if (layer.pixels == nullptr || layer.pixels->width() != width || layer.pixels->height() != height) {
      failure = "layer " + layer.name + " is not the size of the page";
      return std::nullopt;
    }
  }
  try {
    Writer w;
    w.text("8BPS");
    w.u16(1);  // version
    for (int k = 0; k < 6; ++k) w.u8(0);
    w.u16(3);  // channels of the composite
    w.u32(static_cast<std::uint32_t>(height));
    w.u32(static_cast<std::uint32_t>(width));
    w.u16(8);  // bits per channel
    w.u16(3);  // RGB
    w.u32(0);  // colour mode data
    w.u32(0);  // image resources

    std::vector<std::vector<PackedChannel>> packed;
    for (const PsdLayer& layer : layers) {
      std::vector<PackedChannel> channels;
      for (int c = 0; c < (layer.transparent ? 4 : 3); ++c) channels.push_back(packChannel(*layer.pixels, c));
      packed.push_back(std::move(channels));
    }
    const std::size_t layerAndMask = w.size();
    w.u32(0);
    const std::size_t layerInfo = w.size();
    w.u32(0);
    w.u16(static_cast<std::uint32_t>(layers.size()));
    for (std::size_t k = 0; k < layers.size(); ++k) writeLayerRecord(w, layers[k], packed[k]);
    for (const auto& channels : packed) {
      for (const PackedChannel& channel : channels) writeChannel(w, channel);
    }
    if ((w.size() - layerInfo - 4) % 2 != 0) w.u8(0);
    w.patchLength(layerInfo);
    w.u32(0);  // global layer mask
    w.patchLength(layerAndMask);

    // The composite: every row count of every channel first, then the channels' rows.
    std::array<PackedChannel, 3> merged{packChannel(composite, 0), packChannel(composite, 1),
                                        packChannel(composite, 2)};
    w.u16(1);
    for (const PackedChannel& channel : merged) {
      for (const std::uint16_t n : channel.rowBytes) w.u16(n);
    }
    for (const PackedChannel& channel : merged) w.bytes(channel.data.data(), channel.data.size());
    return w.take();
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
    return std::nullopt;
  }
}

}  // namespace letterforge
