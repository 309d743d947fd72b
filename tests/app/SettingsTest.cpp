#include "app/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/IniFile.h"

namespace qm {
namespace {

QString WriteFile(const QTemporaryDir& ADir, const QByteArray& AContent) {
  const QString path = ADir.filePath(QStringLiteral("Quillmark.ini"));
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(AContent);
  return path;
}

QByteArray ReadFile(const QString& APath) {
  QFile f(APath);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

void ExpectDefaults(const TAppSettings& s) {
  EXPECT_TRUE(s.Update);
  EXPECT_TRUE(s.Tabs);
  EXPECT_FALSE(s.Open);
  EXPECT_FALSE(s.Custom);
  EXPECT_EQ(s.Choices, PresetDefault());
  EXPECT_EQ(s.UpdateURL, QStringLiteral(QM_DEFAULT_UPDATE_URL));
}

TEST(Settings, MissingFileGivesDefaults) {
  QTemporaryDir dir;
  ExpectDefaults(LoadSettings(dir.filePath(QStringLiteral("absent/Quillmark.ini"))));
}

struct DamagedCase {
  const char* Name;
  QByteArray Content;
};

class DamagedSettings : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedSettings, GivesDefaults) {
  QTemporaryDir dir;
  ExpectDefaults(LoadSettings(WriteFile(dir, GetParam().Content)));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedSettings,
    ::testing::Values(
        DamagedCase{"Empty", QByteArray()},
        DamagedCase{"Binary", QByteArray::fromHex("00fffe5b47656e0065726c5d0a54616273013d02")},
        DamagedCase{"BadValues",
                    "[General]\nUpdate=yes\nTabs=\nOpen=1x\nCustom=-\nPage=7\nImage=-1\n"
                    "Row=abc\nColumn=99999999999999\n"},
        DamagedCase{"OtherSectionOnly", "[Other]\nTabs=0\nOpen=1\n"},
        DamagedCase{"NoSectionHeader", "Tabs=0\nOpen=1\n"},
        DamagedCase{"Oversized", QByteArray("[General]\nOpen=1\n") +
                                     QByteArray(TIniFile::kMaxFileBytes + 10, ';')}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Settings, ReadsValuesAsTheSettingsFileHasAlwaysHeldThem) {
  QTemporaryDir dir;
  const QString path = WriteFile(
      dir, "; written by hand\r\n[general]\r\n update = 0 \r\nTABS=0\r\nOpen=5\r\nCustom=1\r\n"
           "Image=2\r\nTextLine=1\r\nColumn=2\r\nUpdateURL=http://127.0.0.1:9/u.ini\r\n");
  const TAppSettings s = LoadSettings(path);
  EXPECT_FALSE(s.Update);
  EXPECT_FALSE(s.Tabs);
  EXPECT_TRUE(s.Open);  // any non-zero number is true
  EXPECT_TRUE(s.Custom);
  TChoices expected{};
  expected[KindIndex(TkwElementKind::ekImage)] = 2;
  expected[KindIndex(TkwElementKind::ekTextLine)] = 1;
  expected[KindIndex(TkwElementKind::ekColumn)] = 2;
  EXPECT_EQ(s.Choices, expected);
  EXPECT_EQ(s.UpdateURL, QStringLiteral("http://127.0.0.1:9/u.ini"));
}

TEST(Settings, RoundTripWritesEveryKeyAndKeepsTheRest) {
  QTemporaryDir dir;
  const QString path = WriteFile(
      dir, "[Window]\nLeft=10\n\n[General]\nUpdateURL=http://127.0.0.1:1/x\nExtra=keep\n");
  TAppSettings s;
  s.Update = false;
  s.Tabs = false;
  s.Open = true;
  s.Custom = true;
  s.Choices = PresetPlainText();
  ASSERT_TRUE(SaveSettings(path, s));

  const TAppSettings back = LoadSettings(path);
  EXPECT_FALSE(back.Update);
  EXPECT_FALSE(back.Tabs);
  EXPECT_TRUE(back.Open);
  EXPECT_TRUE(back.Custom);
  EXPECT_EQ(back.Choices, PresetPlainText());
  EXPECT_EQ(back.UpdateURL, QStringLiteral("http://127.0.0.1:1/x"));

  const QByteArray text = ReadFile(path);
  EXPECT_TRUE(text.startsWith("[Window]\nLeft=10\n\n[General]\n")) << text.constData();
  for (const char* line : {"Update=0\n", "Tabs=0\n", "Open=1\n", "Custom=1\n", "Page=2\n",
                           "HSection=2\n", "Shape=2\n", "Paragraph=0\n", "Image=2\n",
                           "TextLine=0\n", "Text=0\n", "Table=2\n", "Row=2\n", "Column=2\n",
                           "Extra=keep\n"}) {
    EXPECT_TRUE(text.contains(line)) << line;
  }
}

// The window's size and the folders last used come back; a size no screen has is ignored.
TEST(Settings, WindowSizeAndFoldersComeBack) {
  QTemporaryDir dir;
  const QString path = WriteFile(dir, "[General]\n");
  TAppSettings s;
  s.Width = 900;
  s.Height = 610;
  s.SourceFolder = QStringLiteral("/home/user/PDF files");
  s.TargetFolder = QStringLiteral("/home/user/RTF");
  ASSERT_TRUE(SaveSettings(path, s));
  const TAppSettings back = LoadSettings(path);
  EXPECT_EQ(back.Width, 900);
  EXPECT_EQ(back.Height, 610);
  EXPECT_EQ(back.SourceFolder, s.SourceFolder);
  EXPECT_EQ(back.TargetFolder, s.TargetFolder);
  for (const char* text : {"[General]\nWidth=-5\nHeight=400\n", "[General]\nWidth=900\nHeight=99999\n",
                           "[General]\nWidth=x\nHeight=\n"}) {
    const TAppSettings bad = LoadSettings(WriteFile(dir, text));
    EXPECT_TRUE(bad.Width == 0 || bad.Height == 0) << text;
  }
}

TEST(Settings, CreatesItsFolderAndFailsQuietlyWhereItCannotWrite) {
  QTemporaryDir dir;
  const QString nested = dir.filePath(QStringLiteral("a/b/Quillmark.ini"));
  EXPECT_TRUE(SaveSettings(nested, TAppSettings()));
  EXPECT_TRUE(QFile::exists(nested));
  // A file where the folder should be.
  WriteFile(dir, "x");
  EXPECT_FALSE(SaveSettings(dir.filePath(QStringLiteral("Quillmark.ini/Quillmark.ini")),
                            TAppSettings()));
}

TEST(Settings, LivesInTheUserConfigurationFolder) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/tmp/qm-conf", 1);
  EXPECT_EQ(SettingsFilePath(), QStringLiteral("/tmp/qm-conf/Quillmark/Quillmark.ini"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFilePath(), QDir::homePath() + QStringLiteral("/.config/Quillmark/Quillmark.ini"));
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(Settings, PresetsMatchTheirTable) {
  using enum TkwElementKind;
  const TChoices images = PresetImagesOnly();
  const TChoices plain = PresetPlainText();
  for (const TkwElementKindName& k : kElementKindNames) {
    const std::size_t i = KindIndex(k.Kind);
    EXPECT_EQ(images[i], k.Kind == ekImage ? kChoiceProcess : kChoiceSkip) << k.Key;
    const bool keep = k.Kind == ekParagraph || k.Kind == ekTextLine || k.Kind == ekText;
    EXPECT_EQ(plain[i], keep ? kChoiceProcess : kChoiceSkip) << k.Key;
  }
}

// The settings file keeps the choices under the keys and in the order it always has.
TEST(Settings, ChoiceKeysAreWrittenInTheirOrder) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Quillmark.ini"));
  TAppSettings s;
  for (std::size_t i = 0; i < kElementKindCount; ++i) s.Choices[i] = static_cast<int>(i % 3);
  ASSERT_TRUE(SaveSettings(path, s));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(f.readAll());
  // Kind codes 0..9 are page, hsection, column, paragraph, textline, text, image, table,
  // row, shape.
  const char* const expected[] = {"Page=0",     "HSection=1", "Shape=0", "Paragraph=0", "Image=0",
                                  "TextLine=1", "Text=2",     "Table=1", "Row=2",       "Column=2"};
  qsizetype at = 0;
  for (const char* line : expected) {
    const qsizetype found = text.indexOf(QString::fromLatin1(line) + u'\n', at);
    ASSERT_GE(found, at) << line << " in\n" << text.toStdString();
    at = found;
  }
}

}  // namespace
}  // namespace qm
