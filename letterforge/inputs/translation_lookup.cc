#include "letterforge/inputs/translation_lookup.h"

#include "letterforge/inputs/text_rules.h"

namespace letterforge {

std::optional<TranslationLookup> makeTranslationLookup(const TranslationPayload& payload,
                                                       std::string& failure) {
  TranslationLookup lookup;
  for (const TranslationBlock& entry : payload.translations) {
    const auto [slot, inserted] =
        lookup.textByCanonicalId.try_emplace(canonicalText(entry.id), entry.translatedText);
    if (!inserted) {
      failure = duplicateKeyFailure(entry.id);
      return std::nullopt;
    }
  }
  return lookup;
}

std::optional<std::string> findTranslation(const TranslationLookup& lookup, std::string_view id) {
  const auto found = lookup.textByCanonicalId.find(canonicalText(id));
  if (found == lookup.textByCanonicalId.end()) return std::nullopt;
  return found->second;
}

std::string duplicateKeyFailure(std::string_view id) {
  return "Duplicate values for key: '" + visibleText(id) + "'";
}

}  // namespace letterforge
