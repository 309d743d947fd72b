#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"

namespace qm::cli {
namespace {

using enum TkwAction;

struct TParsed {
  std::optional<int> Status;
  TOptions Options;
  std::string Out, Err;
};

TParsed Parse(std::vector<const char*> AArgs) {
  AArgs.insert(AArgs.begin(), "quillmark");
  TParsed r;
  std::ostringstream out, err;
  r.Status = ParseOptions(static_cast<int>(AArgs.size()), AArgs.data(), r.Options, out, err);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

TEST(CliOptions, ConvertDefaultsFollowTheApplication) {
  const TParsed r = Parse({"convert", "a.pdf"});
  ASSERT_FALSE(r.Status);
  EXPECT_EQ(r.Options.Command, TCommand::cmConvert);
  EXPECT_EQ(r.Options.Inputs, std::vector<std::string>{"a.pdf"});
  EXPECT_TRUE(r.Options.Tabs);
  EXPECT_FALSE(r.Options.Open);
  EXPECT_FALSE(r.Options.Custom);
  EXPECT_FALSE(r.Options.Password);
  EXPECT_EQ(r.Options.Jobs, DefaultJobs());
  EXPECT_GE(r.Options.Jobs, 1u);
}

TEST(CliOptions, JobsTakesAPositiveCount) {
  for (const char* jobs : {"1", "3", "64"}) {
    const TParsed r = Parse({"convert", "a.pdf", "b.pdf", "--dest", "out", "--jobs", jobs});
    ASSERT_FALSE(r.Status) << r.Err;
    EXPECT_EQ(r.Options.Jobs, static_cast<unsigned>(std::stoul(jobs)));
  }
  for (const char* bad : {"0", "-2", "x", "1.5"}) {
    const TParsed r = Parse({"convert", "a.pdf", "--jobs", bad});
    EXPECT_EQ(r.Status, kExitUsage) << bad;
    EXPECT_NE(r.Err.find("--jobs"), std::string::npos) << bad << ": " << r.Err;
  }
}

TEST(CliOptions, EveryConvertOptionLandsInItsField) {
  const TParsed r = Parse({"convert", "a.pdf", "-o", "out", "--pages", "1,3, 5-9", "--no-tabs",
                           "--open", "--password", "pw", "--verbose"});
  ASSERT_FALSE(r.Status) << r.Err;
  EXPECT_EQ(r.Options.Output, "out");
  EXPECT_EQ(r.Options.Pages, "1,3, 5-9");
  EXPECT_FALSE(r.Options.Tabs);
  EXPECT_TRUE(r.Options.Open);
  EXPECT_EQ(r.Options.Password.value_or(""), "pw");
  EXPECT_TRUE(r.Options.Verbose);
}

TEST(CliOptions, ProcessChoicesApplyAfterThePreset) {
  const TParsed r = Parse({"convert", "a.pdf", "--preset", "plain-text", "--process", "image=leave-space",
                           "--process", "paragraph=skip"});
  ASSERT_FALSE(r.Status) << r.Err;
  EXPECT_TRUE(r.Options.Custom);
  EXPECT_EQ(r.Options.Actions[6], acLeaveSpace);  // image
  EXPECT_EQ(r.Options.Actions[3], acDelete);      // paragraph
  EXPECT_EQ(r.Options.Actions[4], acRetain);      // text line, from the preset
  EXPECT_EQ(r.Options.Actions[7], acDelete);      // table, from the preset
}

struct TPresetCase {
  const char* Name;
  // Kinds in the order page, hsection, column, paragraph, textline, text, image, table, row, shape.
  TElementActions Actions;
};

class Preset : public ::testing::TestWithParam<TPresetCase> {};

TEST_P(Preset, MatchesTheApplicationsTable) {
  EXPECT_EQ(PresetActions(GetParam().Name), GetParam().Actions);
}

INSTANTIATE_TEST_SUITE_P(
    Presets, Preset,
    ::testing::Values(
        TPresetCase{"default", {acRetain, acRetain, acRetain, acRetain, acRetain, acRetain, acRetain,
                                acRetain, acRetain, acRetain}},
        TPresetCase{"images-only", {acDelete, acDelete, acDelete, acDelete, acDelete, acDelete, acRetain,
                                    acDelete, acDelete, acDelete}},
        TPresetCase{"plain-text", {acDelete, acDelete, acDelete, acRetain, acRetain, acRetain, acDelete,
                                   acDelete, acDelete, acDelete}}));

TEST(CliOptions, EveryKindNameSetsItsOwnKind) {
  for (const TkwElementKindName& k : kElementKindNames) {
    TElementActions actions = *PresetActions("default");
    ASSERT_TRUE(ApplyProcessChoice(std::string(k.Name) + "=skip", actions)) << k.Name;
    for (std::size_t kind = 0; kind < kElementKindCount; ++kind) {
      EXPECT_EQ(actions[kind], kind == KindIndex(k.Kind) ? acDelete : acRetain) << k.Name;
    }
  }
}

// The names the command line has always taken, with the codes the formatter reports.
TEST(CliOptions, KindNamesKeepTheirCodes) {
  const std::pair<const char*, int> names[] = {{"page", 0}, {"hsection", 1}, {"column", 2}, {"paragraph", 3},
                                               {"textline", 4}, {"text", 5},   {"image", 6},  {"table", 7},
                                               {"row", 8},   {"shape", 9}};
  for (const auto& [name, code] : names) {
    TElementActions actions = *PresetActions("default");
    ASSERT_TRUE(ApplyProcessChoice(std::string(name) + "=leave-space", actions)) << name;
    EXPECT_EQ(actions[static_cast<std::size_t>(code)], acLeaveSpace) << name;
  }
}

TEST(CliOptions, MalformedProcessChoicesAreRejected) {
  TElementActions actions{};
  for (const char* bad : {"page", "page=", "=skip", "pages=skip", "page=Skip", "page=skip=1", ""}) {
    EXPECT_FALSE(ApplyProcessChoice(bad, actions)) << bad;
  }
}

TEST(CliOptions, InfoTakesOneFile) {
  const TParsed r = Parse({"info", "a.pdf"});
  ASSERT_FALSE(r.Status);
  EXPECT_EQ(r.Options.Command, TCommand::cmInfo);
  EXPECT_EQ(r.Options.Inputs, std::vector<std::string>{"a.pdf"});
}

TEST(CliNames, BatchAndDefaultOutputNames) {
  EXPECT_EQ(BatchOutputName("/out", "/in/report.pdf"), "/out/report.rtf");
  EXPECT_EQ(BatchOutputName("/out/", "report.PDF"), "/out/report.rtf");
  EXPECT_EQ(BatchOutputName("out", "/in/v1.2/report"), "out/report.rtf");
  EXPECT_EQ(BesideInputName("/in/report.pdf"), "/in/report.rtf");
  EXPECT_EQ(BesideInputName("/in.d/report"), "/in.d/report.rtf");
}

}  // namespace
}  // namespace qm::cli
