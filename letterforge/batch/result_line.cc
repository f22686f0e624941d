#include "letterforge/batch/result_line.h"

#include "letterforge/batch/json_lines.h"
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/exit_status.h"

namespace letterforge {
namespace {

// Members of one JSON object, written in the order they are added.
class ObjectText {
 public:
  ObjectText& raw(const char* name, const std::string& json) {
    text_ += (text_.empty() ? "{" : ",") + jsonString(name) + ":" + json;
    return *this;
  }
  ObjectText& text(const char* name, const std::string& value) { return raw(name, jsonString(value)); }
  ObjectText& number(const char* name, double value) { return raw(name, jsonNumber(value)); }
  ObjectText& integer(const char* name, std::int64_t value) {
    return raw(name, std::to_string(value));
  }
  ObjectText& flag(const char* name, bool value) { return raw(name, value ? "true" : "false"); }
  std::string done() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_{};
};

// The block's flags as a JSON array of their words.
std::string flagArray(const BlockFlags& flags) {
  std::string words;
  for (const std::string& word : flagWords(flags)) words += (words.empty() ? "" : ",") + jsonString(word);
  return "[" + words + "]";
}

std::string blockObject(const BlockOutcome& block) {
  ObjectText object;
  object.text("id", block.id).text("item", block.item);
  const BlockCleanup& cleanup = block.cleanup;
  object.text("cleanup", cleanupActionWord(cleanup.action));
  if (cleanup.coverage) object.number("coverage", *cleanup.coverage);
  if (cleanup.confidence) object.number("confidence", *cleanup.confidence);
  if (cleanup.action == CleanupAction::kFallback) {
    object.text("fallback_reason", cleanup.fallbackReason)
        .text("fallback_cleanup", cleanupActionWord(cleanup.fallbackAction));
  }
  const TypesetOutcome& typeset = block.typeset;
  object.flag("drawn", typeset.drawn);
  if (typeset.drawn) object.number("font_size", typeset.size);
  object.flag("overflowed", typeset.overflowed).integer("unknown_characters", typeset.unknownCharacters);
  return object.raw("flags", flagArray(block.flags)).done();
}

template <typename T, typename Write>
std::string arrayOf(const std::vector<T>& items, Write write) {
  std::string text = "[";
  for (const T& item : items) text += (text.size() > 1 ? "," : "") + write(item);
  return text + "]";
}

std::string textJson(const std::string& text) { return jsonString(text); }

// A line that could not be read may name none of its files.
void addPaths(ObjectText& object, const std::string& image, const std::string& output,
              const std::string& debug, const std::string& layers = {}) {
  const std::pair<const char*, const std::string*> paths[] = {
      {"image", &image}, {"output", &output}, {"debug", &debug}, {"layers", &layers}};
  for (const auto& [name, path] : paths) {
    if (!path->empty()) object.text(name, *path);
  }
}

}  // namespace

std::string resultLine(const PageReport& report) {
  ObjectText object;
  object.integer("line", report.line);
  addPaths(object, report.image, report.output, report.debug, report.layers);
  object.flag("ok", !report.failure)
      .integer("status", report.failure ? report.failure->exitStatus : kExitSuccess);
  if (report.failure) object.text("message", report.failure->message);
  if (!report.skipped.empty()) object.text("skipped", report.skipped);
  return object.integer("milliseconds", report.milliseconds)
      .raw("report", arrayOf(report.reportLines, textJson))
      .raw("blocks", arrayOf(report.blocks, blockObject))
      .raw("warnings", arrayOf(report.warnings, textJson))
      .done();
}

std::string checkLine(const PageCheckReport& report) {
  ObjectText object;
  object.integer("line", report.line);
  addPaths(object, report.image, report.output, report.debug);
  return object.flag("ok", report.problems.empty())
      .raw("problems", arrayOf(report.problems, [](const RunFailure& problem) {
        return ObjectText().integer("status", problem.exitStatus).text("message", problem.message).done();
      }))
      .raw("warnings", arrayOf(report.warnings, textJson))
      .done();
}

}  // namespace letterforge
