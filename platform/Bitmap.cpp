#include "platform/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qm {

std::uint32_t ColorToRGB(TColor AColor) {
  if (AColor == clNone) return 0xFFFFFF;
  if (AColor == clDefault) return 0;
  if (AColor < 0) {
    // A fixed light theme: window backgrounds and faces light, text dark.
    switch (AColor & 0xFF) {
      case 5: return 0xFFFFFF;   // window
      case 8: return 0x000000;   // window text
      case 15: return 0xF0F0F0;  // button face
      case 16: return 0xA0A0A0;  // button shadow
      case 18: return 0x000000;  // button text
      case 13: return 0xD77800;  // highlight
      case 14: return 0xFFFFFF;  // highlight text
      case 1: return 0x000000;   // background
      default: return 0x808080;
    }
  }
  return static_cast<std::uint32_t>(AColor) & 0xFFFFFF;
}

void TGraphic::Draw(TBitmap& ATarget, int AX, int AY) const {
  if (auto bmp = ToBitmap()) bmp->Draw(ATarget, AX, AY);
}

void TGraphic::StretchDraw(TBitmap& ATarget, int ALeft, int ATop, int ARight, int ABottom) const {
  if (auto bmp = ToBitmap()) bmp->StretchDraw(ATarget, ALeft, ATop, ARight, ABottom);
}

// ---------------------------------------------------------------------------------------

TBitmap::TBitmap(int AWidth, int AHeight, TPixelFormat AFormat) : FFormat(AFormat) {
  SetPixelFormat(AFormat);
  SetSize(AWidth, AHeight);
}

int TBitmap::GetBitsPerPixel() const {
  switch (FFormat) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf32bit: return 32;
    default: return 24;
  }
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0 ||
      static_cast<std::int64_t>(AWidth) * AHeight > kMaxRasterPixels) {
    AWidth = 0;
    AHeight = 0;
  }
  FWidth = AWidth;
  FHeight = AHeight;
  const std::size_t bits = static_cast<std::size_t>(AWidth) * static_cast<std::size_t>(GetBitsPerPixel());
  FStride = ((bits + 31) / 32) * 4;
  FPixels.assign(FStride * static_cast<std::size_t>(AHeight), 0);
}

void TBitmap::SetPixelFormat(TPixelFormat AFormat) {
  // Normalise the formats this layer does not hold to 24 bits.
  if (AFormat != TPixelFormat::pf1bit && AFormat != TPixelFormat::pf8bit &&
      AFormat != TPixelFormat::pf32bit) {
    AFormat = TPixelFormat::pf24bit;
  }
  if (AFormat == FFormat && !(FPalette.empty() && (AFormat == TPixelFormat::pf1bit ||
                                                   AFormat == TPixelFormat::pf8bit))) {
    return;
  }
  TBitmap old;
  const bool hadPixels = FWidth > 0;
  if (hadPixels) {
    old.FFormat = FFormat;
    old.FWidth = FWidth;
    old.FHeight = FHeight;
    old.FStride = FStride;
    old.FPixels = FPixels;
    old.FPalette = FPalette;
  }
  FFormat = AFormat;
  FPalette.clear();
  if (AFormat == TPixelFormat::pf1bit) {
    FPalette = {0x000000, 0xFFFFFF};
  } else if (AFormat == TPixelFormat::pf8bit) {
    for (std::uint32_t i = 0; i < 256; ++i) FPalette.push_back(i | (i << 8) | (i << 16));
  }
  SetSize(old.FWidth, old.FHeight);
  if (hadPixels) {
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) SetPixel(x, y, old.GetPixel(x, y));
  }
}

void TBitmap::SetPalette(std::vector<std::uint32_t> APalette) {
  const std::size_t cap = FFormat == TPixelFormat::pf1bit ? 2 : 256;
  if (APalette.size() > cap) APalette.resize(cap);
  FPalette = std::move(APalette);
}

std::span<std::uint8_t> TBitmap::ScanLine(int ARow) {
  if (ARow < 0 || ARow >= FHeight) return {};
  return {FPixels.data() + FStride * static_cast<std::size_t>(ARow), FStride};
}

std::span<const std::uint8_t> TBitmap::ScanLine(int ARow) const {
  if (ARow < 0 || ARow >= FHeight) return {};
  return {FPixels.data() + FStride * static_cast<std::size_t>(ARow), FStride};
}

