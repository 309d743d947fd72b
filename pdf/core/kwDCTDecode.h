#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pdf/core/kwStream.h"

// Baseline and progressive Huffman JPEG (ITU-T T.81) decoding for the DCTDecode filter.
namespace qm {

// Decodes one JPEG held in memory. The data must outlive the decoder.
// Usage: ReadHeader(), then ReadRow() until it returns false. Samples come out
// interleaved by component, clipped to 0..255; three components are RGB after the
// YCbCr transform and four are CMYK after the YCCK transform when the colour transform
// applies. Never throws on corrupt data: a broken header gives no rows, broken scan data
// gives what was decoded (the rest stays mid-grey).
class TkwJpegDecoder {
public:
  explicit TkwJpegDecoder(std::span<const std::uint8_t> AData, int AColorTransform = -1);

  // Reads markers up to the first scan. False for unsupported frames (arithmetic,
  // lossless, hierarchical), broken headers and images over the pixel caps.
  [[nodiscard]] bool ReadHeader();
  [[nodiscard]] int GetWidth() const { return FWidth; }
  [[nodiscard]] int GetHeight() const { return FHeight; }
  [[nodiscard]] int GetComponents() const { return static_cast<int>(FComps.size()); }
  [[nodiscard]] bool IsProgressive() const { return FProgressive; }
  [[nodiscard]] bool HasJFIF() const { return FJFIF; }
  [[nodiscard]] bool HasAdobe() const { return FAdobe; }
  // The transform in force after ReadHeader: 1 converts YCbCr/YCCK, 0 leaves samples.
  [[nodiscard]] int GetColorTransform() const { return FColorTransform; }
  [[nodiscard]] std::size_t GetRowBytes() const {
    return static_cast<std::size_t>(FWidth) * FComps.size();
  }

  // Fills AOut (GetRowBytes() bytes) with the next row. Decodes the scans on first use.
  [[nodiscard]] bool ReadRow(std::span<std::uint8_t> AOut);

private:
  struct THuffman {
    std::array<std::uint16_t, 512> Fast{};  // (length << 8) | symbol for codes up to 9 bits
    // For AC codes whose code and extra bits fit in 9 bits together:
    // (coefficient << 8) | (run << 4) | total length; 0 elsewhere.
    std::array<std::int32_t, 512> FastAc{};
    std::array<std::int32_t, 18> MaxCode{};
    std::array<std::int32_t, 17> ValPtr{};
    std::array<std::uint8_t, 256> Values{};
    bool Defined = false;
  };
  struct TComponent {
    int Id = 0, H = 1, V = 1, Tq = 0;
    int Td = 0, Ta = 0;            // Huffman tables of the current scan
    int BlocksW = 0, BlocksH = 0;  // blocks in the padded MCU grid
    int CompW = 0, CompH = 0;      // samples actually covered by the image
    int Pred = 0;
    std::vector<std::int16_t> Coefs;   // multi-scan images only
    std::vector<std::uint8_t> Plane;   // samples, BlocksW*8 wide
  };

  std::span<const std::uint8_t> FData;
  std::size_t FPos = 0;
  int FTransformParam = -1;
  int FColorTransform = 0;
  int FWidth = 0, FHeight = 0;
  bool FProgressive = false, FJFIF = false, FAdobe = false;
  int FAdobeTransform = -1;
  int FRestartInterval = 0;
  int FHMax = 1, FVMax = 1, FMcusX = 0, FMcusY = 0;
  std::vector<TComponent> FComps;
  std::array<std::array<std::uint16_t, 64>, 4> FQuant{};
  std::array<THuffman, 4> FDcTables{}, FAcTables{};
  bool FHeaderOk = false, FDecoded = false;
  int FRow = 0;
  std::vector<std::uint8_t> FRowBuf;
  std::vector<std::vector<std::uint8_t>> FUpRows;

  // Entropy decoder state.
  std::uint64_t FBits = 0;
  int FBitCount = 0;
  bool FMarkerHit = false;
  int FEobRun = 0;
  int FPadding = 0;
  std::vector<int> FColSum;

  // Current scan.
  std::vector<int> FScanComps;
  int FSs = 0, FSe = 63, FAh = 0, FAl = 0;

  bool ReadFrame(std::size_t ALen, bool AProgressive);
  bool ReadHuffmanTables(std::size_t AEnd);
  bool ReadQuantTables(std::size_t AEnd);
  bool ReadScanHeader(std::size_t AEnd);
  void DecodeAll();
  void DecodeScan(bool AStoreCoefs);
  bool HandleRestart();
  void FillBits();
  int GetBits(int ACount);
  int GetBit();
  int DecodeHuffman(const THuffman& ATable);
  // False when the block has no AC coefficient.
  bool DecodeBlockBaseline(TComponent& AComp, std::int16_t* ABlock);
  void DecodeDCFirst(TComponent& AComp, std::int16_t* ABlock);
  void DecodeDCRefine(std::int16_t* ABlock);
  void DecodeACFirst(TComponent& AComp, std::int16_t* ABlock);
  void DecodeACRefine(TComponent& AComp, std::int16_t* ABlock);
  static void IdctFlat(std::int16_t ADc, std::uint16_t AQuant, std::uint8_t* AOut, std::size_t AStride);
  void IdctBlock(const std::int16_t* ABlock, const std::array<std::uint16_t, 64>& AQuant,
                 std::uint8_t* AOut, std::size_t AStride);
  void UpsampleRow(const TComponent& AComp, int ARow, std::uint8_t* AOut);
  bool SkipToNextMarker(std::uint8_t& AMarker);
};

// The DCTDecode filter: decoded samples, row after row. The whole JPEG is read from the
// source when the first byte is asked for; the stream below (GetUndecodedStream) still
// holds the JPEG bytes for callers that copy them unchanged. A header that cannot be
// decoded gives an empty stream.
class TkwDCTDecode final : public TkwDecode {
public:
  // AColorTransform: the ColorTransform parameter, -1 when not given.
  TkwDCTDecode(TkwRef<TkwStream> ASource, int AColorTransform);
  ~TkwDCTDecode() override;
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stDCT; }
  // The header values, after the first read (all 0 when the header failed).
  [[nodiscard]] int GetWidth();
  [[nodiscard]] int GetHeight();
  [[nodiscard]] int GetComponents();

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  int FColorTransform;
  bool FLoaded = false;
  std::string FInput;
  std::unique_ptr<TkwJpegDecoder> FDecoder;
  std::vector<std::uint8_t> FRowBuf;
  void Load();
};

using TkwDCTStream = TkwDCTDecode;

}  // namespace qm
