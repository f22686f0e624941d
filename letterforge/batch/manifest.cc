#include "letterforge/batch/manifest.h"

#include <cstdio>
#include <utility>

#include "letterforge/batch/json_lines.h"
#include "letterforge/inputs/block_overrides.h"
#include "letterforge/inputs/text_rules.h"
#include "platform/files.h"
#include "platform/text_layout.h"

namespace letterforge {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

const char* typeName(const JsonFieldValue& value) {
  static constexpr const char* kTypes[] = {"a boolean", "a number", "a string"};
  return value.index() < 3 ? kTypes[value.index()] : std::get<OtherJsonValue>(value).type.c_str();
}

bool isNull(const JsonFieldValue& value) {
  const auto* other = std::get_if<OtherJsonValue>(&value);
  return other && other->type == "null";
}

bool isBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// Whether some line of the text holds more than white space (a byte order mark aside).
bool holdsALine(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return text.find_first_not_of(" \t\r\n") != std::string_view::npos;
}

// A path field: a string that is not empty.
bool readPath(const JsonField& field, std::string& out, std::string& failure) {
  const auto* text = std::get_if<std::string>(&field.value);
  if (!text) {
    failure = field.name + ": expected a string, found " + typeName(field.value);
    return false;
  }
  if (text->empty()) {
    failure = field.name + ": expected a path, found an empty string";
    return false;
  }
  out = *text;
  return true;
}

// The blocks field: an object of overrides, or the path of a file holding one, read from the
// manifest's folder.
bool readBlocks(const JsonField& field, std::string_view line, const std::string& folder,
                JobOptions& options, std::string& failure) {
  const auto* other = std::get_if<OtherJsonValue>(&field.value);
  if (other && other->type == "an object") {
    // Overrides hold scalars two levels down; anything deeper is a fault the decoder names.
    const auto text = jsonFieldText(line, field.name, 3);
    return text && setJobOption(options, field.name, *text, failure);
  }
  const auto* path = std::get_if<std::string>(&field.value);
  if (!path || path->empty() || isInlineOverrides(*path)) {
    failure = "blocks: expected an object or a file's path, found " +
              std::string(path ? "\"" + visibleText(*path) + "\"" : typeName(field.value));
    return false;
  }
  return setJobOption(options, field.name, resolvedPath(folder, *path), failure);
}

bool readOption(const JsonField& field, const std::string& folder, JobOptions& options,
                std::string& failure) {
  const OptionDescription* option = findOption(field.name);
  const auto* other = std::get_if<OtherJsonValue>(&field.value);
  if (option && other) {
    if (isNull(field.value)) return true;  // the default stands
    const std::string expected = std::string(option->type) == "boolean" ? "a boolean"
                                 : std::string(option->type) == "number" ? "a number"
                                                                         : "a string";
    failure = field.name + ": expected " + expected + ", found " + other->type;
    return false;
  }
  OptionValue value;
  if (const auto* b = std::get_if<bool>(&field.value)) value = *b;
  if (const auto* n = std::get_if<double>(&field.value)) value = *n;
  if (const auto* s = std::get_if<std::string>(&field.value)) value = *s;
  if (!setJobOption(options, field.name, value, failure)) return false;
  // A font file is read from the manifest's folder, as every other file of the line is.
  std::string& font = options.settings.font;
  if (field.name == "font" && platform::namesFontFile(font)) font = resolvedPath(folder, font);
  return true;
}

bool isPathField(const std::string& name) {
  return name == "image" || name == "ocr" || name == "translation" || name == "output" ||
         name == "debug" || name == "layers" || name == "archive";
}

// The files a line reads, which name members when the line names an archive.
bool isInputField(const std::string& name) {
  return name == "image" || name == "ocr" || name == "translation";
}

bool readPathField(const JsonField& field, const std::string& folder, PageJob& job,
                   std::string& failure) {
  if (field.name == "debug" || field.name == "layers") {
    // As letterforge reads its debug argument: trimmed, and empty for none.
    if (isNull(field.value)) return true;
    if (!std::holds_alternative<std::string>(field.value)) {
      failure = field.name + ": expected a string, found " + std::string(typeName(field.value));
      return false;
    }
    const std::string trimmed = trimmedText(std::get<std::string>(field.value));
    (field.name == "debug" ? job.debug : job.layers) = trimmed.empty() ? "" : resolvedPath(folder, trimmed);
    return true;
  }
  std::string* path = field.name == "image"         ? &job.image
                      : field.name == "ocr"         ? &job.ocr
                      : field.name == "translation" ? &job.translation
                      : field.name == "archive"     ? &job.archive
                                                    : &job.output;
  if (!readPath(field, *path, failure)) return false;
  if (!isInputField(field.name)) *path = resolvedPath(folder, *path);
  return true;
}

// The paths come first, so that a line failing on an option still names its files.
void readLine(std::string_view line, const std::string& folder, ManifestEntry& entry) {
  const auto fields = parseJsonObjectLine(line, entry.failure);
  if (!fields) return;
  std::string failure;
  for (const JsonField& field : *fields) {
    if (isPathField(field.name) && !readPathField(field, folder, entry.job, failure) &&
        entry.failure.empty()) {
      entry.failure = failure;
    }
  }
  // Members of an archive are found once it is opened (resolveArchiveMembers).
  if (entry.job.archive.empty()) {
    for (std::string* path : {&entry.job.image, &entry.job.ocr, &entry.job.translation}) {
      if (!path->empty()) *path = resolvedPath(folder, *path);
    }
  }
  // A file or font name ends at a NUL byte: the rest would be silently dropped.
  for (const JsonField& field : *fields) {
    const auto* text = std::get_if<std::string>(&field.value);
    if (entry.failure.empty() && text && text->find('\0') != std::string::npos) {
      entry.failure = visibleText(field.name) + ": holds a NUL character";
    }
  }
  if (!entry.failure.empty()) return;
  for (const JsonField& field : *fields) {
    if (isPathField(field.name)) continue;
    if (field.name == "blocks" && !isNull(field.value)
            ? !readBlocks(field, line, folder, entry.job.options, entry.failure)
            : !readOption(field, folder, entry.job.options, entry.failure)) {
      return;
    }
  }
  const std::pair<const char*, const std::string*> required[] = {
      {"image", &entry.job.image}, {"ocr", &entry.job.ocr},
      {"translation", &entry.job.translation}, {"output", &entry.job.output}};
  for (const auto& [name, value] : required) {
    if (value->empty()) {
      entry.failure = std::string(name) + ": required field is missing";
      return;
    }
  }
  // Files are written in the format their names promise, or refused before anything runs.
  const PageJob& job = entry.job;
  if (!jobEncoding(job.options, job.output, entry.failure)) return;
  if (!job.debug.empty()) debugEncoding(job.options, job.debug, entry.failure);
}

std::optional<std::string> readStandardInput(std::string& failure) {
  std::string text;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    text.append(buffer, n);
    if (text.size() > kMaxManifestBytes) {
      failure = "file is larger than " + std::to_string(kMaxManifestBytes) + " bytes";
      return std::nullopt;
    }
  }
  if (std::ferror(stdin)) {
    failure = "read error";
    return std::nullopt;
  }
  return text;
}

}  // namespace

