// The font catalogue's cache file: it must come back as written, and never be believed
// once what it was made from has changed or when it is damaged.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/kwFontCache.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class FontCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("qm_fontcache_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir / "fonts");
    std::ofstream(FDir / "fonts.conf") << "<fontconfig/>";
    Age(FDir / "fonts.conf");
    Age(FDir / "fonts");
  }
  void TearDown() override { fs::remove_all(FDir); }

  // Old enough to be remembered: paths changed in the last seconds are not.
  static void Age(const fs::path& APath) {
    fs::last_write_time(APath, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  std::vector<std::string> Watched() const {
    return {(FDir / "fonts.conf").string(), (FDir / "fonts").string(), (FDir / "later.conf").string()};
  }
  TkwFontCache Sample() const {
    TkwFontCache c;
    c.Stamps = StampPaths(Watched());
    c.Faces = {{"Liberation Sans", "/usr/share/fonts/a.ttf", 0, 80, 0},
               {"Odd\tName\\With\nBreaks", "/fonts/with tab\t.ttc", 2, 200, 100}};
    c.Matches = {{"Arial Unicode MS", true, false, "/fonts/DejaVuSans-Bold.ttf", 0}};
    return c;
  }

  fs::path FDir;
};

TEST_F(FontCacheTest, ComesBackAsWritten) {
  const TkwFontCache c = Sample();
  ASSERT_EQ(c.Stamps.size(), 3u);
  const auto back = ReadFontCache(WriteFontCache(c, "env A"), "env A");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Faces, c.Faces);
  EXPECT_EQ(back->Matches, c.Matches);
  EXPECT_EQ(back->Stamps, c.Stamps);
  // and a cache read back writes the same text again
  EXPECT_EQ(WriteFontCache(*back, "env A"), WriteFontCache(c, "env A"));
}

TEST_F(FontCacheTest, StaleOnceAnythingItWasMadeFromChanges) {
  const std::string text = WriteFontCache(Sample(), "env A");
  ASSERT_TRUE(ReadFontCache(text, "env A"));
  EXPECT_FALSE(ReadFontCache(text, "env B")) << "another environment";

  std::ofstream(FDir / "fonts" / "new.ttf") << "x";  // a font added to a watched folder
  EXPECT_FALSE(ReadFontCache(text, "env A"));
  fs::remove(FDir / "fonts" / "new.ttf");
  Age(FDir / "fonts");

  const std::string again = WriteFontCache(Sample(), "env A");
  ASSERT_TRUE(ReadFontCache(again, "env A"));
  std::ofstream(FDir / "later.conf") << "<fontconfig/>";  // a configuration that did not exist
  EXPECT_FALSE(ReadFontCache(again, "env A"));
  fs::remove(FDir / "later.conf");

  const std::string third = WriteFontCache(Sample(), "env A");
  ASSERT_TRUE(ReadFontCache(third, "env A"));
  std::ofstream(FDir / "fonts.conf", std::ios::app) << " ";  // an edited configuration
  EXPECT_FALSE(ReadFontCache(third, "env A"));
  fs::remove(FDir / "fonts.conf");  // or a removed one
  EXPECT_FALSE(ReadFontCache(third, "env A"));
}

TEST_F(FontCacheTest, FreshlyChangedPathsAreNotRemembered) {
  std::ofstream(FDir / "now.conf") << "x";
  EXPECT_TRUE(StampPaths({(FDir / "fonts.conf").string(), (FDir / "now.conf").string()}).empty());
  TkwFontCache c = Sample();
  c.Stamps.clear();
  EXPECT_FALSE(ReadFontCache(WriteFontCache(c, "e"), "e")) << "a cache without stamps never goes stale";
}

TEST_F(FontCacheTest, DamagedTextIsNotBelieved) {
  const std::string good = WriteFontCache(Sample(), "e");
  ASSERT_TRUE(ReadFontCache(good, "e"));
  std::vector<std::string> bad = {
      "",
      good.substr(0, good.size() - 1),                // no final line end
      good.substr(0, good.rfind("end\n")),            // cut before its end
      "quillmark font cache 2" + good.substr(good.find('\n')),
      good + "face\tX\t/x\t0\t0\t0\n",                // records after the end
  };
  const auto replaced = [&](const std::string& AFrom, const std::string& ATo) {
    std::string s = good;
    const std::size_t at = s.find(AFrom);
    EXPECT_NE(at, std::string::npos) << AFrom;
    if (at != std::string::npos) s.replace(at, AFrom.size(), ATo);
    return s;
  };
  bad.push_back(replaced("\t80\t0\n", "\t8x\t0\n"));                      // not a number
  bad.push_back(replaced("\t80\t0\n", "\t99999999999999\t0\n"));          // out of range
  bad.push_back(replaced("Odd\\tName", "Odd\\qName"));                    // unknown escape
  bad.push_back(replaced("match\tArial Unicode MS\t1", "match\tArial Unicode MS\t2"));
  bad.push_back(replaced("face\tLiberation Sans\t", "face\tLiberation Sans\t\t"));  // a field too many
  bad.push_back(replaced("face\t", "fact\t"));                            // unknown record
  for (const std::string& text : bad) EXPECT_FALSE(ReadFontCache(text, "e")) << text.substr(0, 60);
}

TEST_F(FontCacheTest, SavingReplacesTheFileWholeOrLeavesIt) {
  const std::string name = (FDir / "cache" / "deeper" / "fonts.cache").string();
  ASSERT_TRUE(SaveFontCacheFile(name, "first"));
  ASSERT_TRUE(SaveFontCacheFile(name, "second"));
  std::ifstream in(name);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir / "cache" / "deeper"), fs::directory_iterator()), 1);
  // a folder where the file's folder should be: nothing is written, nothing left behind
  std::ofstream(FDir / "blocked") << "a file";
  EXPECT_FALSE(SaveFontCacheFile((FDir / "blocked" / "fonts.cache").string(), "x"));
}

// A link planted under the name an older version used for its temporary file (or any
// other) is never written through: the victim keeps its bytes.
TEST_F(FontCacheTest, SavingNeverFollowsAPlantedLink) {
  const fs::path folder = FDir / "planted";
  fs::create_directories(folder);
  const fs::path victim = FDir / "victim.txt";
  std::ofstream(victim) << "precious";
  const std::string name = (folder / "fonts.cache").string();
  fs::create_symlink(victim, name + "." + std::to_string(::getpid()) + ".tmp");
  ASSERT_TRUE(SaveFontCacheFile(name, "cache text"));
  std::ifstream in(victim);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "precious");
  EXPECT_FALSE(fs::is_symlink(name));
  // Only the cache and the planted link remain: the temporary file was renamed.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST(FontCacheFile, FollowsTheCacheFolderVariables) {
  const char* oldCache = std::getenv("XDG_CACHE_HOME");
  const char* oldHome = std::getenv("HOME");
  const std::string savedCache = oldCache ? oldCache : "", savedHome = oldHome ? oldHome : "";
  setenv("XDG_CACHE_HOME", "/c", 1);
  setenv("HOME", "/h", 1);
  EXPECT_EQ(FontCacheFileName(), "/c/quillmark/fonts.cache");
  setenv("XDG_CACHE_HOME", "relative", 1);  // not absolute: ignored, as the standard says
  EXPECT_EQ(FontCacheFileName(), "/h/.cache/quillmark/fonts.cache");
  unsetenv("XDG_CACHE_HOME");
  unsetenv("HOME");
  EXPECT_EQ(FontCacheFileName(), "");
  if (oldCache) setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace qm
