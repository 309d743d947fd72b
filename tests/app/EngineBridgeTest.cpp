#include "app/ConverterBridge.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "base/kwDiagnostics.h"
#include "converter/kwConverterFactory.h"
#include "converter/kwDocumentParser.h"
#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

// The application's jobs through the real converter component, with a parser that plays a
// document so that the job does not depend on the PDF reader.
namespace qm {
namespace {

struct TPlayedDoc {
  int Pages = 3;
  std::vector<int> Kinds{3, 6};  // element kinds reported on every page
  std::string Password;
  std::vector<TkwAction> Actions;
  std::vector<std::pair<int, TkwDiagCode>> Notes;  // page (0 while opening) and code
  bool FailAfterOpen = false;
  QString Output;  // written when every page has run, as the RTF writer writes its file
};

class TPlayedParser final : public TkwDocumentParser {
public:
  TPlayedParser(TkwFormatter* AFormatter, std::shared_ptr<TPlayedDoc> ADoc)
      : TkwDocumentParser(AFormatter), FDoc(std::move(ADoc)) {}

  int PageCount() const override { return FDoc->Pages; }
  int ConvertedPageCount() const override { return FConverted; }
  int SelectedPageCount() const override { return FSelected; }

  void Open(const std::string& AFileName, const std::string& APassword) override {
    if (!QFile::exists(QString::fromStdString(AFileName))) throw std::runtime_error("Invalid PDF");
    if (!FDoc->Password.empty() && APassword != FDoc->Password) {
      std::string pw = APassword;
      if (FOnNeedPassword) FOnNeedPassword(*this, pw);
      if (pw != FDoc->Password) throw std::runtime_error(kPasswordRequiredMessage);
    }
    for (const auto& [page, code] : FDoc->Notes) {
      if (page == 0 && FDiag) FDiag->Note(code);
    }
    if (FDoc->FailAfterOpen) throw std::runtime_error("Invalid PDF");
    FSelected = 0;
    for (int p = 1; p <= FDoc->Pages; ++p) {
      if (IsPageSelected(p)) ++FSelected;
    }
  }
  void Open(TkwRef<TkwBaseStream>, const std::string&) override {
    throw std::runtime_error("unused");
  }
  void Run() override {
    FConverted = 0;
    for (int p = 1; p <= FDoc->Pages; ++p) {
      if (!IsPageRangeBlank() && !IsPageSelected(p)) continue;
      ++FConverted;
      DoPageStart(p);
      if (FDiag) FDiag->SetPage(p);
      for (const auto& [page, code] : FDoc->Notes) {
        if (page == p && FDiag) FDiag->Note(code);
      }
      for (int kind : FDoc->Kinds) {
        TkwFormatterText element;
        element.ElementType = static_cast<std::uint8_t>(kind);
        TkwAction action = TkwAction::acRetain;
        if (FFormatter->OnElementDetected) FFormatter->OnElementDetected(*FFormatter, element, action);
        FDoc->Actions.push_back(action);
      }
      if (FFormatter->OnProgress) FFormatter->OnProgress(*FFormatter, p);
      if (FFormatter->OnEndPage) FFormatter->OnEndPage(*FFormatter, p);
    }
    QFile f(FDoc->Output);
    if (f.open(QIODevice::WriteOnly)) f.write("{\\rtf1}");
  }
  void Close() override {}

private:
  std::shared_ptr<TPlayedDoc> FDoc;
  int FSelected = 0;
  int FConverted = 0;
};

class TLines final : public TJobSink {
public:
  void Log(const QString& AText, TLogColour AColour) override {
    Texts.append(AText);
    Colours.push_back(AColour);
  }
  void StartProgress(int AMaximum) override { Maximum = AMaximum; }
  void StepProgress() override { ++Steps; }
  void ObjectsFound(int ACount) override { Objects = ACount; }
  void JobFinished(int, const QString&) override { ++Finished; }
  std::optional<std::string> AskPassword(const QString&, bool AWrongBefore) override {
    WrongBefore.push_back(AWrongBefore);
    ++Asked;
    return std::string("secret");
  }
  QStringList Texts;
  std::vector<TLogColour> Colours;
  int Maximum = -1, Steps = 0, Objects = 0, Finished = 0, Asked = 0;
  std::vector<bool> WrongBefore;
};

class EngineBridge : public ::testing::Test {
protected:
  EngineBridge() {
    Source = Dir.filePath(QStringLiteral("doc.pdf"));
    QFile f(Source);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n");
  }
  TJobConverterFactory Factory() {
    auto doc = Doc;
    doc->Output = Dir.filePath(QStringLiteral("doc.rtf"));
    TEngineFactoryMaker maker = [doc] {
      return std::make_unique<TkwConverterFactory>(
          [](std::uint8_t) { return std::make_unique<TkwDocumentWriter>(); },
          [](TkwDocumentWriter& AWriter) { return std::make_unique<TkwFormatter>(AWriter); },
          [doc](TkwFormatter* AFormatter) {
            return std::make_unique<TPlayedParser>(AFormatter, doc);
          });
    };
    return [maker] { return MakeEngineConverter(maker); };
  }
  TJobOptions Options(const QString& APages) {
    TJobOptions o;
    o.Source = Source;
    o.Destination = Dir.filePath(QStringLiteral("doc"));
    o.Pages = APages;
    return o;
  }

