// The temporary files a second Ctrl-C removes: the registered ones, not the ones already
// finished, and the register takes more files than one run writes at once.
#include "base/TempFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Limits.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(TempFiles, RemovesTheRegisteredFilesOnly) {
  const fs::path dir = fs::temp_directory_path() / ("qm_tempfiles_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < kMaxRegisteredTempFiles + 3; ++i) {
    names.push_back((dir / (".out" + std::to_string(i) + ".rtf.XXXXXX")).string());
    std::ofstream(names.back()) << "partial";
    RegisterTempFile(names.back());
  }
  // Finished: renamed over its target and no longer the process's to remove.
  UnregisterTempFile(names[0]);
  UnregisterTempFile(names[1]);
  // A free slot is taken again.
  const std::string late = (dir / ".late.rtf.XXXXXX").string();
  std::ofstream(late) << "partial";
  RegisterTempFile(late);
  RemoveRegisteredTempFiles();
  EXPECT_TRUE(fs::exists(names[0]));
  EXPECT_TRUE(fs::exists(names[1]));
  for (std::size_t i = 2; i < kMaxRegisteredTempFiles; ++i) EXPECT_FALSE(fs::exists(names[i])) << names[i];
  EXPECT_FALSE(fs::exists(late));
  // Past the register's size a file is kept, never mistaken for another.
  EXPECT_TRUE(fs::exists(names.back()));
  for (const std::string& n : names) UnregisterTempFile(n);
  UnregisterTempFile(late);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm
