// Dynamic-Huffman deflate blocks: the code lengths are those of a Huffman code over the
// block's counts, limited to deflate's 15 bits (7 for the code-length code) by flattening the
// counts until they fit; the bits go out least significant first.
#include "platform/deflate_blocks.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr unsigned kEndOfBlock = 256;
constexpr int kMaxCodeBits = 15;
constexpr int kMaxLengthCodeBits = 7;
// A block header, code-length codes included, is at most about 300 bytes; a token at most 6.
constexpr std::size_t kHeaderRoom = 512;
constexpr std::size_t kTokenRoom = 6;  // and 8 bytes past the last, written whole

constexpr int kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The order in which the code-length code's lengths are stored.
constexpr int kLengthCodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

int distanceExtraBits(unsigned code) { return code < 4 ? 0 : static_cast<int>(code / 2 - 1); }

constexpr int kMostSymbols = 286;

// Huffman code lengths for `counts`, none longer than `limit`; at least two symbols get a
// code, so that every decoder takes the code as complete. The symbols in rising order of
// count are the first nodes; each joined pair comes after them in order of its weight, which
// never falls, so the two lightest nodes are always at the fronts of the two runs.
void codeLengths(const std::uint32_t* counts, int symbols, int limit, std::uint8_t* lengths) {
  std::uint32_t weights[kMostSymbols];
  int used = 0;
  for (int s = 0; s < symbols; ++s) used += counts[s] > 0 ? 1 : 0;
  for (int s = 0; s < symbols; ++s) {
    weights[s] = counts[s] > 0 || used >= 2 ? counts[s] : (++used, 1);
  }
  int order[kMostSymbols];  // the symbols with a weight, lightest first
  std::size_t leaves = 0;
  for (int s = 0; s < symbols; ++s) {
    if (weights[s] > 0) order[leaves++] = s;
  }
  std::uint64_t weight[2 * kMostSymbols];
  std::size_t parent[2 * kMostSymbols];
  std::uint8_t depth[2 * kMostSymbols];
  for (;;) {
    std::stable_sort(order, order + leaves, [&](int a, int b) { return weights[a] < weights[b]; });
    for (std::size_t i = 0; i < leaves; ++i) weight[i] = weights[order[i]];
    std::size_t leaf = 0, joined = leaves, next = leaves;
    auto lightest = [&] { return leaf < leaves && (joined >= next || weight[leaf] <= weight[joined]) ? leaf++ : joined++; };
    while (next < 2 * leaves - 1) {
      const std::size_t a = lightest(), b = lightest();
      weight[next] = weight[a] + weight[b];
      parent[a] = parent[b] = next++;
    }
    const std::size_t root = next - 1;
    depth[root] = 0;
    int deepest = 0;
    for (std::size_t node = root; node-- > 0;) {
      depth[node] = static_cast<std::uint8_t>(depth[parent[node]] + 1);
      deepest = std::max<int>(deepest, depth[node]);
    }
    if (deepest <= limit) {
      std::fill(lengths, lengths + symbols, 0);
      for (std::size_t i = 0; i < leaves; ++i) lengths[order[i]] = depth[i];
      return;
    }
    for (std::size_t i = 0; i < leaves; ++i) weights[order[i]] = (weights[order[i]] + 1) / 2;
  }
}

