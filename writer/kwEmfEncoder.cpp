#include "writer/kwEmfEncoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qm {

namespace {

// Record types.
constexpr std::uint32_t kHeader = 1;
constexpr std::uint32_t kPolyBezierTo = 5;
constexpr std::uint32_t kPolylineTo = 6;
constexpr std::uint32_t kPolyPolyline = 7;
constexpr std::uint32_t kSetWindowExtEx = 9;
constexpr std::uint32_t kSetViewportExtEx = 11;
constexpr std::uint32_t kEof = 14;
constexpr std::uint32_t kSetMapMode = 17;
constexpr std::uint32_t kSetBkMode = 18;
constexpr std::uint32_t kSetPolyFillMode = 19;
constexpr std::uint32_t kMoveToEx = 27;
constexpr std::uint32_t kIntersectClipRect = 30;
constexpr std::uint32_t kSelectObject = 37;
constexpr std::uint32_t kCreateBrushIndirect = 39;
constexpr std::uint32_t kDeleteObject = 40;
constexpr std::uint32_t kSetMiterLimit = 58;
constexpr std::uint32_t kBeginPath = 59;
constexpr std::uint32_t kEndPath = 60;
constexpr std::uint32_t kCloseFigure = 61;
constexpr std::uint32_t kFillPath = 62;
constexpr std::uint32_t kStrokeAndFillPath = 63;
constexpr std::uint32_t kStrokePath = 64;
constexpr std::uint32_t kExtSelectClipRgn = 75;
constexpr std::uint32_t kPolyBezierTo16 = 88;
constexpr std::uint32_t kPolylineTo16 = 89;
constexpr std::uint32_t kPolyPolyline16 = 90;
constexpr std::uint32_t kExtCreatePen = 95;

constexpr std::uint32_t kAnisotropic = 8;  // map mode: window and viewport extents apart
constexpr std::uint32_t kTransparent = 1;  // background mode: dash gaps stay unpainted
constexpr std::uint32_t kAlternate = 1, kWinding = 2;  // fill modes
constexpr std::uint32_t kRgnCopy = 5;

// Pen styles.
constexpr std::uint32_t kGeometric = 0x00010000;
constexpr std::uint32_t kCapRound = 0x000, kCapSquare = 0x100, kCapFlat = 0x200;
constexpr std::uint32_t kJoinRound = 0x0000, kJoinBevel = 0x1000, kJoinMiter = 0x2000;

// The reference device has pixels of a hundredth of a millimetre, the unit of the frame,
// so that device and frame agree to the unit.
constexpr std::uint32_t kDeviceMillimetres = 1000;
constexpr std::uint32_t kDevicePixels = kDeviceMillimetres * 100;

// The most pens and the most brushes kept made at once; a drawing of more colours makes
// them again as it needs them.
constexpr std::size_t kMaxCachedObjects = 16;
// Coordinates stay well inside 32 bits, whatever they were.
constexpr double kMaxCoordinate = 1 << 30;

void Put32(std::string& AOut, std::uint32_t AValue) {
  const char bytes[4] = {static_cast<char>(AValue & 0xFF), static_cast<char>((AValue >> 8) & 0xFF),
                         static_cast<char>((AValue >> 16) & 0xFF), static_cast<char>(AValue >> 24)};
  AOut.append(bytes, 4);
}
void Put16(std::string& AOut, std::uint32_t AValue) {
  const char bytes[2] = {static_cast<char>(AValue & 0xFF), static_cast<char>((AValue >> 8) & 0xFF)};
  AOut.append(bytes, 2);
}
std::uint32_t U(std::int32_t AValue) { return static_cast<std::uint32_t>(AValue); }

std::int32_t Units(double AValue, double AScale) {
  const double v = AValue * AScale;
  if (!std::isfinite(v)) return 0;
  // Halves away from zero, as llround does, without its call on every point.
  const double c = std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
  return static_cast<std::int32_t>(c < 0 ? c - 0.5 : c + 0.5);
}

}  // namespace

// Room the header takes at the start of the records, filled in when they are finished.
constexpr std::uint32_t kHeaderSize = 108;

