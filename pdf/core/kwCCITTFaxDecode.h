#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pdf/core/kwStream.h"

// CCITT Group 3 and Group 4 fax decoding (ITU-T T.4 and T.6) for the CCITTFaxDecode filter
// and for MMR-coded JBIG2 regions.
namespace qm {

// The filter's parameters, with their PDF defaults.
struct TkwCCITTParams {
  int K = 0;                  // < 0 two-dimensional (G4), 0 one-dimensional, > 0 mixed
  bool EndOfLine = false;     // EOL codes are required before each row
  bool EncodedByteAlign = false;
  int Columns = 1728;
  int Rows = 0;               // 0: not known in advance
  bool EndOfBlock = true;     // data ends with RTC / EOFB, which overrides Rows
  bool BlackIs1 = false;
};

// Decodes rows one at a time from data that must outlive the decoder. Rows come out
// packed, most significant bit first, (Columns + 7) / 8 bytes; a black pixel is a 1 bit
// when BlackIs1 and a 0 bit otherwise. Never throws on corrupt data: a row that cannot be
// decoded is completed in white and ends the data.
class TkwCCITTFaxDecoder {
public:
  TkwCCITTFaxDecoder(std::span<const std::uint8_t> AData, const TkwCCITTParams& AParams);

  [[nodiscard]] int GetColumns() const { return FColumns; }
  [[nodiscard]] std::size_t GetRowBytes() const { return (static_cast<std::size_t>(FColumns) + 7) / 8; }
  // Fills AOut (GetRowBytes() bytes) with the next row; false at the end of the data.
  [[nodiscard]] bool ReadRow(std::span<std::uint8_t> AOut);
  // The changing elements of the last row (positions where the colour changes, starting
  // with white → black), for callers that want runs instead of bits.
  [[nodiscard]] const std::vector<int>& GetChanges() const { return FCoding; }
  // Bytes consumed so far (rounded up to the byte), for MMR data embedded in JBIG2.
  [[nodiscard]] std::size_t GetBytePosition() const { return (FBitPos + 7) / 8; }
  // Skips the bit pattern that closes a T.6 block (EOFB), if present.
  void SkipEndOfBlock();

private:
  std::span<const std::uint8_t> FData;
  TkwCCITTParams FParams;
  int FColumns = 1;
  std::size_t FBitPos = 0;
  std::size_t FBitEnd = 0;
  int FRow = 0;
  bool FEnd = false;
  std::vector<int> FReference;  // changing elements of the previous row, sentinel-terminated
  std::vector<int> FCoding;

  [[nodiscard]] std::uint32_t Peek(int ACount) const;
  void Skip(int ACount) { FBitPos += static_cast<std::size_t>(ACount); }
  [[nodiscard]] bool AtEnd() const { return FBitPos >= FBitEnd; }
  [[nodiscard]] int ZeroRun() const;
  int DecodeRun(bool ABlack);
  bool Decode1D();
  bool Decode2D();
  void AddChange(int APos);
};

// The CCITTFaxDecode filter: packed one-bit rows. The encoded data is read from the source
// when the first byte is asked for.
class TkwCCITTFaxDecode final : public TkwDecode {
public:
  TkwCCITTFaxDecode(TkwRef<TkwStream> ASource, const TkwCCITTParams& AParams);
  ~TkwCCITTFaxDecode() override;
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stCCITTFax; }
  [[nodiscard]] const TkwCCITTParams& GetParams() const { return FParams; }
  // The parameters of a DecodeParms dictionary (nullptr: the defaults).
  [[nodiscard]] static TkwCCITTParams ReadParams(const TkwPDDictionary* AParms);

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  TkwCCITTParams FParams;
  bool FLoaded = false;
  std::string FInput;
  std::unique_ptr<TkwCCITTFaxDecoder> FDecoder;
  std::vector<std::uint8_t> FRowBuf;
};

using TkwCCITTFaxStream = TkwCCITTFaxDecode;

}  // namespace qm
