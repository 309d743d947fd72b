#include "app/JobLogic.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>

#include "tests/app/AppTestSupport.h"

namespace qm {
namespace {

using test::FakeFactory;
using test::TFakeScript;

struct Line {
  QString Text;
  TLogColour Colour;
  bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& AOut, const Line& ALine) {
  return AOut << '"' << ALine.Text.toStdString() << "\"/" << static_cast<int>(ALine.Colour);
}

class TRecordingSink final : public TJobSink {
public:
  void Log(const QString& AText, TLogColour AColour) override { Lines.push_back({AText, AColour}); }
  void StartProgress(int AMaximum) override { Maximum = AMaximum; Steps = 0; }
  void StepProgress() override { ++Steps; }
  void ShowProgress(int APosition, int AMaximum) override {
    std::lock_guard lock(Mutex);
    Shown.emplace_back(APosition, AMaximum);
  }
  void ObjectsFound(int ACount) override {
    std::lock_guard lock(Mutex);
    Objects = std::max(Objects, ACount);
  }
  void JobFinished(int AConverted, const QString& AOutput) override {
    Finished.push_back({AConverted, AOutput});
  }
  std::optional<std::string> AskPassword(const QString&, bool AWrongBefore) override {
    WrongBefore.push_back(AWrongBefore);
    std::lock_guard lock(Mutex);
    ++Asked;
    if (Answers.empty()) return std::nullopt;
    std::string a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }

