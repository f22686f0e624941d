// OCR file decoding, then block items made from the decoded boxes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/translation_lookup.h"
#include "letterforge/layout/block_grouping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace letterforge;
  std::string failure;
  const auto payload =
      decodeOcrPayload(std::string_view(reinterpret_cast<const char*>(data), size), failure);
  if (!payload) {
    FUZZ_CHECK(!failure.empty());
    return 0;
  }
  // Every block gets the same translation, so every block with a usable box becomes an item.
  TranslationLookup lookup;
  for (const OcrBlock& block : payload->blocks) lookup.textByCanonicalId[block.id] = "text";
  const auto items = makeBlockItems(payload->blocks, lookup, 48.0);
  FUZZ_CHECK(items.size() <= payload->blocks.size());
  groupRenderItems(items, true, GroupingPreset::kAggressive);
  return 0;
}