int TBitmap::NearestIndex(std::uint32_t ARgb) const {
  int best = 0;
  int bestDist = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < FPalette.size(); ++i) {
    const std::uint32_t p = FPalette[i];
    const int dr = static_cast<int>(GetRValue(p)) - GetRValue(ARgb);
    const int dg = static_cast<int>(GetGValue(p)) - GetGValue(ARgb);
    const int db = static_cast<int>(GetBValue(p)) - GetBValue(ARgb);
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

std::uint32_t TBitmap::GetPixel(int AX, int AY) const {
  if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight) return 0;
  const std::uint8_t* row = FPixels.data() + FStride * static_cast<std::size_t>(AY);
  switch (GetBitsPerPixel()) {
    case 1: {
      const std::size_t idx = (row[AX / 8] >> (7 - AX % 8)) & 1;
      return idx < FPalette.size() ? FPalette[idx] : (idx ? 0xFFFFFFu : 0u);
    }
    case 8: {
      const std::size_t idx = row[AX];
      return idx < FPalette.size() ? FPalette[idx] : 0u;
    }
    case 32: {
      const std::uint8_t* p = row + static_cast<std::size_t>(AX) * 4;
      return std::uint32_t{p[2]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[0]} << 16);
    }
    default: {
      const std::uint8_t* p = row + static_cast<std::size_t>(AX) * 3;
      return std::uint32_t{p[2]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[0]} << 16);
    }
  }
}

void TBitmap::SetPixel(int AX, int AY, std::uint32_t ARgb) {
  if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight) return;
  std::uint8_t* row = FPixels.data() + FStride * static_cast<std::size_t>(AY);
  switch (GetBitsPerPixel()) {
    case 1: {
      const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (AX % 8));
      if (NearestIndex(ARgb)) row[AX / 8] |= mask; else row[AX / 8] &= static_cast<std::uint8_t>(~mask);
      break;
    }
    case 8: row[AX] = static_cast<std::uint8_t>(NearestIndex(ARgb)); break;
    case 32: {
      std::uint8_t* p = row + static_cast<std::size_t>(AX) * 4;
      p[0] = GetBValue(ARgb); p[1] = GetGValue(ARgb); p[2] = GetRValue(ARgb); p[3] = 0xFF;
      break;
    }
    default: {
      std::uint8_t* p = row + static_cast<std::size_t>(AX) * 3;
      p[0] = GetBValue(ARgb); p[1] = GetGValue(ARgb); p[2] = GetRValue(ARgb);
      break;
    }
  }
}

void TBitmap::FillRect(int ALeft, int ATop, int ARight, int ABottom, std::uint32_t ARgb) {
  ALeft = std::max(ALeft, 0);
  ATop = std::max(ATop, 0);
  ARight = std::min(ARight, FWidth);
  ABottom = std::min(ABottom, FHeight);
  if (GetBitsPerPixel() == 24) {
    for (int y = ATop; y < ABottom; ++y) {
      std::uint8_t* p = FPixels.data() + FStride * static_cast<std::size_t>(y) +
                        static_cast<std::size_t>(ALeft) * 3;
      for (int x = ALeft; x < ARight; ++x, p += 3) {
        p[0] = GetBValue(ARgb); p[1] = GetGValue(ARgb); p[2] = GetRValue(ARgb);
      }
    }
    return;
  }
  for (int y = ATop; y < ABottom; ++y)
    for (int x = ALeft; x < ARight; ++x) SetPixel(x, y, ARgb);
}

std::unique_ptr<TBitmap> TBitmap::CloneBitmap() const {
  auto copy = std::make_unique<TBitmap>();
  copy->FWidth = FWidth;
  copy->FHeight = FHeight;
  copy->FFormat = FFormat;
  copy->FStride = FStride;
  copy->FPixels = FPixels;
  copy->FPalette = FPalette;
  copy->FTransparent = FTransparent;
  copy->FTransparentColor = FTransparentColor;
  return copy;
}

std::unique_ptr<TGraphic> TBitmap::Clone() const { return CloneBitmap(); }

std::unique_ptr<TBitmap> TBitmap::ToBitmap() const {
  auto copy = CloneBitmap();
  copy->SetPixelFormat(TPixelFormat::pf24bit);
  return copy;
}

