#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pdf/core/kwStream.h"

// JBIG2 (ITU-T T.88) decoding for the JBIG2Decode filter: embedded streams with optional
// global segments, symbol dictionaries, text regions, generic regions (arithmetic and MMR),
// refinement, pattern dictionaries and halftone regions.
namespace qm {

// Pixels that one decode may still allocate or combine in all: a damaged stream that asks
// for more (thousands of huge symbols, a halftone grid of stacked cells) stops there
// instead of running for minutes. Each decode has its own.
struct TkwJBIG2Budget {
  std::int64_t Left = 0;
  // False, and nothing left, when APixels is more than is left.
  bool Spend(std::int64_t APixels);
};

// A bi-level picture, one byte per pixel (1 = black), rows top-down.
struct TkwJBIG2Bitmap {
  TkwJBIG2Bitmap() = default;
  explicit TkwJBIG2Bitmap(TkwJBIG2Budget* ABudget) : Budget(ABudget) {}

  // What Create, Grow and Compose spend from: the decode's. nullptr spends nothing (the
  // size caps still hold).
  TkwJBIG2Budget* Budget = nullptr;  // not owned
  int W = 0;
  int H = 0;
  std::vector<std::uint8_t> P;

  // False (and an empty bitmap) for sizes beyond the pixel caps.
  bool Create(int AWidth, int AHeight, std::uint8_t AFill = 0);
  // Adds rows of AFill at the bottom up to AHeight rows; false beyond the pixel caps.
  bool Grow(int AHeight, std::uint8_t AFill);
  [[nodiscard]] int Get(int AX, int AY) const {
    return (AX < 0 || AY < 0 || AX >= W || AY >= H)
               ? 0
               : P[static_cast<std::size_t>(AY) * static_cast<std::size_t>(W) + static_cast<std::size_t>(AX)];
  }
  void Set(int AX, int AY, int AValue) {
    P[static_cast<std::size_t>(AY) * static_cast<std::size_t>(W) + static_cast<std::size_t>(AX)] =
        static_cast<std::uint8_t>(AValue);
  }
  // Combines ASource into this bitmap at (AX, AY): 0 OR, 1 AND, 2 XOR, 3 XNOR, 4 REPLACE.
  void Compose(const TkwJBIG2Bitmap& ASource, int AX, int AY, int AOp);
};

// Decodes one page of an embedded JBIG2 stream (a stream that starts with a file header
// is accepted too). Never throws on corrupt data: a segment that cannot be decoded is
// skipped and what was decoded before it is kept.
class TkwJBIG2Decoder {
public:
  TkwJBIG2Decoder();
  ~TkwJBIG2Decoder();

  // Packs the page into AOutput, (width + 7) / 8 bytes a row; white pixels are 1 bits when
  // AWhiteHigh. False when no page could be decoded.
  bool DecodeImage(std::span<const std::uint8_t> AData, std::vector<std::uint8_t>& AOutput,
                   bool AWhiteHigh);
  bool DecodeImage(std::span<const std::uint8_t> AData, std::span<const std::uint8_t> AGlobals,
                   bool AWhiteHigh, std::vector<std::uint8_t>& AOutput);
  [[nodiscard]] int GetWidth() const;
  [[nodiscard]] int GetHeight() const;
  // The page as decoded (after DecodeImage).
  [[nodiscard]] const TkwJBIG2Bitmap& GetPage() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// The JBIG2Decode filter: the page's packed one-bit rows, 0 for black as PDF images expect.
// AGlobals holds the decoded bytes of the JBIG2Globals stream (may be empty).
class TkwJBIG2Decode final : public TkwDecode {
public:
  TkwJBIG2Decode(TkwRef<TkwStream> ASource, std::string AGlobals);
  ~TkwJBIG2Decode() override;
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stJBIG2; }
  [[nodiscard]] const std::string& GetGlobals() const { return FGlobals; }
  // White is the high bit value in what this filter delivers.
  [[nodiscard]] static constexpr bool IsWhiteHigh() { return true; }
  // The decoded page size (after the first read; 0 when nothing decoded).
  [[nodiscard]] int GetWidth();
  [[nodiscard]] int GetHeight();

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  std::string FGlobals;
  bool FLoaded = false;
  int FWidth = 0, FHeight = 0;
  std::vector<std::uint8_t> FOutput;
  std::size_t FOffset = 0;
  void Load();
};

using TkwJBIG2Stream = TkwJBIG2Decode;

}  // namespace qm
