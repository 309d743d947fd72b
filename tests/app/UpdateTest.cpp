#include "app/UpdateCheck.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/WebData.h"
#include "app/MainWindow.h"
#include "tests/app/AppTestSupport.h"

namespace qm {
namespace {

struct VersionCase {
  const char* Text;
  int Number;  // -1: does not read
};

class VersionNumberTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionNumberTest, ReadsTheDigitPositions) {
  const std::optional<int> n = VersionNumber(QString::fromLatin1(GetParam().Text));
  if (GetParam().Number < 0) {
    EXPECT_FALSE(n.has_value());
  } else {
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(*n, GetParam().Number);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionNumberTest,
    ::testing::Values(VersionCase{"1.1", 1100}, VersionCase{"1.2", 1200},
                      VersionCase{"1.0.9", 1090}, VersionCase{"2.0.0.1", 2001},
                      VersionCase{"1.2.0", 1200}, VersionCase{"1.2\n", -1},
                      VersionCase{"1.2\r\n", -1}, VersionCase{"1", -1}, VersionCase{"", -1},
                      VersionCase{"a.b", -1}, VersionCase{"1.10", -1},
                      VersionCase{"<html>", -1}));

struct NewerCase {
  const char* Remote;
  bool Prompt;
};

class IsNewerTest : public ::testing::TestWithParam<NewerCase> {};

TEST_P(IsNewerTest, AgainstTheProgramVersion) {
  EXPECT_EQ(IsNewerVersion(QString::fromLatin1(GetParam().Remote), QStringLiteral("1.1")),
            GetParam().Prompt);
}

INSTANTIATE_TEST_SUITE_P(Texts, IsNewerTest,
                         ::testing::Values(NewerCase{"1.1", false}, NewerCase{"1.2", true},
                                           NewerCase{"1.0.9", false}, NewerCase{"2.0.0.1", true},
                                           NewerCase{"1.2\n", false}, NewerCase{"", false},
                                           NewerCase{"1.1.0.1", true}));

TEST(UpdateCheck, ProgramVersionAndPrompt) {
  EXPECT_EQ(ProgramVersion(), QStringLiteral("1.1"));
  EXPECT_EQ(UpdatePromptText(QStringLiteral("1.2")),
            QStringLiteral("A new version is available: 1.2\n\nDo you want to visit the download "
                           "page now?"));
}

TEST(UpdateCheck, MarkersFindTheValueInOrder) {
  EXPECT_EQ(ExtractMarkedValue(QStringLiteral("abc"), {}, {}, {}), QStringLiteral("abc"));
  EXPECT_EQ(ExtractMarkedValue(QStringLiteral("x<v>id=1.2;</v>"), QStringLiteral("<v>"),
                               QStringLiteral("id="), QStringLiteral(";")),
            QStringLiteral("1.2"));
  EXPECT_FALSE(ExtractMarkedValue(QStringLiteral("id=1.2;<v>"), QStringLiteral("<v>"),
                                  QStringLiteral("id="), QStringLiteral(";")));
}

// A one-answer HTTP server on 127.0.0.1 that counts its requests.
class TTinyHttpServer {
public:
  TTinyHttpServer(int AStatus, QByteArray ABody) : FStatus(AStatus), FBody(std::move(ABody)) {
    EXPECT_TRUE(FServer.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = FServer.nextPendingConnection()) {
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
          FRequest += s->readAll();
          if (!FRequest.contains("\r\n\r\n")) return;
          ++FRequests;
          s->write("HTTP/1.1 " + QByteArray::number(FStatus) + " X\r\nContent-Length: " +
                   QByteArray::number(FBody.size()) + "\r\nConnection: close\r\n\r\n" + FBody);
          s->disconnectFromHost();
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      }
    });
  }
  QString Url() const {
    return QStringLiteral("http://127.0.0.1:%1/upd_quillmark.ini").arg(FServer.serverPort());
  }
  int Requests() const { return FRequests; }
  const QByteArray& Request() const { return FRequest; }

private:
  QTcpServer FServer;
  int FStatus;
  QByteArray FBody;
  QByteArray FRequest;
  int FRequests = 0;
};