void TBitmap::Draw(TBitmap& ATarget, int AX, int AY) const {
  if (!FTransparent && FFormat == ATarget.FFormat && GetBitsPerPixel() >= 24) {
    // Same layout: copy the visible part of each row at once.
    const std::size_t bpp = static_cast<std::size_t>(GetBitsPerPixel()) / 8;
    const int x0 = std::max(0, -AX);
    const int x1 = std::min(FWidth, ATarget.FWidth - AX);
    if (x1 <= x0) return;
    for (int y = std::max(0, -AY); y < std::min(FHeight, ATarget.FHeight - AY); ++y) {
      std::memcpy(ATarget.FPixels.data() + ATarget.FStride * static_cast<std::size_t>(y + AY) +
                      static_cast<std::size_t>(AX + x0) * bpp,
                  FPixels.data() + FStride * static_cast<std::size_t>(y) + static_cast<std::size_t>(x0) * bpp,
                  static_cast<std::size_t>(x1 - x0) * bpp);
    }
    return;
  }
  for (int y = 0; y < FHeight; ++y) {
    const int ty = AY + y;
    if (ty < 0 || ty >= ATarget.FHeight) continue;
    for (int x = 0; x < FWidth; ++x) {
      const int tx = AX + x;
      if (tx < 0 || tx >= ATarget.FWidth) continue;
      const std::uint32_t c = GetPixel(x, y);
      if (FTransparent && c == FTransparentColor) continue;
      ATarget.SetPixel(tx, ty, c);
    }
  }
}

void TBitmap::StretchDraw(TBitmap& ATarget, int ALeft, int ATop, int ARight, int ABottom) const {
  const int w = ARight - ALeft;
  const int h = ABottom - ATop;
  if (w <= 0 || h <= 0 || FWidth <= 0 || FHeight <= 0) return;
  for (int y = std::max(0, ATop); y < std::min(ABottom, ATarget.FHeight); ++y) {
    const int sy = static_cast<int>(static_cast<std::int64_t>(y - ATop) * FHeight / h);
    for (int x = std::max(0, ALeft); x < std::min(ARight, ATarget.FWidth); ++x) {
      const int sx = static_cast<int>(static_cast<std::int64_t>(x - ALeft) * FWidth / w);
      const std::uint32_t c = GetPixel(sx, sy);
      if (FTransparent && c == FTransparentColor) continue;
      ATarget.SetPixel(x, y, c);
    }
  }
}

namespace {
void PutLE16(std::string& AOut, std::uint32_t AValue) {
  AOut.push_back(static_cast<char>(AValue & 0xFF));
  AOut.push_back(static_cast<char>((AValue >> 8) & 0xFF));
}
void PutLE32(std::string& AOut, std::uint32_t AValue) {
  PutLE16(AOut, AValue & 0xFFFF);
  PutLE16(AOut, AValue >> 16);
}
}  // namespace

std::string TBitmap::SaveToBMP() const {
  const int bpp = GetBitsPerPixel();
  const std::uint32_t paletteEntries = bpp <= 8 ? static_cast<std::uint32_t>(FPalette.size()) : 0;
  const std::uint32_t headerSize = 14 + 40 + paletteEntries * 4;
  const std::uint32_t imageSize = static_cast<std::uint32_t>(FStride * static_cast<std::size_t>(FHeight));
  std::string out;
  out.reserve(headerSize + imageSize);
  out += "BM";
  PutLE32(out, headerSize + imageSize);
  PutLE32(out, 0);
  PutLE32(out, headerSize);
  PutLE32(out, 40);
  PutLE32(out, static_cast<std::uint32_t>(FWidth));
  PutLE32(out, static_cast<std::uint32_t>(FHeight));  // positive: bottom-up rows
  PutLE16(out, 1);
  PutLE16(out, static_cast<std::uint32_t>(bpp));
  PutLE32(out, 0);  // BI_RGB
  PutLE32(out, imageSize);
  PutLE32(out, 3780);  // 96 ppi in pixels per metre
  PutLE32(out, 3780);
  PutLE32(out, paletteEntries);
  PutLE32(out, 0);
  for (std::uint32_t i = 0; i < paletteEntries; ++i) {
    const std::uint32_t c = FPalette[i];
    out.push_back(static_cast<char>(GetBValue(c)));
    out.push_back(static_cast<char>(GetGValue(c)));
    out.push_back(static_cast<char>(GetRValue(c)));
    out.push_back(0);
  }
  for (int y = FHeight - 1; y >= 0; --y) {
    const auto row = ScanLine(y);
    out.append(reinterpret_cast<const char*>(row.data()), row.size());
  }
  return out;
}

}  // namespace qm