TkwEmfEncoder::TkwEmfEncoder(double AWidthPt, double AHeightPt) {
  FRecords.reserve(8192);
  FRecords.assign(kHeaderSize, '\0');
  const double w = std::isfinite(AWidthPt) ? std::clamp(AWidthPt, 0.0, 1e6) : 0;
  const double h = std::isfinite(AHeightPt) ? std::clamp(AHeightPt, 0.0, 1e6) : 0;
  FWidth = std::max(1, Units(w, kEmfUnitsPerPoint));
  FHeight = std::max(1, Units(h, kEmfUnitsPerPoint));
  FFrameWidth = std::max(1, Units(w, 2540.0 / 72.0));
  FFrameHeight = std::max(1, Units(h, 2540.0 / 72.0));
  // The window is the picture in logical units, the viewport the same in device pixels.
  Record(kSetMapMode, {kAnisotropic});
  Record(kSetWindowExtEx, {U(FWidth), U(FHeight)});
  Record(kSetViewportExtEx, {U(FFrameWidth), U(FFrameHeight)});
  Record(kSetBkMode, {kTransparent});
  Record(kSetMiterLimit, {10});
  SetClip(std::nullopt);
}

void TkwEmfEncoder::Record(std::uint32_t AType, std::initializer_list<std::uint32_t> AValues) {
  Put32(FRecords, AType);
  Put32(FRecords, static_cast<std::uint32_t>(8 + 4 * AValues.size()));
  for (const std::uint32_t v : AValues) Put32(FRecords, v);
  ++FRecordCount;
}

std::int32_t TkwEmfEncoder::X(double APt) const { return Units(APt, kEmfUnitsPerPoint); }
std::int32_t TkwEmfEncoder::Y(double APt) const { return Units(APt, kEmfUnitsPerPoint); }

void TkwEmfEncoder::SetClip(const std::optional<TkwRect>& ARectPt) {
  std::array<std::int32_t, 4> r{0, 0, FWidth, FHeight};
  if (ARectPt) {
    r[0] = std::clamp(static_cast<std::int32_t>(std::floor(ARectPt->Left * kEmfUnitsPerPoint)), 0, FWidth);
    r[1] = std::clamp(static_cast<std::int32_t>(std::floor(ARectPt->Top * kEmfUnitsPerPoint)), 0, FHeight);
    r[2] = std::clamp(static_cast<std::int32_t>(std::ceil(ARectPt->Right * kEmfUnitsPerPoint)), r[0], FWidth);
    r[3] = std::clamp(static_cast<std::int32_t>(std::ceil(ARectPt->Bottom * kEmfUnitsPerPoint)), r[1], FHeight);
  }
  if (FClip == r) return;
  FlushPoints();
  // Back to no clip, then the new one; a clip only ever narrows otherwise.
  if (FClip) Record(kExtSelectClipRgn, {0, kRgnCopy});
  Record(kIntersectClipRect, {U(r[0]), U(r[1]), U(r[2]), U(r[3])});
  FClip = r;
}

std::uint32_t TkwEmfEncoder::NewHandle() {
  if (!FFreeHandles.empty()) {
    const std::uint32_t h = FFreeHandles.back();
    FFreeHandles.pop_back();
    return h;
  }
  return FHandleCount++;
}

void TkwEmfEncoder::MakeRoom(std::vector<TCachedObject>& ACache, std::uint32_t ASelected) {
  if (ACache.size() < kMaxCachedObjects) return;
  auto oldest = ACache.end();
  for (auto it = ACache.begin(); it != ACache.end(); ++it) {
    if (it->Handle != ASelected && (oldest == ACache.end() || it->LastUse < oldest->LastUse)) oldest = it;
  }
  if (oldest == ACache.end()) return;
  Record(kDeleteObject, {oldest->Handle});
  FFreeHandles.push_back(oldest->Handle);
  ACache.erase(oldest);
}

void TkwEmfEncoder::Select(std::vector<TCachedObject>& ACache, std::size_t AAt) {
  ACache[AAt].LastUse = ++FUses;
  Record(kSelectObject, {ACache[AAt].Handle});
}

void TkwEmfEncoder::WritePen(std::uint32_t AHandle, const TkwEmfPen& APen) {
  std::uint32_t kind = kGeometric;
  kind |= APen.Cap == TkwEmfCap::ecRound ? kCapRound : APen.Cap == TkwEmfCap::ecSquare ? kCapSquare : kCapFlat;
  kind |= APen.Join == TkwEmfJoin::ejRound ? kJoinRound : APen.Join == TkwEmfJoin::ejBevel ? kJoinBevel : kJoinMiter;
  const auto width = static_cast<std::uint32_t>(std::max(1, Units(APen.WidthPt, kEmfUnitsPerPoint)));
  Put32(FRecords, kExtCreatePen);
  Put32(FRecords, 52);
  Put32(FRecords, AHandle);
  for (int i = 0; i < 4; ++i) Put32(FRecords, 0);  // no bitmap brush
  Put32(FRecords, kind);
  Put32(FRecords, width);
  Put32(FRecords, 0);  // solid brush
  Put32(FRecords, ColorToRGB(APen.Color));
  Put32(FRecords, 0);
  Put32(FRecords, 0);  // no style entries
  ++FRecordCount;
}