struct Prompts {
  std::vector<QString> Texts;
  std::vector<QUrl> Opened;
};

// Shows a main window whose settings point the update check at AUrl; returns the prompts.
Prompts RunCheck(const QString& AUrl, bool AEnabled = true, bool AAnswerYes = true) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("Quillmark.ini"));
  QFile f(ini);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QStringLiteral("[General]\nUpdate=%1\nUpdateURL=%2\nDownloadURL=http://127.0.0.1:1/dl\n")
              .arg(AEnabled ? 1 : 0)
              .arg(AUrl)
              .toUtf8());
  f.close();
  Prompts p;
  TMainServices s;
  s.SettingsPath = ini;
  s.AskYesNo = [&p, AAnswerYes](QWidget*, const QString& ATitle, const QString& AText) {
    EXPECT_EQ(ATitle, QStringLiteral("Update"));
    p.Texts.push_back(AText);
    return AAnswerYes;
  };
  s.OpenUrl = [&p](const QUrl& AUrl) { p.Opened.push_back(AUrl); };
  Tfrm_Main w(s);
  w.show();
  if (AEnabled) {
    EXPECT_TRUE(test::WaitFor([&] { return w.WebData() != nullptr && !w.WebData()->Running(); }));
  } else {
    test::WaitFor([] { return false; }, 100);
    EXPECT_EQ(w.WebData(), nullptr);
  }
  return p;
}

struct ServerCase {
  const char* Name;
  int Status;
  const char* Body;
  bool Prompt;
};

class UpdateServerTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(UpdateServerTest, PromptsOnlyForANewerVersion) {
  TTinyHttpServer server(GetParam().Status, GetParam().Body);
  const Prompts p = RunCheck(server.Url());
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_TRUE(server.Request().contains("User-Agent: WebData")) << server.Request().constData();
  ASSERT_EQ(p.Texts.size(), GetParam().Prompt ? 1u : 0u);
  if (GetParam().Prompt) {
    EXPECT_EQ(p.Texts[0], UpdatePromptText(QString::fromLatin1(GetParam().Body)));
    ASSERT_EQ(p.Opened.size(), 1u);
    EXPECT_EQ(p.Opened[0], QUrl(QStringLiteral("http://127.0.0.1:1/dl")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UpdateServerTest,
    ::testing::Values(ServerCase{"Same", 200, "1.1", false}, ServerCase{"Minor", 200, "1.2", true},
                      ServerCase{"Older", 200, "1.0.9", false},
                      ServerCase{"FourParts", 200, "2.0.0.1", true},
                      ServerCase{"TrailingLineBreak", 200, "1.2\n", false},
                      ServerCase{"NotFound", 404, "9.9", false},
                      ServerCase{"Redirect", 301, "9.9", false},
                      ServerCase{"ServerErrorStillRead", 500, "1.2", true},
                      ServerCase{"Empty", 200, "", false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(UpdateCheck, NoPromptWhenNothingAnswers) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const quint16 port = closed.serverPort();
  closed.close();
  EXPECT_TRUE(RunCheck(QStringLiteral("http://127.0.0.1:%1/upd_quillmark.ini").arg(port))
                  .Texts.empty());
}

TEST(UpdateCheck, OffMeansNoRequest) {
  TTinyHttpServer server(200, "9.9");
  EXPECT_TRUE(RunCheck(server.Url(), false).Texts.empty());
  EXPECT_EQ(server.Requests(), 0);
}

TEST(UpdateCheck, AnswerNoOpensNothing) {
  TTinyHttpServer server(200, "1.2");
  const Prompts p = RunCheck(server.Url(), true, false);
  EXPECT_EQ(p.Texts.size(), 1u);
  EXPECT_TRUE(p.Opened.empty());
}

}  // namespace
}  // namespace qm
