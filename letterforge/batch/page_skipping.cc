#include "letterforge/batch/page_skipping.h"

#include <sys/stat.h>

#include <vector>

#include "letterforge/batch/json_lines.h"
#include "platform/files.h"

namespace letterforge {
namespace {

// A result file as large as the largest manifest's results.
constexpr std::uint64_t kMaxResultsBytes = 1ull << 30;

const std::string* textField(const std::vector<JsonField>& fields, std::string_view name) {
  for (const JsonField& field : fields) {
    if (field.name == name) return std::get_if<std::string>(&field.value);
  }
  return nullptr;
}

bool isOk(const std::vector<JsonField>& fields) {
  for (const JsonField& field : fields) {
    if (field.name == "ok") return std::holds_alternative<bool>(field.value) && std::get<bool>(field.value);
  }
  return false;
}

std::optional<timespec> modified(const std::string& path, bool regularOnly) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  if (regularOnly && !S_ISREG(info.st_mode)) return std::nullopt;
  return info.st_mtim;
}

bool newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The files the page is made from, members of an archive standing for by the archive.
std::vector<std::string> inputsOf(const PageJob& job) {
  const auto source = [&job](const std::string& path, const std::string& name) {
    return !name.empty() && !job.archive.empty() ? job.archive : path;
  };
  std::vector<std::string> inputs = {source(job.image, job.imageName)};
  if (!job.copyImage) {
    inputs.push_back(source(job.ocr, job.ocrName));
    inputs.push_back(source(job.translation, job.translationName));
  }
  return inputs;
}

bool isUpToDate(const PageJob& job) {
  std::vector<std::optional<timespec>> outputs = {modified(job.output, true)};
  if (!job.debug.empty()) outputs.push_back(modified(job.debug, true));
  for (const std::string& input : inputsOf(job)) {
    const auto made = modified(input, false);
    if (!made) return false;  // an input that cannot be seen: the render says why
    for (const auto& output : outputs) {
      if (!output || !newer(*output, *made)) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<DonePages> loadDonePages(const std::string& path, std::string& failure) {
  std::string reason;
  const auto text = platform::readWholeFile(path, kMaxResultsBytes, reason);
  if (!text) {
    failure = path + ": cannot be read: " + reason;
    return std::nullopt;
  }
  DonePages done;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    std::string ignored;
    const auto fields = parseJsonObjectLine(line, ignored);
    if (!fields || !isOk(*fields)) continue;
    const std::string* image = textField(*fields, "image");
    const std::string* output = textField(*fields, "output");
    if (image && output) done.pages.emplace(*image, *output);
  }
  return done;
}

std::optional<std::string> skipReason(const PageJob& job, const DonePages* done, bool skipExisting) {
  // A page done earlier whose output has gone since is rendered again.
  if (done && done->pages.contains({shownImage(job), job.output}) && modified(job.output, false)) {
    return kSkippedDone;
  }
  if (skipExisting && isUpToDate(job)) return kSkippedExists;
  return std::nullopt;
}

}  // namespace letterforge
