// A batch of 20 PDFs, whole process against whole process: `quillmark convert ... --dest DIR
// --jobs 2` against the same command with --jobs 1, best of 3 each. Twelve documents come
// from the real corpus beside the project (../shared/corpus/real, or $QM_CORPUS_DIR), the rest
// are generated text documents of 120 to 340 pages. Limit: two files at once take at most 0.6 x the time
// of one at a time (on two cores), and every RTF file is the same in both runs (but for the
// list and shape ids, which every run draws anew).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/PdfCorpus.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFiles = 20;
constexpr std::size_t kRealFiles = 12;

// The RTF of a file with the list and shape ids, which every run draws anew, made equal.
std::string ReadRtf(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  const std::string rtf{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return std::regex_replace(rtf, std::regex("(templateid|listid|shplid)-?[0-9]+"), "$1N");
}

// The twelve largest real documents of the corpus folder. issue12963.pdf is left out: its one
// page takes longer than all the others together, and a batch that one file decides
// measures nothing about batches.
std::vector<fs::path> RealPdfs(const fs::path& ACorpus) {
  std::vector<std::pair<std::uintmax_t, fs::path>> all;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(ACorpus, ec)) {
    if (e.path().extension() == ".pdf" && e.path().filename() != "issue12963.pdf") {
      all.emplace_back(e.file_size(ec), e.path());
    }
  }
  std::sort(all.begin(), all.end(), [](const auto& A, const auto& B) {
    return A.first != B.first ? A.first > B.first : A.second < B.second;
  });
  std::vector<fs::path> pdfs;
  for (std::size_t i = 0; i < all.size() && i < kRealFiles; ++i) pdfs.push_back(all[i].second);
  return pdfs;
}

}  // namespace

int main(int, char** argv) {
  namespace b = qm::bench;
  const auto built = b::BuiltCommand(argv[0]);
  if (!built) return 1;
  const fs::path cli = *built;
  const fs::path dir = b::ScratchDir("batch");
  // QM_CORPUS_DIR names the real documents' folder where the project is not beside shared/.
  const char* corpusDir = std::getenv("QM_CORPUS_DIR");
  const fs::path corpus =
      corpusDir != nullptr ? fs::path(corpusDir) : fs::path(QM_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
  std::vector<fs::path> inputs = RealPdfs(corpus);
  const std::size_t real = inputs.size();
  if (inputs.empty()) std::printf("no real documents in %s: generated ones only\n", corpus.c_str());
  for (int i = 0; inputs.size() < kFiles; ++i) {
    qm::bench::TTextCorpusOptions options;
    options.Pages = 120 + (i * 37) % 220;
    inputs.push_back(b::MakeTextPdf(dir / "in" / ("text-" + std::to_string(i) + ".pdf"), options));
  }
  std::string files;
  for (const fs::path& f : inputs) files += " " + b::ShellQuote(f.string());

  auto run = [&](int AJobs) {
    const fs::path out = dir / ("jobs-" + std::to_string(AJobs));
    fs::remove_all(out);
    const auto r = b::RunCommand(b::ShellQuote(cli.string()) + " convert --quiet --jobs " + std::to_string(AJobs) +
                                 " --dest " + b::ShellQuote(out.string()) + files + " >/dev/null 2>&1");
    if (r.ExitCode != 0) std::printf("--jobs %d: exit %d\n", AJobs, r.ExitCode);
    return r;
  };
  const auto one = run(1);
  const auto two = run(2);
  std::printf("%zu files (%zu real), %ld cores\n", inputs.size(), real, ::sysconf(_SC_NPROCESSORS_ONLN));
  bool ok = one.ExitCode == 0 && two.ExitCode == 0;
  ok &= b::Report("batch of 20 with --jobs 2", two.Seconds, one.Seconds, 0.6);
  ok &= b::Report("batch of 20 peak memory with --jobs 2", two.PeakKiB / 1024.0, one.PeakKiB / 1024.0, 2.0, "MiB");
  int differ = 0;
  for (const fs::path& f : inputs) {
    const std::string name = f.stem().string() + ".rtf";
    if (ReadRtf(dir / "jobs-1" / name) != ReadRtf(dir / "jobs-2" / name)) {
      std::printf("%s differs between --jobs 1 and --jobs 2\n", name.c_str());
      ++differ;
    }
  }
  return ok && differ == 0 ? 0 : 1;
}