// Canonical codes for `lengths`, bit-reversed for writing least significant bit first.
void canonicalCodes(const std::uint8_t* lengths, int symbols, std::uint16_t* codes) {
  int perLength[kMaxCodeBits + 1] = {};
  for (int s = 0; s < symbols; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  unsigned next[kMaxCodeBits + 2] = {};
  for (int bits = 1, code = 0; bits <= kMaxCodeBits; ++bits) {
    code = (code + perLength[bits - 1]) << 1;
    next[bits] = static_cast<unsigned>(code);
  }
  for (int s = 0; s < symbols; ++s) {
    const int length = lengths[s];
    if (length == 0) continue;
    unsigned code = next[length]++, reversed = 0;
    for (int b = 0; b < length; ++b, code >>= 1) reversed = (reversed << 1) | (code & 1);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

// The code lengths of both codes in run-length form: symbols 0 to 15 a length, 16 the last
// length again 3 to 6 times, 17 and 18 zeros 3 to 10 and 11 to 138 times. Each entry is the
// symbol and, above it, its extra bits' value.
std::vector<std::uint16_t> runLengths(const std::uint8_t* lengths, int count) {
  std::vector<std::uint16_t> out;
  for (int i = 0; i < count;) {
    const std::uint8_t value = lengths[i];
    int run = 1;
    while (i + run < count && lengths[i + run] == value) ++run;
    i += run;
    if (value == 0) {
      for (; run >= 11; run -= std::min(run, 138)) out.push_back(static_cast<std::uint16_t>(18 | (std::min(run, 138) - 11) << 5));
      if (run >= 3) {
        out.push_back(static_cast<std::uint16_t>(17 | (run - 3) << 5));
        run = 0;
      }
    } else {
      out.push_back(value);
      --run;
      for (; run >= 3; run -= std::min(run, 6)) out.push_back(static_cast<std::uint16_t>(16 | (std::min(run, 6) - 3) << 5));
    }
    for (; run > 0; --run) out.push_back(value);
  }
  return out;
}

}  // namespace

DeflateBlockWriter::DeflateBlockWriter() : tokens_(kBlockTokens) {}

void DeflateBlockWriter::alignToByte() {
  if (sink_.count > 0) *sink_.cursor++ = static_cast<std::uint8_t>(sink_.buffer);
  sink_.buffer = 0;
  sink_.count = 0;
}

void DeflateBlockWriter::writeBlock(bool last, GrowingBytes& out) {
  sink_.cursor = out.room(kHeaderRoom + kTokenRoom * pending_);
  countTokens();
  std::uint8_t lengths[286 + 30] = {};
  codeLengths(literalCounts_.data(), 286, kMaxCodeBits, lengths);
  codeLengths(distanceCounts_.data(), 30, kMaxCodeBits, lengths + 286);
  int literalCodes = 286, distanceCodes = 30;
  while (lengths[literalCodes - 1] == 0) --literalCodes;
  while (lengths[286 + distanceCodes - 1] == 0) --distanceCodes;
  // Both codes' lengths in one run-length sequence, the distances right after the literals.
  std::uint8_t sequence[286 + 30];
  std::memcpy(sequence, lengths, static_cast<std::size_t>(literalCodes));
  std::memcpy(sequence + literalCodes, lengths + 286, static_cast<std::size_t>(distanceCodes));
  const std::vector<std::uint16_t> runs = runLengths(sequence, literalCodes + distanceCodes);
  std::uint32_t runCounts[19] = {};
  for (const std::uint16_t run : runs) ++runCounts[run & 31];
  std::uint8_t runLengthsOfCode[19] = {};
  codeLengths(runCounts, 19, kMaxLengthCodeBits, runLengthsOfCode);
  std::uint16_t runCodes[19] = {};
  canonicalCodes(runLengthsOfCode, 19, runCodes);
  int stored = 19;
  while (stored > 4 && runLengthsOfCode[kLengthCodeOrder[stored - 1]] == 0) --stored;

  putBits(last ? 1 : 0, 1);
  putBits(2, 2);  // dynamic Huffman codes
  putBits(static_cast<unsigned>(literalCodes - 257), 5);
  putBits(static_cast<unsigned>(distanceCodes - 1), 5);
  putBits(static_cast<unsigned>(stored - 4), 4);
  for (int i = 0; i < stored; ++i) putBits(runLengthsOfCode[kLengthCodeOrder[i]], 3);
  static constexpr int kRunExtra[3] = {2, 3, 7};
  for (const std::uint16_t run : runs) {
    const unsigned symbol = run & 31;
    putBits(runCodes[symbol], runLengthsOfCode[symbol]);
    if (symbol >= 16) putBits(run >> 5, kRunExtra[symbol - 16]);
  }
  writeTokens(lengths, lengths + 286);
  if (last) alignToByte();
  out.size = static_cast<std::size_t>(sink_.cursor - out.data.get());
  pending_ = 0;
}

// The pending tokens and the end of the block in the codes of `lengths` (the literal and
// length code's) and `distanceLengths`. Each token is one write: the codes and extra bits of
// the symbol and the distance, the distance's all zero for a literal.
void DeflateBlockWriter::writeTokens(const std::uint8_t* lengths, const std::uint8_t* distanceLengths) {
  std::uint16_t codes[286] = {}, distanceCodes[30] = {};
  canonicalCodes(lengths, 286, codes);
  canonicalCodes(distanceLengths, 30, distanceCodes);
  // Per symbol: its code, the code's length, and that length with the extra bits'.
  std::uint32_t symbolEntry[286], distanceEntry[31] = {};
  auto entry = [](unsigned code, unsigned length, int extraBits) {
    return code | length << 16 | (length + static_cast<unsigned>(extraBits)) << 24;
  };
  for (int s = 0; s < 286; ++s) symbolEntry[s] = entry(codes[s], lengths[s], s > 256 ? kLengthExtraBits[s - 257] : 0);
  for (unsigned d = 0; d < 30; ++d) distanceEntry[d] = entry(distanceCodes[d], distanceLengths[d], distanceExtraBits(d));
  BitSink sink = sink_;  // a local, kept in registers: the stores could alias a member
  for (std::size_t t = 0; t < pending_; ++t) {
    const std::uint32_t token = tokens_[t];
    const std::uint32_t symbol = symbolEntry[token & 0x1FF];
    const std::uint32_t distance = distanceEntry[(token >> kDistanceShift) & 0x1F];
    const std::uint64_t symbolBits = (symbol & 0xFFFF) | std::uint64_t{(token >> kLengthExtraShift) & 0x1F} << ((symbol >> 16) & 0xFF);
    const std::uint64_t distanceBits = (distance & 0xFFFF) | std::uint64_t{token >> kDistanceExtraShift} << ((distance >> 16) & 0xFF);
    sink.put(symbolBits | distanceBits << (symbol >> 24), static_cast<int>((symbol >> 24) + (distance >> 24)));
  }
  sink_ = sink;
  putBits(codes[kEndOfBlock], lengths[kEndOfBlock]);
}

// Every fourth token in a table of its own, so that runs of one symbol (a flat colour's
// matches, a noisy pixel's equal bytes) do not wait on one another's count.
void DeflateBlockWriter::countTokens() {
  constexpr std::size_t kTables = 4;
  std::uint32_t symbols[kTables][286] = {}, distances[kTables][32] = {};
  std::size_t t = 0;
  for (; t + kTables <= pending_; t += kTables) {
    for (std::size_t k = 0; k < kTables; ++k) {
      const std::uint32_t token = tokens_[t + k];
      ++symbols[k][token & 0x1FF];
      ++distances[k][(token >> kDistanceShift) & 0x1F];
    }
  }
  for (; t < pending_; ++t) {
    ++symbols[0][tokens_[t] & 0x1FF];
    ++distances[0][(tokens_[t] >> kDistanceShift) & 0x1F];
  }
  for (std::size_t s = 0; s < literalCounts_.size(); ++s) {
    literalCounts_[s] = symbols[0][s] + symbols[1][s] + symbols[2][s] + symbols[3][s];
  }
  for (std::size_t d = 0; d < distanceCounts_.size(); ++d) {
    distanceCounts_[d] = distances[0][d] + distances[1][d] + distances[2][d] + distances[3][d];
  }
  literalCounts_[kEndOfBlock] = 1;
}

void DeflateBlockWriter::syncFlush(GrowingBytes& out) {
  sink_.cursor = out.room(16);
  putBits(0, 3);  // not final, stored
  alignToByte();
  const std::uint8_t emptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};
  std::memcpy(sink_.cursor, emptyStored, sizeof emptyStored);
  out.size = static_cast<std::size_t>(sink_.cursor + sizeof emptyStored - out.data.get());
}

void DeflateBlockWriter::reset() {
  pending_ = 0;
  sink_.buffer = 0;
  sink_.count = 0;
}

}  // namespace platform