const OptionDescription* findOption(std::string_view name) {
  for (const OptionDescription& option : jobOptionDescriptions()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::string manifestFolder(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (path == "-" || slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string resolvedPath(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.starts_with('/')) return path;
  return folder.ends_with('/') ? folder + path : folder + "/" + path;
}

std::vector<ManifestLine> manifestLines(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::vector<ManifestLine> lines;
  std::int64_t number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!isBlankLine(line)) lines.push_back({number, line});
  }
  return lines;
}

ManifestEntry readManifestLine(const ManifestLine& line, const std::string& folder,
                               const JobOptions& defaults) {
  ManifestEntry entry{.job = {.line = line.number, .options = defaults}};
  readLine(line.text, folder, entry);
  return entry;
}

std::vector<ManifestEntry> readManifest(std::string_view text, const std::string& folder,
                                        const JobOptions& defaults) {
  std::vector<ManifestEntry> entries;
  for (const ManifestLine& line : manifestLines(text)) {
    entries.push_back(readManifestLine(line, folder, defaults));
  }
  return entries;
}

std::optional<ManifestText> readManifestText(const std::string& path, std::string& failure) {
  const bool standardInput = path == "-";
  const std::string name = standardInput ? "standard input" : path;
  std::string reason;
  auto text = standardInput ? readStandardInput(reason)
                            : platform::readWholeFile(path, kMaxManifestBytes, reason);
  if (!text) {
    failure = name + ": cannot be read: " + reason;
    return std::nullopt;
  }
  if (!holdsALine(*text)) {
    failure = name + ": holds no page job";
    return std::nullopt;
  }
  return ManifestText{.text = std::move(*text), .folder = manifestFolder(path)};
}

std::optional<std::vector<ManifestEntry>> loadManifest(const std::string& path,
                                                       const JobOptions& defaults,
                                                       std::string& failure) {
  const auto manifest = readManifestText(path, failure);
  if (!manifest) return std::nullopt;
  return readManifest(manifest->text, manifest->folder, defaults);
}

}  // namespace letterforge