  QTemporaryDir Dir;
  QString Source;
  std::shared_ptr<TPlayedDoc> Doc = std::make_shared<TPlayedDoc>();
  TLines Sink;
  TJobCancel Cancel;
};

TEST_F(EngineBridge, OnePageOfThreeWithCustomChoices) {
  TJobOptions o = Options(QStringLiteral("2"));
  o.Custom = true;
  o.Choices = PresetImagesOnly();
  TJobRunner runner(Factory(), Sink, Cancel);
  ASSERT_TRUE(runner.RunSingle(o)) << Sink.Texts.join(u'|').toStdString();
  const QStringList expected = {QStringLiteral("File #1 (3 pages)"),
                                QStringLiteral("In: ") + Source,
                                QStringLiteral("Out: ") + Dir.filePath(QStringLiteral("doc.rtf")),
                                QStringLiteral("Conversion started..."),
                                QStringLiteral("2 objects processed."),
                                QStringLiteral("Done. 1 page converted.")};
  EXPECT_EQ(Sink.Texts, expected);
  EXPECT_EQ(Sink.Maximum, 1);
  EXPECT_EQ(Sink.Steps, 1);
  EXPECT_EQ(Doc->Actions, (std::vector<TkwAction>{TkwAction::acDelete, TkwAction::acRetain}));
}

// What the engine tolerated ends the file's log as warnings, one line per kind, also after a
// failure.
TEST_F(EngineBridge, TheJobsDiagnosticsEndItsLogAsWarnings) {
  Doc->Notes = {{0, TkwDiagCode::dcXRefRebuilt}, {2, TkwDiagCode::dcImageTooLarge}, {3, TkwDiagCode::dcImageTooLarge}};
  TkwDiagnostics same;
  for (const auto& [page, code] : Doc->Notes) {
    same.SetPage(page);
    same.Note(code);
  }
  const std::vector<std::string> lines = DescribeDiagnostics(same);
  ASSERT_EQ(lines.size(), 2u);
  QStringList tail;
  for (const std::string& line : lines) tail.append(QStringLiteral("Warning: ") + QString::fromStdString(line));

  TJobRunner runner(Factory(), Sink, Cancel);
  ASSERT_TRUE(runner.RunSingle(Options(QString())));
  ASSERT_GE(Sink.Texts.size(), 3);
  EXPECT_EQ(Sink.Texts.mid(Sink.Texts.size() - 3), QStringList{QStringLiteral("Done. 3 pages converted.")} + tail);
  EXPECT_EQ(Sink.Colours.back(), TLogColour::lcWarning);

  Sink.Texts.clear();
  Doc->FailAfterOpen = true;
  EXPECT_FALSE(runner.RunSingle(Options(QString())));
  const QStringList failed = {QStringLiteral("\u201C%1\u201D is not a readable PDF file.").arg(Source),
                              QStringLiteral("Details: Invalid PDF"), tail.front()};
  EXPECT_EQ(Sink.Texts, failed);
}

// The engine's words for a malformed range become the details of a plain message.
TEST_F(EngineBridge, MalformedRangeIsNamedWithTheEnginesWordsAsDetails) {
  TJobRunner runner(Factory(), Sink, Cancel);
  EXPECT_FALSE(runner.RunSingle(Options(QStringLiteral("1,,3"))));
  ASSERT_EQ(Sink.Texts.size(), 2);
  EXPECT_EQ(Sink.Texts[0], QStringLiteral("The page list \u201C1,,3\u201D is not valid."));
  EXPECT_EQ(Sink.Colours[0], TLogColour::lcRed);
  EXPECT_EQ(Sink.Texts[1], QStringLiteral("Details: '' is not a valid integer value"));
}

TEST_F(EngineBridge, PasswordGoesThroughTheConvertersEvent) {
  Doc->Password = "secret";
  TJobRunner runner(Factory(), Sink, Cancel);
  EXPECT_TRUE(runner.RunSingle(Options(QString())));
  EXPECT_EQ(Sink.Asked, 1);
  EXPECT_EQ(Sink.Texts.back(), QStringLiteral("Done. 3 pages converted."));
}

TEST_F(EngineBridge, AbortStopsTheConverterAtItsNextPage) {
  Doc->Pages = 5;
  // Abort arrives as the first page ends, the way the window's button sends it.
  struct TAbortOnStep final : TJobSink {
    TLines& Inner;
    TJobCancel& Abort;
    TAbortOnStep(TLines& AInner, TJobCancel& AAbort) : Inner(AInner), Abort(AAbort) {}
    void Log(const QString& T, TLogColour C) override { Inner.Log(T, C); }
    void StartProgress(int M) override { Inner.StartProgress(M); }
    void StepProgress() override { Inner.StepProgress(); Abort.Request(); }
    void ObjectsFound(int N) override { Inner.ObjectsFound(N); }
    void JobFinished(int N, const QString& O) override { Inner.JobFinished(N, O); }
    std::optional<std::string> AskPassword(const QString& F, bool W) override { return Inner.AskPassword(F, W); }
  } sink(Sink, Cancel);
  TJobRunner aborting(Factory(), sink, Cancel);
  EXPECT_FALSE(aborting.RunSingle(Options(QString())));
  EXPECT_EQ(Sink.Steps, 1);
  EXPECT_EQ(Doc->Actions.size(), 2u);  // the second page never started
  EXPECT_EQ(Sink.Texts.back(), QStringLiteral("Aborted: nothing was written"));
  EXPECT_EQ(Sink.Finished, 0);
  EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("doc.rtf"))));
  // The same converter code runs the next job normally.
  TJobCancel fresh;
  TJobRunner runner(Factory(), Sink, fresh);
  EXPECT_TRUE(runner.RunSingle(Options(QString())));
  EXPECT_EQ(Sink.Texts.back(), QStringLiteral("Done. 5 pages converted."));
}

TEST_F(EngineBridge, AbortBeforeTheFirstPageConvertsNothing) {
  // A request made before the converter starts is not forgotten when it starts.
  std::unique_ptr<TJobConverter> converter = Factory()();
  converter->Cancel();
  TJobEvents ev;
  int pages = 0;
  ev.OnStartPage = [&] { ++pages; };
  TJobRequest r;
  r.InputFileName = Source;
  r.OutputFileName = Dir.filePath(QStringLiteral("doc.rtf"));
  EXPECT_THROW(converter->Convert(r, ev), EJobAborted);
  EXPECT_EQ(pages, 0);
}

TEST(EngineProbe, AFileThatIsNoPdfRaises) {
  QTemporaryDir dir;
  const QString name = dir.filePath(QStringLiteral("x.pdf"));
  QFile f(name);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a pdf at all");
  f.close();
  std::unique_ptr<TPdfProbe> probe = MakeEngineProbe();
  ASSERT_TRUE(probe);
  EXPECT_ANY_THROW((void)probe->PageCount(name, nullptr));
}

}  // namespace
}  // namespace qm
