#include "letterforge/chapter/member_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

std::vector<std::string_view> partsOf(std::string_view name) {
  std::vector<std::string_view> parts;
  while (!name.empty()) {
    const auto slash = name.find('/');
    parts.push_back(name.substr(0, slash));
    name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
  }
  return parts;
}

bool hasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

// "C:" at the start names a drive where the archive was made.
bool startsWithDrive(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
}

char lowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Compares two runs of digits by value; equal values compare equal whatever their zeros.
int compareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

std::size_t runEnd(std::string_view text, std::size_t from) {
  while (from < text.size() && isDigit(text[from])) ++from;
  return from;
}

}  // namespace

std::optional<std::string> chapterMemberName(std::string_view stored, std::string& problem) {
  if (!isWellFormedUtf8(stored)) {
    problem = "its name is not UTF-8";
    return std::nullopt;
  }
  if (hasControlCharacter(stored)) {
    problem = "its name holds a control character";
    return std::nullopt;
  }
  std::string name(stored);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.starts_with('/') || startsWithDrive(name)) {
    problem = "its name is an absolute path";
    return std::nullopt;
  }
  std::string joined;
  for (const std::string_view part : partsOf(name)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      problem = "its name climbs out of the archive with \"..\"";
      return std::nullopt;
    }
    if (!joined.empty()) joined += '/';
    joined += part;
  }
  if (joined.empty()) {
    problem = "its name is empty";
    return std::nullopt;
  }
  return joined;
}

bool isSkippedMember(std::string_view name) {
  const auto parts = partsOf(name);
  return std::any_of(parts.begin(), parts.end(), [](std::string_view part) {
    return part == "__MACOSX" || part.starts_with('.');
  });
}

bool naturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::size_t endA = runEnd(a, i);
      const std::size_t endB = runEnd(b, j);
      if (const int order = compareNumbers(a.substr(i, endA - i), b.substr(j, endB - j))) return order < 0;
      i = endA;
      j = endB;
    } else if (lowerAscii(a[i]) != lowerAscii(b[j])) {
      return static_cast<unsigned char>(lowerAscii(a[i])) < static_cast<unsigned char>(lowerAscii(b[j]));
    } else {
      ++i;
      ++j;
    }
  }
  if ((i < a.size()) != (j < b.size())) return j < b.size();
  return a < b;
}

std::string_view memberStem(std::string_view name) {
  const auto dot = name.find_last_of('.');
  const auto slash = name.find_last_of('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return name;
  return name.substr(0, dot);
}

std::string memberExtension(std::string_view name) {
  std::string extension(name.substr(memberStem(name).size()));
  std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
  return extension;
}

}  // namespace letterforge