  std::mutex Mutex;  // a batch reports from several threads
  std::vector<Line> Lines;
  std::vector<std::pair<int, int>> Shown;
  int Maximum = -1;
  int Steps = 0;
  int Objects = 0;
  std::vector<std::pair<int, QString>> Finished;
  std::vector<std::string> Answers;
  int Asked = 0;
  std::vector<bool> WrongBefore;  // per question: whether it said the last password was wrong
};

constexpr auto kBlack = TLogColour::lcBlack;
constexpr auto kGreen = TLogColour::lcGreen;
constexpr auto kRed = TLogColour::lcRed;

struct MappingCase {
  int Kind;         // the code the formatter reports
  const char* Key;  // the settings-file key of the box that answers it
};

class ElementMapping : public ::testing::TestWithParam<MappingCase> {};

// Each kind answers from its own box only: every other box says Skip.
TEST_P(ElementMapping, KindUsesItsOwnChoiceBox) {
  for (int choice : {kChoiceProcess, kChoiceLeaveSpace, kChoiceSkip}) {
    TChoices c;
    c.fill(kChoiceSkip);
    for (const TkwElementKindName& k : kElementKindNames) {
      if (k.Key == GetParam().Key) c[KindIndex(k.Kind)] = choice;
    }
    TkwAction a = TkwAction::acLeaveSpace;
    ApplyElementChoice(true, c, GetParam().Kind, a);
    EXPECT_EQ(a, *ActionForChoice(choice)) << GetParam().Kind;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ElementMapping,
                         ::testing::Values(MappingCase{0, "Page"}, MappingCase{1, "HSection"},
                                           MappingCase{2, "Column"}, MappingCase{3, "Paragraph"},
                                           MappingCase{4, "TextLine"}, MappingCase{5, "Text"},
                                           MappingCase{6, "Image"}, MappingCase{7, "Table"},
                                           MappingCase{8, "Row"}, MappingCase{9, "Shape"}));

TEST(ElementMappingRules, IndexToActionAndWhatLeavesTheProposalAlone) {
  EXPECT_EQ(ActionForChoice(0), TkwAction::acRetain);
  EXPECT_EQ(ActionForChoice(1), TkwAction::acLeaveSpace);
  EXPECT_EQ(ActionForChoice(2), TkwAction::acDelete);
  EXPECT_FALSE(ActionForChoice(3));
  TChoices skipAll;
  skipAll.fill(kChoiceSkip);
  for (int kind : {0, 3, 6}) {  // custom processing off
    TkwAction a = TkwAction::acLeaveSpace;
    ApplyElementChoice(false, skipAll, kind, a);
    EXPECT_EQ(a, TkwAction::acLeaveSpace);
  }
  for (int kind : {-1, 10, 255}) {  // no box for the kind
    TkwAction a = TkwAction::acLeaveSpace;
    ApplyElementChoice(true, skipAll, kind, a);
    EXPECT_EQ(a, TkwAction::acLeaveSpace);
  }
}

TEST(JobText, ElapsedWrapsAfterAnHour) {
  EXPECT_EQ(ElapsedCaption(0), QStringLiteral("Time elapsed: 00:00"));
  EXPECT_EQ(ElapsedCaption(65), QStringLiteral("Time elapsed: 01:05"));
  EXPECT_EQ(FormatElapsed(3599), QStringLiteral("59:59"));
  EXPECT_EQ(FormatElapsed(3600), QStringLiteral("00:00"));
  EXPECT_EQ(FormatElapsed(3725), QStringLiteral("02:05"));
}

TEST(JobText, OutputNames) {
  EXPECT_EQ(EffectiveOutputName(QStringLiteral("/d/report")), QStringLiteral("/d/report.rtf"));
  EXPECT_EQ(EffectiveOutputName(QStringLiteral("/d/report.doc")), QStringLiteral("/d/report.doc"));
  EXPECT_EQ(EffectiveOutputName(QStringLiteral("/d.x/report")), QStringLiteral("/d.x/report.rtf"));
  EXPECT_EQ(EffectiveOutputName(QStringLiteral("  ")), QStringLiteral("  "));
  EXPECT_EQ(ChangeFileExt(QStringLiteral("/a/b.c.PDF"), QStringLiteral(".rtf")),
            QStringLiteral("/a/b.c.rtf"));
  EXPECT_EQ(ChangeFileExt(QStringLiteral("/a.b/c"), QStringLiteral(".rtf")),
            QStringLiteral("/a.b/c.rtf"));
}

TEST(JobText, BatchNamesNeverCollide) {
  TBatchNames names;
  EXPECT_EQ(names.Next(QStringLiteral("/out"), QStringLiteral("a.pdf")), QStringLiteral("/out/a.rtf"));
  EXPECT_EQ(names.Next(QStringLiteral("/out/"), QStringLiteral("b.PDF")), QStringLiteral("/out/b.rtf"));
  EXPECT_EQ(names.Next(QStringLiteral("/out"), QStringLiteral("a.pdf")),
            QStringLiteral("/out/a (2).rtf"));
  EXPECT_EQ(names.Next(QStringLiteral("/out"), QStringLiteral("a.pdf")),
            QStringLiteral("/out/a (3).rtf"));
}

struct PageListCase {
  const char* List;
  int Pages;            // 0: not known yet
  const char* Problem;  // empty: the list is good
};

class PageList : public ::testing::TestWithParam<PageListCase> {};

// The page list is checked as it is typed: the reason shown beside the field.
TEST_P(PageList, ReasonBesideTheField) {
  const PageListCase& c = GetParam();
  const std::optional<int> pages = c.Pages > 0 ? std::optional<int>(c.Pages) : std::nullopt;
  EXPECT_EQ(PageListProblem(QString::fromLatin1(c.List), pages), QString::fromLatin1(c.Problem))
      << c.List << " of " << c.Pages;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PageList,
    ::testing::Values(PageListCase{"", 3, ""}, PageListCase{"   ", 3, ""},
                      PageListCase{"1,3, 5-9", 12, ""}, PageListCase{"2 3", 3, ""},
                      PageListCase{"99", 3, "page 99 is beyond the last page (3)"},
                      PageListCase{"99", 0, ""},
                      PageListCase{"1-12", 3, "page 12 is beyond the last page (3)"},
                      PageListCase{"x", 3, "'x' is not a page number"},
                      PageListCase{"1,x2", 0, "'x2' is not a page number"},
                      PageListCase{"1,,3", 3, "an item between two commas is empty"},
                      PageListCase{"1,", 3, "an item between two commas is empty"},
                      PageListCase{"5-", 9, "'5-' is not a page range (write ranges as 5-9)"},
                      PageListCase{"5 - 9", 9, "'-' is not a page range (write ranges as 5-9)"},
                      PageListCase{"0", 3, "there is no page 0; the first page is 1"},
                      PageListCase{"9-5", 9, "'9-5' runs backwards (write 5-9)"},
                      PageListCase{"99999999999", 0, "page 99999999999 is too large"}));

struct FailureCase {
  const char* Name;
  const char* Engine;     // the engine's message
  bool Started;           // the engine had opened the PDF
  const char* Input;      // in the test folder; "-" for an existing PDF there
  const char* Output;     // in the test folder
  const char* Message;    // %1 the input, %2 the output's folder, %3 the output
  TJobOutcome Outcome;
};

class FailureWords : public ::testing::TestWithParam<FailureCase> {};

// Plain words that name the file or folder and the reason; the engine's words stay as
// details.
TEST_P(FailureWords, NameTheFileAndTheReason) {
  const FailureCase& c = GetParam();
  QTemporaryDir dir;
  const QString existing = dir.filePath(QStringLiteral("in.pdf"));
  QFile f(existing);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("%PDF-1.4");
  f.close();
  TJobRequest r;
  r.InputFileName = std::string_view(c.Input) == "-" ? existing : dir.filePath(QString::fromLatin1(c.Input));
  r.OutputFileName = dir.filePath(QString::fromLatin1(c.Output));
  r.PageRange = QStringLiteral("1,,3");
  const TJobResult result = DescribeFailure(r, c.Engine, c.Started);
  const QString out = EffectiveOutputName(r.OutputFileName);
  EXPECT_EQ(result.Message, QString::fromUtf8(c.Message)
                                .replace(QStringLiteral("%1"), r.InputFileName)
                                .replace(QStringLiteral("%2"), QFileInfo(out).absolutePath())
                                .replace(QStringLiteral("%3"), out));
  EXPECT_EQ(result.Details, QString::fromLatin1(c.Engine));
  EXPECT_EQ(result.Outcome, c.Outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureWords,
    ::testing::Values(
        FailureCase{"Missing", "Cannot open file", false, "gone.pdf", "x.rtf",
                    "The source PDF \u201C%1\u201D does not exist.", TJobOutcome::joFailed},
        FailureCase{"NotAPdf", "startxref not found", false, "-", "x.rtf",
                    "\u201C%1\u201D is not a readable PDF file.", TJobOutcome::joFailed},
        FailureCase{"BrokenPage", "Invalid object", true, "-", "x.rtf",
                    "The conversion of \u201C%1\u201D failed.", TJobOutcome::joFailed},
        FailureCase{"NoFolder", "Cannot create file \"x\". No such file or directory", true, "-",
                    "nowhere/x.rtf",
                    "The folder \u201C%2\u201D does not exist, so \u201Cx.rtf\u201D cannot be written there.",
                    TJobOutcome::joFailed},
        FailureCase{"WriteFailed", "Cannot write file \"x\". No space left on device", true, "-", "x",
                    "The RTF file \u201C%3\u201D could not be written.", TJobOutcome::joFailed},
        FailureCase{"BadRange", "'''' is not a valid integer value", true, "-", "x.rtf",
                    "The page list \u201C1,,3\u201D is not valid.", TJobOutcome::joFailed},
        FailureCase{"Memory", "Out of memory", true, "-", "x.rtf",
                    "There was not enough memory to convert \u201C%1\u201D.", TJobOutcome::joFailed},
        FailureCase{"Password", kPasswordRequiredMessage, false, "-", "x.rtf",
                    "\u201C%1\u201D is protected by a password, and the right one was not given.",
                    TJobOutcome::joPasswordNeeded}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

class JobRunnerTest : public ::testing::Test {
protected:
  TJobOptions Single(const QString& APages = {}) {
    TJobOptions o;
    o.Source = Dir.filePath(QStringLiteral("in.pdf"));
    o.Destination = Dir.filePath(QStringLiteral("out"));
    o.Pages = APages;
    QFile f(o.Source);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4");
    return o;
  }
  QTemporaryDir Dir;
  TRecordingSink Sink;
  TJobCancel Cancel;
};

TEST_F(JobRunnerTest, OnePageLogsTheWholeJob) {
  TFakeScript script;
  script.PageCount = 3;
  script.SelectedPages = 1;
  const TJobOptions o = Single(QStringLiteral("2"));
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_TRUE(runner.RunSingle(o));
  const QString out = Dir.filePath(QStringLiteral("out.rtf"));
  const std::vector<Line> expected = {
      {QStringLiteral("File #1 (3 pages)"), kBlack},
      {QStringLiteral("In: ") + o.Source, kBlack},
      {QStringLiteral("Out: ") + out, kBlack},
      {QStringLiteral("Conversion started..."), kGreen},
      {QStringLiteral("2 objects processed."), kGreen},
      {QStringLiteral("Done. 1 page converted."), kGreen}};
  EXPECT_EQ(Sink.Lines, expected);
  EXPECT_EQ(Sink.Maximum, 1);
  EXPECT_EQ(Sink.Steps, 1);
  EXPECT_EQ(Sink.Objects, 2);
  ASSERT_EQ(Sink.Finished.size(), 1u);
  EXPECT_EQ(Sink.Finished[0], std::make_pair(1, out));
}

TEST_F(JobRunnerTest, CountsAndDoneLineByPages) {
  for (int pages : {0, 5}) {
    TFakeScript script;
    script.PageCount = 5;
    script.SelectedPages = pages;
    Sink.Lines.clear();
    TJobRunner runner(FakeFactory(script), Sink, Cancel);
    EXPECT_TRUE(runner.RunSingle(Single()));
    ASSERT_GE(Sink.Lines.size(), 2u);
    const Line last = Sink.Lines.back();
    if (pages == 0) {
      EXPECT_EQ(last, (Line{QStringLiteral("Done. No pages converted."), kRed}));
      EXPECT_EQ(Sink.Lines[Sink.Lines.size() - 2].Text, QStringLiteral("0 objects processed."));
    } else {
      EXPECT_EQ(last, (Line{QStringLiteral("Done. 5 pages converted."), kGreen}));
      EXPECT_EQ(Sink.Lines[Sink.Lines.size() - 2].Text, QStringLiteral("10 objects processed."));
    }
  }
}

TEST_F(JobRunnerTest, ErrorIsLoggedInRedAndTheJobDoesNotFinish) {
  TFakeScript script;
  script.Throw = "''x'' is not a valid integer value";
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Single(QStringLiteral("x-"))));
  const std::vector<Line> expected = {{QStringLiteral("The page list \u201Cx-\u201D is not valid."), kRed},
                                      {QStringLiteral("Details: ''x'' is not a valid integer value"), kBlack}};
  EXPECT_EQ(Sink.Lines, expected);
  EXPECT_TRUE(Sink.Finished.empty());
  EXPECT_EQ(runner.Result().Outcome, TJobOutcome::joFailed);
}

TEST_F(JobRunnerTest, OutOfMemoryIsLoggedInWordsAndTheJobDoesNotFinish) {
  TFakeScript script;
  script.BeforePage = [](int) { throw std::bad_alloc(); };
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Single()));
  ASSERT_FALSE(Sink.Lines.empty());
  ASSERT_GE(Sink.Lines.size(), 2u);
  EXPECT_EQ(Sink.Lines[Sink.Lines.size() - 2],
            (Line{QStringLiteral("There was not enough memory to convert \u201C%1\u201D.").arg(Single().Source), kRed}));
  EXPECT_EQ(Sink.Lines.back(), (Line{QStringLiteral("Details: Out of memory"), kBlack}));
  EXPECT_TRUE(Sink.Finished.empty());
}

TEST_F(JobRunnerTest, MissingEngineIsAnErrorNotACrash) {
  TJobRunner runner([] { return std::unique_ptr<TJobConverter>(); }, Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Single()));
  ASSERT_EQ(Sink.Lines.size(), 2u);
  EXPECT_EQ(Sink.Lines[0].Colour, kRed);
  EXPECT_EQ(Sink.Lines[1].Text, QStringLiteral("Details: The conversion engine is not available."));
}

TEST_F(JobRunnerTest, CustomChoicesAnswerTheElements) {
  std::vector<TkwAction> actions;
  TFakeScript script;
  script.Kinds = {3, 6, 4, 7};
  script.ElementsPerPage = 4;
  script.Actions = &actions;
  TJobOptions o = Single();
  o.Custom = true;
  o.Choices = PresetImagesOnly();
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_TRUE(runner.RunSingle(o));
  using enum TkwAction;
  EXPECT_EQ(actions, (std::vector<TkwAction>{acDelete, acRetain, acDelete, acDelete}));
  actions.clear();
  o.Custom = false;
  EXPECT_TRUE(runner.RunSingle(o));
  EXPECT_EQ(actions, (std::vector<TkwAction>{acRetain, acRetain, acRetain, acRetain}));
}

TEST_F(JobRunnerTest, BatchFilesGetTheirNumberAndABlankLine) {
  TJobOptions o;
  o.Batch = true;
  o.DestFolder = Dir.filePath(QStringLiteral("out"));
  QDir().mkpath(o.DestFolder);
  for (const char* n : {"a.pdf", "b.pdf", "c.pdf"}) {
    o.Files.push_back({QString::fromLatin1(n), QStringLiteral("/src/") + QString::fromLatin1(n)});
  }
  TBatchNames names;
  TJobRunner runner(FakeFactory(TFakeScript{}), Sink, Cancel);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(runner.RunBatchFile(o, i, names));
  EXPECT_FALSE(runner.RunBatchFile(o, 3, names));
  ASSERT_EQ(Sink.Lines.size(), 21u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Sink.Lines[i * 7].Text, QStringLiteral("File #%1 (1 pages)").arg(i + 1));
    EXPECT_EQ(Sink.Lines[i * 7 + 2].Text,
              QStringLiteral("Out: ") + o.DestFolder + u'/' + QChar(u'a' + i) + QStringLiteral(".rtf"));
    EXPECT_EQ(Sink.Lines[i * 7 + 6], (Line{QString(), kBlack}));
  }
}

