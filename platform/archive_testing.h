#pragma once

// Archives made byte by byte for tests, after the formats' published layouts: what the
// archive library cannot be made to write (RAR, headers that understate a member's size,
// names that are not UTF-8, the encryption flag).
#include <cstdint>
#include <string>
#include <vector>

namespace platform::testing {

struct StoredMember {
  std::string name{};
  std::string data{};
  std::int64_t declaredSize = -1;  // the size the headers give; -1: the data's own
  std::uint16_t flags = 0;         // ZIP's general-purpose flags; 1 marks the member encrypted
  bool operator==(const StoredMember&) const = default;
};

inline std::uint32_t crc32Of(const std::string& data) {
  std::uint32_t crc = 0xffffffffu;
  for (const char c : data) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Little-endian fields, as ZIP and RAR store their numbers; bytes past the eighth are zero.
inline void putLittleEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xff : 0);
}

// A ZIP of stored members: local headers with the data, the central directory, its end.
inline std::string storedZip(const std::vector<StoredMember>& members) {
  std::string local;
  std::string central;
  for (const StoredMember& m : members) {
    const std::uint64_t declared = m.declaredSize < 0 ? m.data.size() : static_cast<std::uint64_t>(m.declaredSize);
    const auto common = [&](std::string& out) {
      putLittleEndian(out, m.flags, 2);
      putLittleEndian(out, 0, 2);  // stored
      putLittleEndian(out, 0, 4);  // time and date
      putLittleEndian(out, crc32Of(m.data), 4);
      putLittleEndian(out, m.data.size(), 4);
      putLittleEndian(out, declared, 4);
      putLittleEndian(out, m.name.size(), 2);
      putLittleEndian(out, 0, 2);
    };
    putLittleEndian(central, 0x02014b50, 4);
    putLittleEndian(central, 20, 2);
    putLittleEndian(central, 20, 2);
    common(central);
    putLittleEndian(central, 0, 2 + 2 + 2 + 4);
    putLittleEndian(central, local.size(), 4);
    central += m.name;
    putLittleEndian(local, 0x04034b50, 4);
    putLittleEndian(local, 20, 2);
    common(local);
    local += m.name + m.data;
  }
  std::string end;
  putLittleEndian(end, 0x06054b50, 4);
  putLittleEndian(end, 0, 4);
  putLittleEndian(end, members.size(), 2);
  putLittleEndian(end, members.size(), 2);
  putLittleEndian(end, central.size(), 4);
  putLittleEndian(end, local.size(), 4);
  putLittleEndian(end, 0, 2);
  return local + central + end;
}

// A RAR (version 4) archive of stored members: a marker, a main header, one header per file
// followed by its bytes, an end header. Each header starts with the low half of the CRC-32
// of its other fields.
inline std::string storedRar(const std::vector<StoredMember>& members) {
  const auto block = [](int type, int flags, const std::string& body) {
    std::string rest;
    putLittleEndian(rest, type, 1);
    putLittleEndian(rest, flags, 2);
    putLittleEndian(rest, 7 + body.size(), 2);
    rest += body;
    std::string out;
    putLittleEndian(out, crc32Of(rest) & 0xffff, 2);
    return out + rest;
  };
  std::string out("Rar!\x1a\x07\x00", 7);
  out += block(0x73, 0, std::string(6, '\0'));
  for (const StoredMember& m : members) {
    std::string body;
    putLittleEndian(body, m.data.size(), 4);  // packed size
    putLittleEndian(body, m.declaredSize < 0 ? m.data.size() : static_cast<std::uint64_t>(m.declaredSize), 4);
    putLittleEndian(body, 3, 1);              // made on Unix
    putLittleEndian(body, crc32Of(m.data), 4);
    putLittleEndian(body, 0x5a000000, 4);     // time
    putLittleEndian(body, 20, 1);             // version needed
    putLittleEndian(body, 0x30, 1);           // stored
    putLittleEndian(body, m.name.size(), 2);
    putLittleEndian(body, 0100644u, 4);  // made on Unix: the file's mode
    body += m.name;
    out += block(0x74, 0x8000, body) + m.data;  // 0x8000: data follows the header
  }
  return out + block(0x7b, 0x4000, "");
}

}  // namespace platform::testing
