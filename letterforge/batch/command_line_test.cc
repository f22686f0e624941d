#include "letterforge/batch/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/test_case_names.h"

namespace letterforge {
namespace {

using test_cases::PrintTo;

struct ArgumentsCase {
  const char* name;
  std::vector<std::string> arguments;
  std::function<void(BatchArguments&)> expect{};  // applied to {.manifest = "m.jsonl"}
  std::string failure{};
};
class BatchArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(BatchArgumentsTest, ReadsTheFlagsOrNamesTheFault) {
  const ArgumentsCase& c = GetParam();
  std::string failure;
  const auto parsed = parseBatchArguments(c.arguments, failure);
  EXPECT_EQ(failure, c.failure);
  ASSERT_EQ(parsed.has_value(), c.failure.empty());
  if (!parsed) return;
  BatchArguments expected{.manifest = "m.jsonl"};
  if (c.expect) c.expect(expected);
  EXPECT_EQ(parsed->manifest, expected.manifest);
  EXPECT_EQ(parsed->jobs, expected.jobs);
  EXPECT_TRUE(parsed->defaults == expected.defaults);
  EXPECT_EQ(parsed->quiet, expected.quiet);
  EXPECT_EQ(parsed->failOn, expected.failOn);
  EXPECT_EQ(parsed->help, expected.help);
  EXPECT_EQ(parsed->version, expected.version);
  EXPECT_EQ(parsed->listFonts, expected.listFonts);
  EXPECT_EQ(parsed->dryRun, expected.dryRun);
  EXPECT_EQ(parsed->skipExisting, expected.skipExisting);
  EXPECT_EQ(parsed->resume, expected.resume);
  EXPECT_EQ(parsed->payloads, expected.payloads);
  EXPECT_EQ(parsed->outputFolder, expected.outputFolder);
  EXPECT_EQ(parsed->outputCbz, expected.outputCbz);
}

using A = BatchArguments&;
INSTANTIATE_TEST_SUITE_P(Table, BatchArgumentsTest, ::testing::Values(
    ArgumentsCase{"ManifestAlone", {"m.jsonl"}},
    ArgumentsCase{"StandardInput", {"-"}, [](A a) { a.manifest = "-"; }},
    ArgumentsCase{"JobsBothSpellings", {"--jobs", "3", "m.jsonl", "--jobs=4"}, [](A a) { a.jobs = 4; }},
    ArgumentsCase{"JobsBounds", {"--jobs=256", "m.jsonl"}, [](A a) { a.jobs = 256; }},
    ArgumentsCase{"QuietShort", {"-q", "m.jsonl"}, [](A a) { a.quiet = true; }},
    ArgumentsCase{"FailOnFlags", {"--fail-on", "uncleaned, overflowed", "m.jsonl"}, [](A a) {
      a.failOn = {.uncleaned = true, .overflowed = true};
    }},
    ArgumentsCase{"FailOnEveryFlag", {"--fail-on=spans_balloons,unknown_characters", "m.jsonl"},
                  [](A a) { a.failOn = {.unknownCharacters = true, .spansBalloons = true}; }},
    ArgumentsCase{"FailOnVerticalForms", {"--fail-on", "no_vertical_forms", "m.jsonl"},
                  [](A a) { a.failOn = {.noVerticalForms = true}; }},
    ArgumentsCase{"FailOnUnknownWord", {"--fail-on", "uncleaned,ugly", "m.jsonl"}, {},
                  "--fail-on: expected uncleaned, overflowed, unknown_characters, "
                  "spans_balloons or no_vertical_forms, found \"ugly\""},
    ArgumentsCase{"FailOnEmptyWord", {"--fail-on", "overflowed,", "m.jsonl"}, {},
                  "--fail-on: expected uncleaned, overflowed, unknown_characters, "
                  "spans_balloons or no_vertical_forms, found \"\""},
    ArgumentsCase{"UnknownFlagBeforeHelp", {"--bogus", "--help"}, {}, "unknown flag \"--bogus\""},
    ArgumentsCase{"HelpBeforeAnything", {"-h", "--bogus"}, [](A a) {
      a.manifest = "";
      a.help = true;
    }},
    ArgumentsCase{"Version", {"--version"}, [](A a) {
      a.manifest = "";
      a.version = true;
    }},
    ArgumentsCase{"SetTypedByTheOption",
                  {"--set", "font_scale=3", "--set=grouping=FALSE", "--set", "font=Comic Neue",
                   "--set", "stroke_color=123456", "m.jsonl"},
                  [](A a) {
                    a.defaults.settings.typeset.fontScale = 2;
                    a.defaults.settings.groupingEnabled = false;
                    a.defaults.settings.font = "Comic Neue";
                    a.defaults.settings.typeset.strokeColor = {0x12 / 255.0, 0x34 / 255.0,
                                                               0x56 / 255.0, 1.0};
                  }},
    ArgumentsCase{"ChapterFlags",
                  {"--dry-run", "--skip-existing", "--resume", "r.jsonl", "--payloads=p", "m.jsonl",
                   "--output-dir", "o", "--output-cbz=c.cbz"},
                  [](A a) {
                    a.dryRun = a.skipExisting = true;
                    a.resume = "r.jsonl";
                    a.payloads = "p";
                    a.outputFolder = "o";
                    a.outputCbz = "c.cbz";
                  }},
    ArgumentsCase{"ListFontsNeedsNoManifest", {"--list-fonts"}, [](A a) {
      a.manifest = "";
      a.listFonts = true;
    }},
    ArgumentsCase{"PathFlagWithoutValue", {"m", "--resume"}, {}, "--resume: a value is missing"},
    ArgumentsCase{"PathFlagEmpty", {"--output-cbz=", "m"}, {}, "--output-cbz: expected a path, found an empty string"},
    ArgumentsCase{"ManifestAfterDoubleDash", {"--", "--odd-name"}, [](A a) { a.manifest = "--odd-name"; }},
    ArgumentsCase{"NoManifest", {"--jobs", "2"}, {}, "no manifest given"},
    ArgumentsCase{"TwoManifests", {"a", "b"}, {}, "more than one manifest given"},
    ArgumentsCase{"JobsZero", {"--jobs", "0", "m"}, {},
                  "--jobs: expected a whole number from 1 to 256, found \"0\""},
    ArgumentsCase{"JobsTooMany", {"--jobs", "257", "m"}, {},
                  "--jobs: expected a whole number from 1 to 256, found \"257\""},
    ArgumentsCase{"JobsNotANumber", {"--jobs=2x", "m"}, {},
                  "--jobs: expected a whole number from 1 to 256, found \"2x\""},
    ArgumentsCase{"JobsWithoutValue", {"m", "--jobs"}, {}, "--jobs: a value is missing"},
    ArgumentsCase{"SetWithoutEquals", {"--set", "font_scale", "m"}, {},
                  "--set: expected NAME=VALUE, found \"font_scale\""},
    ArgumentsCase{"SetUnknownOption", {"--set", "output=x.png", "m"}, {},
                  "--set: unknown option \"output\""},
    ArgumentsCase{"SetNumberUnreadable", {"--set", "font_scale=12pt", "m"}, {},
                  "--set font_scale: expected a number, found \"12pt\""},
    ArgumentsCase{"SetBooleanUnreadable", {"--set", "grouping=yes", "m"}, {},
                  "--set grouping: expected a boolean, found \"yes\""},
    ArgumentsCase{"SetValueRefusedByTheOption", {"--set", "format=gif", "m"}, {},
                  "--set format: expected png, jpeg or webp, found \"gif\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BatchHelpTest, NamesEveryFlagFieldOptionAndExitStatus) {
  const std::string help = batchHelpText();
  for (const char* word : {"--jobs", "--set", "--quiet", "--help", "--version", "--dry-run",
                           "--skip-existing", "--resume", "--payloads", "--output-dir", "--output-cbz",
                           "--list-fonts", "archive", "warnings", "skipped", "problems", "image", "ocr",
                           "translation", "output", "debug", "milliseconds", "report", "blocks",
                           "font_size", "overflowed", "unknown_characters", "fallback_reason",
                           "130/143/129"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  for (const OptionDescription& option : jobOptionDescriptions()) {
    EXPECT_NE(help.find(std::string("  ") + option.name + " "), std::string::npos) << option.name;
  }
}

}  // namespace
}  // namespace letterforge
