#include "letterforge/batch/command_line.h"

#include <cstdio>

#include "letterforge/batch/manifest.h"
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/render_options.h"
#include "letterforge/inputs/text_rules.h"

namespace letterforge {
namespace {

constexpr const char* kHelpBeforeOptions = R"(
Renders the pages of a chapter in one process, each exactly as letterforge renders it: on N
worker threads with an engine each, at most N pages in memory at once. A bad page never stops
the others.

Flags:
  --jobs N           pages rendered at once, 1 to 256 (default: one per core)
  --set NAME=VALUE   a default option for every page; a manifest line's own value wins.
                     Repeatable. Numbers are read as letterforge reads them; booleans are
                     true or false. A default font that cannot be had refuses the run
  --dry-run          check every page without rendering: one line per page with its
                     problems and warnings
  --skip-existing    leave pages whose output (and debug image) is newer than each input
  --resume FILE      leave pages an earlier run's result lines (FILE) report ok
  --payloads DIR     a chapter's <page>.ocr.json and <page>.translation.json, looked for
                     here first (with the pages' subfolders), then beside each page
  --output-dir DIR   where a chapter's pages are written (default: the --output-cbz path
                     without its extension, else "<chapter>-letterforge")
  --output-cbz FILE  also put the finished pages, in order, into this comic archive (with the
                     chapter's ComicInfo.xml), written only when every page is done
  --list-fonts       one JSON line per installed font family: family, styles, scripts
  --fail-on FLAGS    a page whose blocks carry one of these flags (comma-separated:
                     uncleaned, overflowed, unknown_characters, spans_balloons,
                     no_vertical_forms) fails with status 8, its files still written
  --quiet, -q        nothing on standard error but a refusal of the whole run or lost
                     result lines
  --help, -h         this text
  --version          the version
  -                  read the manifest from standard input

A chapter is a comic archive (CBZ, CBR, CB7, ZIP, RAR, 7z, tar; recognised by content) or a
folder of page images (.png, .jpg, .jpeg, .webp, .tif, .tiff, .gif), in natural order
("2.png" before "10.png"), "__MACOSX/" and hidden files left out, each page's payloads beside
it. A page with neither payload is copied as it is. An archive is refused whole, naming the
member, for a name with ".." or an absolute path or that is not UTF-8, a link, an encrypted
or damaged member, an archive inside it, two names differing only in letter case, more than
10000 members, a member unpacking to more than 512 MiB or all to more than 4 GiB.

The manifest holds one page job per line, a JSON object (JSON Lines); blank lines are
skipped. Relative paths are read from the manifest's folder (from the current folder for
standard input). Fields:
  image        string   required: the page image (PNG, JPEG, WebP, TIFF or GIF)
  ocr          string   required: the OCR JSON file
  translation  string   required: the translation JSON file
  output       string   required: the finished page; missing folders are created
  debug        string   a debug image of the decisions, in the format of its extension
  layers       string   the layers to edit afterwards, at this path followed by
                        .cleaned.png (the page cleaned, before any text), .text.png (the
                        text over transparency), .mask.png (the cleanup mask) and .psd
                        (original, cleaned and text layers; pages up to 30000 pixels a side)
  archive      string   a comic archive or folder: image, ocr and translation are its members
                        (ocr and translation files beside the manifest when it has none such)
and any option below. A null value keeps the default.
  {"image": "p1.png", "ocr": "p1.ocr.json", "translation": "p1.tr.json",
   "output": "out/p1.png", "cleanup_mode": "bubble_clean"}

Options (manifest fields and --set names):
)";

constexpr const char* kHelpAfterOptions = R"(
A font that cannot be had fails its page; scripts it lacks are still drawn in other fonts.
The output is PNG, JPEG or WebP by the format option, else by its extension, else PNG.
Numbers out of range are bounded as letterforge bounds them. Two pages that would write one
file, or write a file that another page reads, are refused before anything runs.

Standard output: one JSON line per page as it finishes, in the order pages finish:
  line                  the manifest line
  image, output, debug, layers
                        the paths used (debug and layers only when asked for)
  ok, status, message   true and 0; or false with the exit status letterforge would give and
                        its message (status 2 for a line that describes no job)
  skipped               why the page was not rendered again (output exists, done earlier)
  milliseconds          time taken by the page, written files included
  report                the lines letterforge writes to standard error for the page
  blocks                per translated block: id, item (its group), cleanup (white_fill,
                        inpainted, refused, patched, patched_dense, patched_empty,
                        patched_grouped, fallback, left_alone), coverage and confidence when
                        known, fallback_reason and fallback_cleanup, drawn, font_size,
                        overflowed (too long even at the smallest size), unknown_characters
                        (characters no installed font can draw), flags: uncleaned (a cleanup
                        mode left its lettering), overflowed, unknown_characters,
                        spans_balloons (its item holds blocks of two balloons, or of one and
                        of the art; known only when balloons are looked for),
                        no_vertical_forms (set in columns in a font without vertical forms)
  warnings              what is likely wrong although the page renders: translation ids not
                        in the OCR, OCR width and height other than the image's, boxes off the
                        page, output names whose extension disagrees with the format
With --dry-run: line, image, output, ok, problems (status and message of each failure the
page would meet) and warnings.

Standard error: a progress bar on a terminal (pages done, pages per minute, time left),
plain progress lines otherwise, each failure as "line N: message", and a last summary line;
both count the flagged blocks ("40 rendered; 3 blocks left uncleaned on 2 pages, 5
overflowed").

SIGINT, SIGTERM or SIGHUP: no new page is started; the pages in flight are finished, written
whole and reported; no partial or temporary file is left.

Exit status:
  0            every page rendered and written (with --dry-run: no page has a problem)
  1            some pages failed (status 8: flagged by --fail-on), every other page was
               rendered; or the archive of --output-cbz could not be written (with
               --dry-run: some page has a problem)
  2            a bad command line, a manifest or chapter that cannot be read or holds no page,
               two pages writing one file, a default font that cannot be had: nothing was
               rendered
  3            result lines could not be written to standard output; no page was started
               after the first lost line
  130/143/129  stopped by SIGINT, SIGTERM or SIGHUP after the pages in flight
)";

std::optional<OptionValue> valueOfText(const OptionDescription& option, const std::string& text,
                                       std::string& failure) {
  const std::string type = option.type;
  if (type == "number") {
    if (const auto number = parseNumberArgument(text)) return *number;
  } else if (type == "boolean") {
    const std::string word = lowercasedText(text);
    if (word == "true" || word == "false") return word == "true";
  } else {
    return text;
  }
  failure = std::string(option.name) + ": expected " + (type == "number" ? "a number" : "a boolean") +
            ", found \"" + visibleText(text) + "\"";
  return std::nullopt;
}

bool readJobs(const std::string& text, int& jobs, std::string& failure) {
  const bool digits = !text.empty() && text.size() <= 4 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  if (digits && std::stoi(text) >= 1 && std::stoi(text) <= kMaxJobs) {
    jobs = std::stoi(text);
    return true;
  }
  failure = "--jobs: expected a whole number from 1 to " + std::to_string(kMaxJobs) +
            ", found \"" + visibleText(text) + "\"";
  return false;
}

// A flag's value: after "=" in the same argument, else the next argument.
std::optional<std::string> flagValue(const std::vector<std::string>& arguments, std::size_t& i,
                                     std::string_view flag, std::string& failure) {
  const std::string& argument = arguments[i];
  if (argument.size() > flag.size()) return argument.substr(flag.size() + 1);
  if (i + 1 >= arguments.size()) {
    failure = std::string(flag) + ": a value is missing";
    return std::nullopt;
  }
  return arguments[++i];
}

bool isFlag(const std::string& argument, std::string_view flag) {
  return argument == flag || (argument.starts_with(flag) && argument.size() > flag.size() &&
                              argument[flag.size()] == '=');
}

// The field a flag that takes a path sets; null for another argument.
std::string* pathFlag(const std::string& argument, BatchArguments& parsed) {
  const std::pair<const char*, std::string*> flags[] = {
      {"--resume", &parsed.resume}, {"--payloads", &parsed.payloads},
      {"--output-dir", &parsed.outputFolder}, {"--output-cbz", &parsed.outputCbz}};
  for (const auto& [flag, field] : flags) {
    if (isFlag(argument, flag)) return field;
  }
  return nullptr;
}

}  // namespace