// A job never reports success without its file: no destination is refused before the
// engine runs, and an engine that ends without writing is a failure.
TEST_F(JobRunnerTest, SuccessOnlyWithTheFileWritten) {
  TJobRunner runner(FakeFactory(TFakeScript{}), Sink, Cancel);
  TJobOptions o = Single();
  o.Destination = QStringLiteral("  ");
  EXPECT_FALSE(runner.RunSingle(o));
  EXPECT_EQ(Sink.Lines, (std::vector<Line>{{QStringLiteral("No destination file was given."), kRed}}));
  EXPECT_TRUE(Sink.Finished.empty());

  Sink.Lines.clear();
  TFakeScript silent;
  silent.WriteOutput = false;
  TJobRunner quiet(FakeFactory(silent), Sink, Cancel);
  EXPECT_FALSE(quiet.RunSingle(Single()));
  EXPECT_EQ(quiet.Result().Outcome, TJobOutcome::joFailed);
  EXPECT_EQ(Sink.Lines.back(),
            (Line{QStringLiteral("The conversion ended, but \u201C%1\u201D was not written.")
                      .arg(Dir.filePath(QStringLiteral("out.rtf"))),
                  kRed}));
  EXPECT_TRUE(Sink.Finished.empty());
}

TEST_F(JobRunnerTest, OutputOverTheSourceIsRefused) {
  TJobOptions o = Single();
  o.Destination = o.Source;
  TJobRunner runner(FakeFactory(TFakeScript{}), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(o));
  ASSERT_EQ(Sink.Lines.size(), 1u);
  EXPECT_EQ(Sink.Lines[0], (Line{QStringLiteral("The destination \u201C%1\u201D is the source PDF itself; "
                                                "choose another name.").arg(o.Source), kRed}));
  QFile f(o.Source);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("%PDF-1.4"));
}

