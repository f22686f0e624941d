#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace letterforge {

// A member's name as chapters use it: parts joined by "/", with "\" read as "/" (as archives
// made on Windows write it) and empty and "." parts dropped ("./a//b.png" is "a/b.png").
// Absent, with `problem` saying why, for a name that could reach outside a folder it is
// unpacked into or cannot be shown: not UTF-8, empty, absolute ("/x", "C:x"), holding a ".."
// part or a control character.
std::optional<std::string> chapterMemberName(std::string_view stored, std::string& problem);

// True for members a chapter leaves out: anything under "__MACOSX/" and hidden files and
// folders (a part starting with ".").
bool isSkippedMember(std::string_view name);

// Natural order: runs of digits compare as numbers ("2.png" before "10.png"), the rest without
// regard to letter case; names equal that way compare byte by byte.
bool naturalLess(std::string_view a, std::string_view b);

// The name without its extension, and the extension in lower case with its dot
// ("ch1/Page.PNG": "ch1/Page" and ".png"); a name without one has an empty extension.
std::string_view memberStem(std::string_view name);
std::string memberExtension(std::string_view name);

}  // namespace letterforge
