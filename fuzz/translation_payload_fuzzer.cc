// Translation file decoding, the translation lookup with its canonical ids, and the text
// rules applied to every decoded text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/inputs/text_rules.h"
#include "letterforge/inputs/translation_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace letterforge;
  std::string failure;
  const auto payload = decodeTranslationPayload(
      std::string_view(reinterpret_cast<const char*>(data), size), failure);
  if (!payload) {
    FUZZ_CHECK(!failure.empty());
    return 0;
  }
  const auto lookup = makeTranslationLookup(*payload, failure);
  if (!lookup) {
    FUZZ_CHECK(failure.starts_with("Duplicate values for key: '"));
    return 0;
  }
  std::vector<std::string> texts;
  for (const TranslationBlock& entry : payload->translations) {
    FUZZ_CHECK(findTranslation(*lookup, entry.id).has_value());
    const std::string trimmed = trimmedText(entry.translatedText);
    FUZZ_CHECK(trimmed.size() <= entry.translatedText.size());
    FUZZ_CHECK(isBlank(entry.translatedText) == trimmed.empty());
    const std::int64_t count = characterCount(entry.translatedText);
    FUZZ_CHECK(count >= 0);
    firstCharacters(entry.translatedText, count / 2);
    FUZZ_CHECK(withMarkStacksCut(entry.translatedText).size() <= entry.translatedText.size());
    texts.push_back(entry.translatedText);
  }
  joinedText(texts);
  return 0;
}