TEST_F(JobRunnerTest, AbortBetweenPagesLeavesNoPartialFile) {
  TFakeScript script;
  script.PageCount = 4;
  script.BeforePage = [this](int APage) {
    if (APage == 2) Cancel.Request();
  };
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Single()));
  EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("out.rtf"))));
  EXPECT_EQ(Sink.Steps, 2);
  EXPECT_EQ(Sink.Lines.back(), (Line{QStringLiteral("Aborted: nothing was written"), kRed}));
  EXPECT_TRUE(Sink.Finished.empty());
  EXPECT_EQ(runner.Result().Outcome, TJobOutcome::joAborted);
}

TEST_F(JobRunnerTest, AbortKeepsAnUntouchedEarlierFile) {
  TFakeScript script;
  script.PageCount = 2;
  script.WriteOutput = false;
  script.BeforePage = [this](int) { Cancel.Request(); };
  const TJobOptions o = Single();
  QFile old(Dir.filePath(QStringLiteral("out.rtf")));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("{\\rtf1 old}");
  old.close();
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(o));
  EXPECT_TRUE(QFile::exists(Dir.filePath(QStringLiteral("out.rtf"))));
  EXPECT_EQ(Sink.Lines.back(),
            (Line{QStringLiteral("Aborted: nothing was written; the existing file is unchanged"), kRed}));
}

