#pragma once

#include <memory>
#include <string>

#include "tests/support/rtf/RtfReader.h"
#include "writer/kwRTFDoc.h"

namespace qm::writertest {

// A writer that keeps the document in memory and draws fixed identifiers.
inline std::unique_ptr<TkwRTFDoc> MakeDoc() {
  auto doc = std::make_unique<TkwRTFDoc>();
  doc->SetRandomProvider(MakeFixedRandomProvider(7));
  return doc;
}

inline bool Contains(const std::string& AHay, const std::string& ANeedle) {
  return AHay.find(ANeedle) != std::string::npos;
}

inline int Occurrences(const std::string& AHay, const std::string& ANeedle) {
  int n = 0;
  for (std::size_t p = AHay.find(ANeedle); p != std::string::npos; p = AHay.find(ANeedle, p + 1)) ++n;
  return n;
}

// One paragraph of plain text, written and returned as RTF.
inline std::string OneParagraph(const std::u16string& AText) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  doc->WriteText(AText);
  doc->EndPara();
  doc->EndDoc();
  return doc->GetRTFText();
}

}  // namespace qm::writertest
