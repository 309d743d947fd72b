#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Limits.h"
#include "base/kwObject.h"

namespace qm {

// Stable codes for what the engine tolerated. Tests check codes, never message text.
// Add a code at the end of its stage's block; never renumber.
enum class TkwDiagCode : std::uint16_t {
  // document core 0..
  dcXRefRebuilt = 0,     // the cross-reference data was rebuilt by scanning the file
  dcStreamTruncated,     // a stream's data ran into the end of the file
  dcStreamLengthWrong,   // a stream's Length did not end at "endstream"
  dcBadObject,           // an object could not be read and counts as null
  dcBadXRefEntry,        // a cross-reference entry did not point at its object
  dcHeaderOffset,        // "%PDF-" was found after leading bytes
  dcStartXRefText,       // text followed the startxref offset
  dcFilterError,         // a filter met damaged data; what came before is kept
  dcDecodeCapReached,    // a stream decoded to more than the decoded-size limit
  dcLimitReached,        // a nesting or count limit cut what the file asked for
  dcDecryptError,        // a string or stream could not be decrypted
  dcPageTreeLoop,        // a page tree node was met again inside itself
  dcPageTreeCut,         // a page tree past the page or node caps was cut
  dcPagesByScan,         // the page tree could not be walked; pages were collected in file order
  dcCatalogByScan,       // the catalog was found by scanning the file's objects
  dcObjectBeyondSize,    // an object numbered at or past the trailer's Size was read
  // content 200..
  dcBadOperator = 200,   // an operator failed and was dropped
  dcUnknownOperator,     // an operator the interpreter does not know
  dcBadOperands,         // an operator with too few or mistyped operands
  dcFontMissing,         // a font name not in the resources
  dcFontBroken,          // a font that could not be loaded
  dcImageBroken,         // an image that could not be decoded
  dcCMapMissing,         // a named CMap that could not be found
  dcFormLoop,            // a form drawn inside itself
  dcTooManyErrors,       // the rest of a page dropped after too many errors
  dcColorSpaceBroken,    // a colour space that could not be read
  dcFunctionBroken,      // a function that could not be read
  dcImageTooLarge,       // an image over the size limit left out
  dcFontNotInstalled,    // a font shown in a font of its class: no installed family has its name
  dcDrawingCapped,       // a page drew more paths than are kept; the rest were dropped
  dcPageBudget,          // a page ended at its work budget; what it drew before is kept
  dcPageUnreadable,      // a page of the tree could not be read and was left empty
  dcGlyphUnmapped,       // a glyph with no Unicode value, glyph name or encoding: dropped
  // formatter and writer 400..
  dcFontSubstituted = 400,  // a font replaced by another for the output
  dcPictureDropped,         // a picture that could not be written
  dcWriterFallback,         // a picture written in a simpler form
  dcDrawingTextLeftOut,     // a rotated line drawn into a drawing's picture left out with the picture
};

struct TkwDiagnostic {
  TkwDiagCode Code;
  std::int64_t Offset = -1;  // byte offset in the file or stream, -1 when none
  int ObjNum = -1;           // object number, -1 when none
  int Page = 0;              // page number, 0 when not on a page
};

// Collected diagnostics of one job; silent by default. Every note is counted, the first
// kMaxKeptDiagnostics are kept, so a broken file cannot fill memory with notes.
class TkwDiagnostics {
public:
  void Note(TkwDiagCode ACode, std::int64_t AOffset = -1, int AObjNum = -1) {
    ++FTotal;
    const auto index = static_cast<std::size_t>(ACode);
    if (index < FCounts.size()) ++FCounts[index];
    if (FItems.size() < kMaxKeptDiagnostics) FItems.push_back({ACode, AOffset, AObjNum, FPage});
  }
  // The page later notes belong to; 0 between pages.
  void SetPage(int APage) { FPage = APage; }
  [[nodiscard]] int GetPage() const { return FPage; }

  [[nodiscard]] std::int64_t Count(TkwDiagCode ACode) const {
    const auto index = static_cast<std::size_t>(ACode);
    return index < FCounts.size() ? FCounts[index] : 0;
  }
  [[nodiscard]] const std::vector<TkwDiagnostic>& Items() const { return FItems; }
  [[nodiscard]] std::int64_t Total() const { return FTotal; }
  void Clear() {
    FItems.clear();
    FCounts.fill(0);
    FTotal = 0;
    FPage = 0;
  }

private:
  std::vector<TkwDiagnostic> FItems;
  std::array<std::int64_t, 600> FCounts{};  // by code; the blocks start at 0, 200 and 400
  std::int64_t FTotal = 0;
  int FPage = 0;
};

// Whether notes of this kind mean that something of the document is missing from the
// output (a page cut short, content or a picture left out), rather than read differently.
[[nodiscard]] bool LosesContent(TkwDiagCode ACode);

// One line per kind of note for a user, with the pages it happened on: "page 3: 2 images
// over the size limit were left out", "pages 2, 5-7: ...", or no page prefix for notes
// made outside pages. At most kMaxDiagnosticLines lines; none when nothing was noted.
[[nodiscard]] std::vector<std::string> DescribeDiagnostics(const TkwDiagnostics& ADiag);
// The same lines for the kinds that lose content only (see LosesContent).
[[nodiscard]] std::vector<std::string> DescribeLostContent(const TkwDiagnostics& ADiag);

}  // namespace qm