struct PasswordCase {
  const char* Name;
  bool Batch;
  const char* Known;                 // from validation, or empty
  std::vector<std::string> Answers;  // the user's answers in order
  int Asked;
  bool Converted;
  std::vector<bool> WrongBefore;
};

class JobPassword : public JobRunnerTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(JobPassword, AsksUntilRightOrGivenUp) {
  const PasswordCase& c = GetParam();
  TFakeScript script;
  script.Password = "secret";
  TJobOptions o = Single();
  if (*c.Known) o.Passwords[o.Source] = c.Known;
  Sink.Answers = c.Answers;
  TJobRunner runner(FakeFactory(script), Sink, Cancel);
  TBatchNames names;
  bool ok = false;
  if (c.Batch) {
    o.Batch = true;
    o.DestFolder = Dir.path();
    o.Files.push_back({QStringLiteral("in.pdf"), o.Source});
    ok = runner.RunBatchFile(o, 0, names);
  } else {
    ok = runner.RunSingle(o);
  }
  EXPECT_EQ(ok, c.Converted);
  EXPECT_EQ(Sink.Asked, c.Asked);
  // Every question after a password that did not open the file says so.
  EXPECT_EQ(Sink.WrongBefore, c.WrongBefore);
  if (!c.Converted) {
    EXPECT_EQ(runner.Result().Outcome, TJobOutcome::joPasswordNeeded);
    const Line said{QStringLiteral("\u201C%1\u201D is protected by a password, and the right one was not given.").arg(o.Source), kRed};
    EXPECT_NE(std::find(Sink.Lines.begin(), Sink.Lines.end(), said), Sink.Lines.end());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JobPassword,
    ::testing::Values(PasswordCase{"KnownFromValidation", false, "secret", {}, 0, true, {}},
                      PasswordCase{"RightAtOnce", false, "", {"secret"}, 1, true, {false}},
                      PasswordCase{"WrongThenRight", false, "", {"no", "secret"}, 2, true, {false, true}},
                      PasswordCase{"WrongTwiceThenRight", false, "", {"no", "nope", "secret"}, 3, true,
                                   {false, true, true}},
                      PasswordCase{"Cancel", false, "", {}, 1, false, {false}},
                      PasswordCase{"WrongThenCancel", false, "", {"no"}, 2, false, {false, true}},
                      PasswordCase{"StaleKnownThenAsk", false, "old", {"secret"}, 1, true, {true}},
                      PasswordCase{"BatchAsksOnce", true, "", {"no", "secret"}, 1, false, {false}},
                      PasswordCase{"BatchRight", true, "", {"secret"}, 1, true, {false}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// An engine that refuses a password without asking again ends the job: the runner retries
// only when the engine asked and was given one.
TEST_F(JobRunnerTest, ARefusalWithoutAQuestionEndsTheJob) {
  struct TAsksOnce final : TJobConverter {
    int* Attempts;
    explicit TAsksOnce(int* AAttempts) : Attempts(AAttempts) {}
    void Convert(const TJobRequest&, const TJobEvents& AEvents) override {
      if ((*Attempts)++ == 0) {
        std::string pw;
        AEvents.OnNeedPassword(pw);
      }
      throw std::runtime_error(kPasswordRequiredMessage);
    }
    void Cancel() noexcept override {}
  };
  int attempts = 0;
  Sink.Answers = {"one", "two", "three"};
  TJobRunner runner([&attempts] { return std::make_unique<TAsksOnce>(&attempts); }, Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Single()));
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(Sink.Asked, 1);
  EXPECT_EQ(runner.Result().Outcome, TJobOutcome::joPasswordNeeded);
}

class BatchRunTest : public JobRunnerTest {
protected:
  // Files named after AInputs, from their own folders, into Dir/out.
  TJobOptions BatchOf(const std::vector<const char*>& AInputs) {
    TJobOptions o;
    o.Batch = true;
    o.DestFolder = Dir.filePath(QStringLiteral("out"));
    QDir().mkpath(o.DestFolder);
    for (const char* path : AInputs) {
      const QString p = QString::fromLatin1(path);
      o.Files.push_back({p.mid(p.lastIndexOf(u'/') + 1), p});
    }
    return o;
  }
};

// Whatever order the files end in, the sink sees what one-by-one conversion shows: every
// file's block whole, in input order, and names decided in input order.
TEST_F(BatchRunTest, LogIsTheSameAsOneByOne) {
  const TJobOptions o = BatchOf({"/s/slow.pdf", "/s/b.pdf", "/x/a.pdf", "/y/a.pdf"});
  TRecordingSink oneByOne;
  {
    TBatchNames names;
    TJobRunner runner(FakeFactory(TFakeScript{}), oneByOne, Cancel);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(runner.RunBatchFile(o, i, names));
  }
  // The first file holds its worker until the other three have ended.
  auto ended = std::make_shared<std::atomic<int>>(0);
  TFakeScript script;
  script.BeforePageOf = [ended](const QString& AInput, int) {
    if (!AInput.endsWith(QStringLiteral("slow.pdf"))) return;
    for (int i = 0; i < 1000 && ended->load() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  TJobConverterFactory counting = [script, ended] {
    struct TCounting final : TJobConverter {
      TCounting(TFakeScript AScript, std::shared_ptr<std::atomic<int>> AEnded)
          : Fake(std::move(AScript)), Ended(std::move(AEnded)) {}
      void Convert(const TJobRequest& ARequest, const TJobEvents& AEvents) override {
        Fake.Convert(ARequest, AEvents);
        ++*Ended;
      }
      void Cancel() noexcept override { Fake.Cancel(); }
      test::TFakeConverter Fake;
      std::shared_ptr<std::atomic<int>> Ended;
    };
    return std::make_unique<TCounting>(script, ended);
  };
  TBatchRun run(counting, Sink, 2);
  std::atomic<int> finished{0};
  run.Start(o, [&] { ++finished; });
  run.Wait();
  EXPECT_EQ(finished.load(), 1);
  EXPECT_EQ(run.ThreadCount(), 2u);
  EXPECT_EQ(run.Converted(), 4);
  EXPECT_EQ(Sink.Lines, oneByOne.Lines);
  EXPECT_EQ(Sink.Lines[7 * 3 + 2].Text, QStringLiteral("Out: ") + o.DestFolder + QStringLiteral("/a (2).rtf"));
  EXPECT_EQ(Sink.Objects, 4 * 2);
  ASSERT_FALSE(Sink.Shown.empty());
  EXPECT_EQ(Sink.Shown.back(), std::make_pair(4 * TBatchRun::kProgressPerFile, 4 * TBatchRun::kProgressPerFile));
  for (std::size_t i = 1; i < Sink.Shown.size(); ++i) EXPECT_GE(Sink.Shown[i].first, Sink.Shown[i - 1].first);
}

TEST_F(BatchRunTest, CancelStopsTheRunningFilesAndStartsNoOther) {
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.PageCount = 3;
  script.BeforePage = [gate](int) { gate->Wait(); };
  std::atomic<int> made{0};
  const TJobConverterFactory fake = FakeFactory(script);
  TBatchRun run([&] { ++made; return fake(); }, Sink, 2);
  run.Start(BatchOf({"/s/1.pdf", "/s/2.pdf", "/s/3.pdf", "/s/4.pdf", "/s/5.pdf"}), [] {});
  ASSERT_TRUE(test::WaitFor([&] { return gate->Waiting() == 2; }));
  run.Cancel();
  gate->Open();
  run.Wait();
  EXPECT_TRUE(run.Cancelled());
  EXPECT_EQ(made.load(), 2);
  EXPECT_EQ(run.Converted(), 0);
  // The two stopped files' blocks end in their abort.
  const auto aborted = std::count(Sink.Lines.begin(), Sink.Lines.end(), Line{QStringLiteral("Aborted: nothing was written"), kRed});
  EXPECT_EQ(aborted, 2);
  EXPECT_EQ(run.Failed(), 0);
  EXPECT_TRUE(QDir(Dir.filePath(QStringLiteral("out"))).isEmpty());
}

TEST_F(BatchRunTest, EmptyBatchFinishesAtOnce) {
  TBatchRun run(FakeFactory(TFakeScript{}), Sink, 2);
  int finished = 0;
  run.Start(BatchOf({}), [&] { ++finished; });
  run.Wait();
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(Sink.Lines.empty());
}

}  // namespace
}  // namespace qm
