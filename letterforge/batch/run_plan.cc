#include "letterforge/batch/run_plan.h"

#include <utility>

#include "letterforge/batch/shared_files.h"
#include "letterforge/driver/render_engine.h"

namespace letterforge {

std::string manifestPath(const BatchArguments& arguments, const BatchInput& input) {
  return input.chapter || arguments.manifest == "-" ? std::string() : arguments.manifest;
}

std::optional<PreparedRun> prepareRun(const BatchArguments& arguments, std::string& failure) {
  // A default font that cannot be had would fail every page, one by one.
  if (const std::string& font = arguments.defaults.settings.font; !font.empty()) {
    if (const auto problem = RenderEngine().fontProblem(font)) {
      failure = "--set font=" + font + ": " + problem->message;
      return std::nullopt;
    }
  }
  auto input = loadBatchInput(arguments, failure);
  if (!input) return std::nullopt;
  PreparedRun run{.input = std::move(*input)};
  if (run.input.chapter) run.outputFolder = chapterOutputFolder(arguments);
  if (!arguments.outputCbz.empty() &&
      !(run.archiveMembers = cbzMembersOf(run.input, run.outputFolder, failure))) {
    return std::nullopt;
  }
  if (arguments.dryRun) return run;
  if (const auto fault = sharedFileFault(run.input.entries, manifestPath(arguments, run.input))) {
    failure = "refused: " + *fault;
    return std::nullopt;
  }
  if (!arguments.resume.empty() && !(run.done = loadDonePages(arguments.resume, failure))) {
    return std::nullopt;
  }
  return run;
}

PageSelection selectPages(const PreparedRun& run, bool skipExisting) {
  PageSelection selection;
  const DonePages* done = run.done ? &*run.done : nullptr;
  for (const ManifestEntry& entry : run.input.entries) {
    const auto reason = entry.failure.empty() ? skipReason(entry.job, done, skipExisting) : std::nullopt;
    if (reason) {
      selection.skipped.push_back(skippedPageReport(entry.job, *reason));
    } else {
      selection.toRender.push_back(entry);
    }
  }
  return selection;
}

bool packRunArchive(const PreparedRun& run, const std::string& path, std::int64_t failedPages,
                    std::string& message) {
  if (failedPages > 0) {
    message = path + " not written: " + std::to_string(failedPages) + (failedPages == 1 ? " page" : " pages") +
              " failed";
    return false;
  }
  const std::vector<CbzMember> none;
  const std::vector<CbzMember>& members = run.archiveMembers ? *run.archiveMembers : none;
  const ChapterFile comicInfo = run.input.chapter ? run.input.chapter->comicInfo : ChapterFile{};
  if (!writeCbz(path, members, comicInfo, message)) return false;
  message = "wrote " + path + " (" + std::to_string(members.size()) + " pages)";
  return true;
}

}  // namespace letterforge