bool setDefaultOption(JobOptions& defaults, std::string_view assignment, std::string& failure) {
  const auto equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    failure = "--set: expected NAME=VALUE, found \"" + visibleText(assignment) + "\"";
    return false;
  }
  const std::string_view name = assignment.substr(0, equals);
  const OptionDescription* option = findOption(name);
  if (!option) {
    failure = "--set: unknown option \"" + visibleText(name) + "\"";
    return false;
  }
  const auto value = valueOfText(*option, std::string(assignment.substr(equals + 1)), failure);
  if (!value || !setJobOption(defaults, name, *value, failure)) {
    failure = "--set " + failure;
    return false;
  }
  return true;
}

std::optional<BatchArguments> parseBatchArguments(const std::vector<std::string>& arguments,
                                                  std::string& failure) {
  BatchArguments parsed;
  std::vector<std::string> manifests;
  bool flagsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (flagsEnded || argument == "-" || !argument.starts_with('-')) {
      manifests.push_back(argument);
    } else if (argument == "--") {
      flagsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      parsed.help = true;
      return parsed;
    } else if (argument == "--version") {
      parsed.version = true;
      return parsed;
    } else if (argument == "--quiet" || argument == "-q") {
      parsed.quiet = true;
    } else if (argument == "--list-fonts") {
      parsed.listFonts = true;
    } else if (argument == "--dry-run") {
      parsed.dryRun = true;
    } else if (argument == "--skip-existing") {
      parsed.skipExisting = true;
    } else if (std::string* path = pathFlag(argument, parsed)) {
      const std::string flag = argument.substr(0, argument.find('='));
      const auto value = flagValue(arguments, i, flag, failure);
      if (!value) return std::nullopt;
      if (value->empty()) {
        failure = flag + ": expected a path, found an empty string";
        return std::nullopt;
      }
      *path = *value;
    } else if (isFlag(argument, "--jobs")) {
      const auto value = flagValue(arguments, i, "--jobs", failure);
      if (!value || !readJobs(*value, parsed.jobs, failure)) return std::nullopt;
    } else if (isFlag(argument, "--fail-on")) {
      const auto value = flagValue(arguments, i, "--fail-on", failure);
      if (!value) return std::nullopt;
      const auto flags = parseFlagList(*value, failure);
      if (!flags) {
        failure = "--fail-on: " + failure;
        return std::nullopt;
      }
      parsed.failOn = *flags;
    } else if (isFlag(argument, "--set")) {
      const auto value = flagValue(arguments, i, "--set", failure);
      if (!value || !setDefaultOption(parsed.defaults, *value, failure)) return std::nullopt;
    } else {
      failure = "unknown flag \"" + visibleText(argument) + "\"";
      return std::nullopt;
    }
  }
  if (parsed.listFonts && manifests.empty()) return parsed;
  if (manifests.size() != 1) {
    failure = manifests.empty() ? "no manifest given" : "more than one manifest given";
    return std::nullopt;
  }
  parsed.manifest = manifests.front();
  return parsed;
}

std::string batchHelpText() {
  std::string text = std::string(kBatchUsageLine) + "\n" + kHelpBeforeOptions;
  for (const OptionDescription& option : jobOptionDescriptions()) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-17s %-8s %s\n", option.name, option.type, option.help);
    text += line;
  }
  return text + kHelpAfterOptions;
}

}  // namespace letterforge
