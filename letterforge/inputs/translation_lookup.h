#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "letterforge/inputs/payloads.h"

namespace letterforge {

// Translated text by block id. Ids are keyed in their canonical form, so canonically
// equivalent ids are one key; case and surrounding white space still count.
struct TranslationLookup {
  std::unordered_map<std::string, std::string> textByCanonicalId{};
  bool operator==(const TranslationLookup&) const = default;
};

// Every entry's (id, translated text) in array order, texts exactly as decoded, blank ones
// included. Absent when an id is met a second time; `failure` is then
// "Duplicate values for key: '<id>'" with the id as written in the later entry (control
// characters escaped; see visibleText).
std::optional<TranslationLookup> makeTranslationLookup(const TranslationPayload& payload,
                                                       std::string& failure);

// The translation of a block id, compared under canonical equivalence; absent when none.
std::optional<std::string> findTranslation(const TranslationLookup& lookup, std::string_view id);

// The report of a block id met twice where ids must be unique, the id as visibleText shows it.
std::string duplicateKeyFailure(std::string_view id);

}  // namespace letterforge
