#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/ScreenDpi.h"
#include "platform/UserFolders.h"

namespace qm {
namespace {

// Sets an environment variable for one test and puts the old value back.
class TkwEnvGuard {
public:
  TkwEnvGuard(const char* AName, const char* AValue) : FName(AName) {
    if (const char* old = std::getenv(AName)) FOld = old;
    if (AValue) setenv(AName, AValue, 1); else unsetenv(AName);
  }
  ~TkwEnvGuard() {
    if (FOld) setenv(FName, FOld->c_str(), 1); else unsetenv(FName);
  }
private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(UserFoldersTest, ConfigFolderFollowsXdgThenHome) {
  TkwEnvGuard home("HOME", "/home/quill");
  {
    TkwEnvGuard xdg("XDG_CONFIG_HOME", "/etc/xdg-test/");
    EXPECT_EQ(GetUserConfigFolder(), "/etc/xdg-test");
  }
  {
    TkwEnvGuard xdg("XDG_CONFIG_HOME", "");
    EXPECT_EQ(GetUserConfigFolder(), "/home/quill/.config");
  }
  TkwEnvGuard xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(GetUserConfigFolder(), "/home/quill/.config");
}

TEST(UserFoldersTest, TempFolderFollowsTmpdir) {
  {
    TkwEnvGuard t("TMPDIR", "/var/tmp/q//");
    EXPECT_EQ(GetTempFolder(), "/var/tmp/q");
  }
  TkwEnvGuard t("TMPDIR", nullptr);
  EXPECT_EQ(GetTempFolder(), "/tmp");
}

TEST(ScreenDpiTest, IsFixed) { EXPECT_EQ(GetScreenDpi(), 96); }

}  // namespace
}  // namespace qm