// Selects the cached object AMatches finds, or one AMake writes into the metafile (making
// room first); ASelected is the handle in use, kept current.
template <class TMatches, class TMake>
void TkwEmfEncoder::Use(std::vector<TCachedObject>& ACache, std::uint32_t& ASelected, TMatches AMatches,
                        TMake AMake) {
  for (std::size_t i = 0; i < ACache.size(); ++i) {
    if (AMatches(ACache[i])) {
      if (ACache[i].Handle != ASelected) {
        FlushPoints();
        Select(ACache, i);
        ASelected = ACache[i].Handle;
      }
      return;
    }
  }
  FlushPoints();
  MakeRoom(ACache, ASelected);
  TCachedObject made;
  made.Handle = NewHandle();
  AMake(made);
  ACache.push_back(std::move(made));
  Select(ACache, ACache.size() - 1);
  ASelected = ACache.back().Handle;
}

void TkwEmfEncoder::SetPen(const TkwEmfPen& APen) {
  Use(FPens, FPen, [&](const TCachedObject& AObject) { return AObject.Pen == APen; },
      [&](TCachedObject& AObject) {
        AObject.Pen = APen;
        WritePen(AObject.Handle, APen);
      });
}

void TkwEmfEncoder::SetBrush(TColor AColor) {
  Use(FBrushes, FBrush, [&](const TCachedObject& AObject) { return AObject.Color == AColor; },
      [&](TCachedObject& AObject) {
        AObject.Color = AColor;
        Record(kCreateBrushIndirect, {AObject.Handle, 0, ColorToRGB(AColor), 0});
      });
}

void TkwEmfEncoder::SetFillRule(bool AEvenOdd) {
  if (FEvenOdd == AEvenOdd) return;
  FlushPoints();
  Record(kSetPolyFillMode, {AEvenOdd ? kAlternate : kWinding});
  FEvenOdd = AEvenOdd;
}

void TkwEmfEncoder::QueuePoint(std::uint32_t AType, const TkwPoint& APt) {
  if (FRunType != AType) FlushPoints();
  FRunType = AType;
  FRun.push_back(X(APt.X));
  FRun.push_back(Y(APt.Y));
}

void TkwEmfEncoder::WritePoints(std::uint32_t AType16, std::uint32_t AType32, const std::vector<std::uint32_t>& ACounts) {
  constexpr std::int32_t lo = std::numeric_limits<std::int16_t>::min(), hi = std::numeric_limits<std::int16_t>::max();
  const auto [minIt, maxIt] = std::minmax_element(FRun.begin(), FRun.end());
  const bool small = *minIt >= lo && *maxIt <= hi;
  const auto count = static_cast<std::uint32_t>(FRun.size() / 2);
  const auto header = static_cast<std::uint32_t>(28 + (ACounts.empty() ? 0 : 4 + 4 * ACounts.size()));
  Put32(FRecords, small ? AType16 : AType32);
  Put32(FRecords, header + count * (small ? 4 : 8));
  // The bounds of the points drawn.
  std::int32_t b[4] = {FRun[0], FRun[1], FRun[0], FRun[1]};
  for (std::size_t i = 0; i < FRun.size(); i += 2) {
    b[0] = std::min(b[0], FRun[i]);
    b[1] = std::min(b[1], FRun[i + 1]);
    b[2] = std::max(b[2], FRun[i]);
    b[3] = std::max(b[3], FRun[i + 1]);
  }
  for (const std::int32_t v : b) Put32(FRecords, U(v));
  if (!ACounts.empty()) Put32(FRecords, static_cast<std::uint32_t>(ACounts.size()));
  Put32(FRecords, count);
  for (const std::uint32_t n : ACounts) Put32(FRecords, n);
  for (const std::int32_t v : FRun) {
    if (small) {
      Put16(FRecords, static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))));
    } else {
      Put32(FRecords, U(v));
    }
  }
  ++FRecordCount;
  FRun.clear();
  FRunType = 0;
}

void TkwEmfEncoder::FlushPoints() {
  if (FRun.empty()) {
    FRunType = 0;
    return;
  }
  if (FRunType == kPolyBezierTo) {
    WritePoints(kPolyBezierTo16, kPolyBezierTo, {});
  } else {
    WritePoints(kPolylineTo16, kPolylineTo, {});
  }
}

void TkwEmfEncoder::PolyPolyline(const std::vector<TkwPoint>& APoints, const std::vector<std::uint32_t>& ACounts) {
  FlushPoints();
  std::vector<std::uint32_t> counts;
  std::size_t at = 0;
  for (const std::uint32_t n : ACounts) {
    if (n > APoints.size() - at) break;
    if (n >= 2) {
      counts.push_back(n);
      for (std::size_t k = at; k < at + n; ++k) {
        FRun.push_back(X(APoints[k].X));
        FRun.push_back(Y(APoints[k].Y));
      }
    }
    at += n;
  }
  if (counts.empty()) return;
  WritePoints(kPolyPolyline16, kPolyPolyline, counts);
}

