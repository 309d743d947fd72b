#include "platform/Metafile.h"

#include <string_view>

namespace qm {

namespace {

void PutLE16(std::string& AOut, std::uint32_t AValue) {
  AOut.push_back(static_cast<char>(AValue & 0xFF));
  AOut.push_back(static_cast<char>((AValue >> 8) & 0xFF));
}
void PutLE32(std::string& AOut, std::uint32_t AValue) {
  PutLE16(AOut, AValue & 0xFFFF);
  PutLE16(AOut, AValue >> 16);
}

std::string HexLE(std::uint32_t AValue, int ABytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < ABytes; ++i) {
    const std::uint8_t b = static_cast<std::uint8_t>(AValue >> (8 * i));
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string FromHex(std::string_view AHex) {
  std::string out;
  const auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < AHex.size(); i += 2) {
    if (AHex[i] == '\r' || AHex[i] == '\n') { --i; continue; }
    out.push_back(static_cast<char>((nib(AHex[i]) << 4) | nib(AHex[i + 1])));
  }
  return out;
}

}  // namespace

TMetafile::TMetafile(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

void TMetafile::SetSize(int AWidth, int AHeight) {
  FSurface.reset();
  FWidth = AWidth > 0 ? AWidth : 0;
  FHeight = AHeight > 0 ? AHeight : 0;
}

TBitmap& TMetafile::Canvas() {
  if (!FSurface) {
    FSurface = std::make_unique<TBitmap>(FWidth, FHeight, TPixelFormat::pf24bit);
    FSurface->FillRect(0, 0, FWidth, FHeight, 0xFFFFFF);
  }
  return *FSurface;
}

std::unique_ptr<TGraphic> TMetafile::Clone() const {
  auto copy = std::make_unique<TMetafile>(FWidth, FHeight);
  copy->Enhanced = Enhanced;
  if (FSurface) copy->FSurface = FSurface->CloneBitmap();
  return copy;
}

std::unique_ptr<TBitmap> TMetafile::ToBitmap() const {
  if (FSurface) return FSurface->CloneBitmap();
  auto blank = std::make_unique<TBitmap>(FWidth, FHeight, TPixelFormat::pf24bit);
  blank->FillRect(0, 0, FWidth, FHeight, 0xFFFFFF);
  return blank;
}

std::string TMetafile::SaveToEMF() const {
  const std::unique_ptr<TBitmap> surface = ToBitmap();
  const std::string bmp = surface->SaveToBMP();
  const std::string_view dib = std::string_view(bmp).substr(14);  // info header + bits
  const std::uint32_t infoSize = 40;
  const auto bitsSize = static_cast<std::uint32_t>(dib.size() - infoSize);
  const auto w = static_cast<std::uint32_t>(FWidth);
  const auto h = static_cast<std::uint32_t>(FHeight);
  // 0.01 mm per pixel at 96 ppi
  const std::uint32_t frameW = static_cast<std::uint32_t>(FWidth * 2540.0 / 96.0);
  const std::uint32_t frameH = static_cast<std::uint32_t>(FHeight * 2540.0 / 96.0);

  std::string stretch;
  PutLE32(stretch, 81);  // EMR_STRETCHDIBITS
  PutLE32(stretch, static_cast<std::uint32_t>(80 + dib.size()));
  PutLE32(stretch, 0); PutLE32(stretch, 0); PutLE32(stretch, w ? w - 1 : 0); PutLE32(stretch, h ? h - 1 : 0);
  PutLE32(stretch, 0); PutLE32(stretch, 0);  // destination x, y
  PutLE32(stretch, 0); PutLE32(stretch, 0);  // source x, y
  PutLE32(stretch, w); PutLE32(stretch, h);  // source size
  PutLE32(stretch, 80); PutLE32(stretch, infoSize);
  PutLE32(stretch, 80 + infoSize); PutLE32(stretch, bitsSize);
  PutLE32(stretch, 0);           // DIB_RGB_COLORS
  PutLE32(stretch, 0x00CC0020);  // SRCCOPY
  PutLE32(stretch, w); PutLE32(stretch, h);  // destination size
  stretch.append(dib);

  std::string eof;
  PutLE32(eof, 14);  // EMR_EOF
  PutLE32(eof, 20);
  PutLE32(eof, 0);
  PutLE32(eof, 16);
  PutLE32(eof, 20);

  const std::uint32_t headerSize = 108;
  std::string out;
  PutLE32(out, 1);  // EMR_HEADER
  PutLE32(out, headerSize);
  PutLE32(out, 0); PutLE32(out, 0); PutLE32(out, w ? w - 1 : 0); PutLE32(out, h ? h - 1 : 0);  // bounds
  PutLE32(out, 0); PutLE32(out, 0); PutLE32(out, frameW); PutLE32(out, frameH);  // frame
  PutLE32(out, 0x464D4520);  // " EMF"
  PutLE32(out, 0x00010000);
  PutLE32(out, static_cast<std::uint32_t>(headerSize + stretch.size() + eof.size()));
  PutLE32(out, 3);  // records
  PutLE16(out, 1);  // handles
  PutLE16(out, 0);
  PutLE32(out, 0); PutLE32(out, 0);  // description
  PutLE32(out, 0);                   // palette entries
  PutLE32(out, 1024); PutLE32(out, 768);  // reference device, pixels
  PutLE32(out, 271); PutLE32(out, 203);   // and millimetres (96 ppi)
  PutLE32(out, 0); PutLE32(out, 0); PutLE32(out, 0);  // no pixel format, not OpenGL
  PutLE32(out, 271000); PutLE32(out, 203000);         // micrometres
  out += stretch;
  out += eof;
  return out;
}

std::string WmfHeaderHex(std::uint32_t ABmpFileSize, int AWidth, int AHeight) {
  const std::uint32_t r = ABmpFileSize / 2 + 7;
  const auto w = static_cast<std::uint32_t>(AWidth) & 0xFFFF;
  const auto h = static_cast<std::uint32_t>(AHeight) & 0xFFFF;
  std::string s = "010009000003";
  s += HexLE(r + 36, 4);
  s += "0000";
  s += HexLE(r, 4);
  s += "0000050000000b0200000000050000000c02";
  s += HexLE(h, 2);
  s += HexLE(w, 2);
  s += "05000000090200000000050000000102ffffff000400000007010300";
  s += HexLE(r, 4);
  s += "430f2000cc000000";
  s += HexLE(h, 2);
  s += HexLE(w, 2);
  s += "00000000";
  s += HexLE(h, 2);
  s += HexLE(w, 2);
  s += "00000000";
  s += "\r\n";
  return s;
}

std::string SaveBitmapAsWMF(const TBitmap& ABitmap) {
  const std::string bmp = ABitmap.SaveToBMP();
  std::string out = FromHex(WmfHeaderHex(static_cast<std::uint32_t>(bmp.size()), ABitmap.GetWidth(),
                                         ABitmap.GetHeight()));
  out.append(bmp, 14);
  out += FromHex("030000000000");
  return out;
}

}  // namespace qm
