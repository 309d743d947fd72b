// Converts arbitrary bytes from PDF to RTF end to end: parser, content extractor,
// formatter and RTF writer. Odd-sized inputs use the tabbed formatting mode. A conversion
// may fail with an exception; it must not crash, hang or run out of memory.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "converter/kwPDFConverter.h"

namespace {

const std::filesystem::path& WorkDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("qm-e2e-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const auto in = WorkDir() / "in.pdf";
  const auto out = WorkDir() / "out.rtf";
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  try {
    qm::TkwPDFConverter conv;
    conv.GetOutputSettings().GetPreferences().SetFormattingMode(
        Size % 2 ? qm::TkwFormattingMode::fmFormattedWithTabs : qm::TkwFormattingMode::fmFormatted);
    conv.SetOnNeedPassword([](qm::TkwObject&, std::string& APassword) { APassword.clear(); });
    conv.SetInputFileName(in.string());
    conv.SetOutputFileName(out.string());
    conv.Convert();
  } catch (const std::exception&) {
    // Damaged and unsupported files fail with an exception naming the fault.
  }
  std::error_code ec;
  std::filesystem::remove(out, ec);
  return 0;
}