void TkwEmfEncoder::BeginPath() {
  FlushPoints();
  Record(kBeginPath, {});
}

void TkwEmfEncoder::MoveTo(const TkwPoint& APt) {
  FlushPoints();
  Record(kMoveToEx, {U(X(APt.X)), U(Y(APt.Y))});
}

void TkwEmfEncoder::LineTo(const TkwPoint& APt) { QueuePoint(kPolylineTo, APt); }

void TkwEmfEncoder::CurveTo(const TkwPoint& AC1, const TkwPoint& AC2, const TkwPoint& APt) {
  QueuePoint(kPolyBezierTo, AC1);
  FRun.push_back(X(AC2.X));
  FRun.push_back(Y(AC2.Y));
  FRun.push_back(X(APt.X));
  FRun.push_back(Y(APt.Y));
}

void TkwEmfEncoder::CloseFigure() {
  FlushPoints();
  Record(kCloseFigure, {});
}

void TkwEmfEncoder::EndPath() {
  FlushPoints();
  Record(kEndPath, {});
}

void TkwEmfEncoder::FillPath() { Record(kFillPath, {0, 0, U(FFrameWidth - 1), U(FFrameHeight - 1)}); }
void TkwEmfEncoder::StrokePath() { Record(kStrokePath, {0, 0, U(FFrameWidth - 1), U(FFrameHeight - 1)}); }
void TkwEmfEncoder::StrokeAndFillPath() {
  Record(kStrokeAndFillPath, {0, 0, U(FFrameWidth - 1), U(FFrameHeight - 1)});
}

std::string TkwEmfEncoder::Finish() {
  FlushPoints();
  constexpr std::uint32_t eofSize = 20;
  Put32(FRecords, kEof);
  Put32(FRecords, eofSize);
  Put32(FRecords, 0);   // no palette entries
  Put32(FRecords, 16);  // where they would be
  Put32(FRecords, eofSize);
  std::string header;
  Put32(header, kHeader);
  Put32(header, kHeaderSize);
  // Bounds in device pixels and frame in hundredths of a millimetre: the same numbers.
  for (int i = 0; i < 2; ++i) {
    Put32(header, 0);
    Put32(header, 0);
    Put32(header, U(FFrameWidth - 1));
    Put32(header, U(FFrameHeight - 1));
  }
  Put32(header, 0x464D4520);  // " EMF"
  Put32(header, 0x00010000);
  Put32(header, static_cast<std::uint32_t>(FRecords.size()));
  Put32(header, FRecordCount + 2);
  Put16(header, FHandleCount);
  Put16(header, 0);
  Put32(header, 0);  // no description
  Put32(header, 0);
  Put32(header, 0);  // no palette
  Put32(header, kDevicePixels);
  Put32(header, kDevicePixels);
  Put32(header, kDeviceMillimetres);
  Put32(header, kDeviceMillimetres);
  Put32(header, 0);  // no pixel format
  Put32(header, 0);
  Put32(header, 0);  // not OpenGL
  Put32(header, kDeviceMillimetres * 1000);
  Put32(header, kDeviceMillimetres * 1000);
  std::copy(header.begin(), header.end(), FRecords.begin());
  return std::move(FRecords);
}

// ---------------------------------------------------------------------------------------

TkwVectorPicture::TkwVectorPicture(std::string AEmf, int AWidth, int AHeight, TRaster ARaster)
    : FEmf(std::move(AEmf)), FWidth(std::max(0, AWidth)), FHeight(std::max(0, AHeight)), FRaster(std::move(ARaster)) {}

std::unique_ptr<TGraphic> TkwVectorPicture::Clone() const {
  return std::make_unique<TkwVectorPicture>(FEmf, FWidth, FHeight, FRaster);
}

std::unique_ptr<TBitmap> TkwVectorPicture::ToBitmap() const {
  std::unique_ptr<TBitmap> bitmap = FRaster ? FRaster() : nullptr;
  if (bitmap && bitmap->GetWidth() == FWidth && bitmap->GetHeight() == FHeight) {
    if (bitmap->GetBitsPerPixel() != 24) bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    return bitmap;
  }
  auto blank = std::make_unique<TBitmap>(FWidth, FHeight, TPixelFormat::pf24bit);
  blank->FillRect(0, 0, FWidth, FHeight, 0xFFFFFF);
  return blank;
}

}  // namespace qm
