#pragma once

#include <string>
#include <string_view>

// What `quillmark info` and similar front ends show about a PDF without converting it.
namespace qm {

struct TkwPDFSummary {
  int PageCount = 0;
  std::string Version;           // from the file header, "1.4"; empty when absent
  bool Encrypted = false;
  std::string EncryptionMethod;  // e.g. "RC4 40-bit (standard security handler, revision 2)"
};

// Opens AFileName (trying APassword when it is not blank, with the same password retry as
// a conversion), reads the summary and closes the file. Errors of the document core
// propagate with their messages.
[[nodiscard]] TkwPDFSummary ReadPDFSummary(const std::string& AFileName, const std::string& APassword);
// The same for a whole PDF held in memory.
[[nodiscard]] TkwPDFSummary ReadPDFSummaryFromBytes(std::string_view ABytes, const std::string& APassword);

}  // namespace qm
