// Enhanced metafiles of vector drawing, read back record by record.
#include <gtest/gtest.h>

#include "tests/writer/EmfReader.h"
#include "tests/writer/WriterTestUtil.h"
#include "writer/kwEmfEncoder.h"

namespace qm {
namespace {

using emftest::TEmf;
using emftest::TEmfRecord;

constexpr std::uint32_t kPolyBezierTo = 5, kPolylineTo = 6, kSetWindowExtEx = 9, kSetViewportExtEx = 11,
                        kSetMapMode = 17, kSetPolyFillMode = 19, kMoveToEx = 27, kIntersectClipRect = 30,
                        kSelectObject = 37, kCreateBrush = 39, kDeleteObject = 40, kBeginPath = 59,
                        kEndPath = 60, kCloseFigure = 61, kFillPath = 62, kStrokeAndFillPath = 63,
                        kStrokePath = 64, kExtSelectClipRgn = 75, kPolyBezierTo16 = 88, kPolylineTo16 = 89,
                        kPolyPolyline16 = 90, kExtCreatePen = 95;

TEmf Parsed(TkwEmfEncoder& AEmf) {
  const std::string bytes = AEmf.Finish();
  TEmf emf = TEmf::Parse(bytes);
  EXPECT_EQ(emf.Error, "");
  if (!emf.Records.empty()) {
    EXPECT_EQ(emf.Header().U32(10), bytes.size());
  }
  return emf;
}

TEST(EmfEncoder, HeaderMapsThePictureToItsFrame) {
  TkwEmfEncoder encoder(72, 36);  // one inch by half an inch
  const TEmf emf = Parsed(encoder);
  ASSERT_GE(emf.Records.size(), 2u);
  const TEmfRecord& h = emf.Header();
  // Bounds and frame: 2540 x 1270 hundredths of a millimetre, inclusive.
  for (std::size_t at : {0u, 4u}) {
    EXPECT_EQ(h.I32(at), 0);
    EXPECT_EQ(h.I32(at + 2), 2539);
    EXPECT_EQ(h.I32(at + 3), 1269);
  }
  // The reference device's pixels are as large as the frame's units.
  EXPECT_EQ(h.U32(16) * 10, h.U32(18) * 1000);
  EXPECT_EQ(h.U32(16) * 1000, h.U32(24) * 100);
  ASSERT_EQ(emf.Count(kSetMapMode), 1u);
  EXPECT_EQ(emf.OfType(kSetMapMode)[0].U32(0), 8u);
  const auto window = emf.OfType(kSetWindowExtEx), viewport = emf.OfType(kSetViewportExtEx);
  ASSERT_EQ(window.size(), 1u);
  ASSERT_EQ(viewport.size(), 1u);
  EXPECT_EQ(window[0].I32(0), 72 * kEmfUnitsPerPoint);
  EXPECT_EQ(window[0].I32(1), 36 * kEmfUnitsPerPoint);
  EXPECT_EQ(viewport[0].I32(0), 2540);
  EXPECT_EQ(viewport[0].I32(1), 1270);
  // Nothing is drawn outside the picture.
  const auto clip = emf.OfType(kIntersectClipRect);
  ASSERT_EQ(clip.size(), 1u);
  EXPECT_EQ(clip[0].I32(2), 72 * kEmfUnitsPerPoint);
  EXPECT_EQ(clip[0].I32(3), 36 * kEmfUnitsPerPoint);
}

TEST(EmfEncoder, APathWithCurvesKeepsItsPointsInOrder) {
  TkwEmfEncoder encoder(200, 100);
  encoder.SetBrush(clRed);
  encoder.SetFillRule(true);
  encoder.BeginPath();
  encoder.MoveTo({10, 20});
  encoder.LineTo({30, 20});
  encoder.LineTo({30, 40.05});
  encoder.CurveTo({40, 50}, {50, 60}, {60, 70});
  encoder.CurveTo({70, 80}, {80, 90}, {90, 95});
  encoder.CloseFigure();
  encoder.EndPath();
  encoder.FillPath();
  const TEmf emf = Parsed(encoder);
  std::vector<std::uint32_t> types;
  for (const auto& r : emf.Records) {
    if (r.Type >= kBeginPath || r.Type == kMoveToEx || r.Type == kPolylineTo16 || r.Type == kPolyBezierTo16) {
      types.push_back(r.Type);
    }
  }
  EXPECT_EQ(types, (std::vector<std::uint32_t>{kBeginPath, kMoveToEx, kPolylineTo16, kPolyBezierTo16, kCloseFigure,
                                               kEndPath, kFillPath}));
  const TEmfRecord move = emf.OfType(kMoveToEx)[0];
  EXPECT_EQ(move.I32(0), 200);
  EXPECT_EQ(move.I32(1), 400);
  const TEmfRecord lines = emf.OfType(kPolylineTo16)[0];
  ASSERT_EQ(lines.U32(4), 2u);  // after the bounds, the count
  EXPECT_EQ(lines.I16At(20), 600);
  EXPECT_EQ(lines.I16At(26), 801);  // 40.05 points
  // Bounds of the run's points.
  EXPECT_EQ(lines.I32(0), 600);
  EXPECT_EQ(lines.I32(3), 801);
  const TEmfRecord curves = emf.OfType(kPolyBezierTo16)[0];
  ASSERT_EQ(curves.U32(4), 6u);  // three points a curve
  EXPECT_EQ(curves.Body.size(), 20u + 6 * 4);
  EXPECT_EQ(curves.I16At(20 + 5 * 4), 1800);
  EXPECT_EQ(curves.I16At(22 + 5 * 4), 1900);
  ASSERT_EQ(emf.Count(kSetPolyFillMode), 1u);
  EXPECT_EQ(emf.OfType(kSetPolyFillMode)[0].U32(0), 1u);  // even-odd: alternate
  const TEmfRecord brush = emf.OfType(kCreateBrush)[0];
  EXPECT_EQ(brush.U32(1), 0u);  // solid
  EXPECT_EQ(brush.U32(2), 0x0000FFu);
}

TEST(EmfEncoder, CoordinatesBeyondSixteenBitsTakeFullRecords) {
  TkwEmfEncoder encoder(3000, 100);
  encoder.BeginPath();
  encoder.MoveTo({0, 0});
  encoder.LineTo({2000, 50});  // 40000 units
  encoder.CurveTo({10, 10}, {20, 20}, {30, 30});
  encoder.EndPath();
  encoder.StrokePath();
  const TEmf emf = Parsed(encoder);
  ASSERT_EQ(emf.Count(kPolylineTo), 1u);
  EXPECT_EQ(emf.Count(kPolylineTo16), 0u);
  EXPECT_EQ(emf.OfType(kPolylineTo)[0].I32(5), 40000);
  EXPECT_EQ(emf.Count(kPolyBezierTo16), 1u);  // each run on its own
  EXPECT_EQ(emf.Count(kPolyBezierTo), 0u);
  EXPECT_EQ(emf.Count(kStrokePath), 1u);
}

TEST(EmfEncoder, ClipsNarrowAndComeBack) {
  TkwEmfEncoder encoder(100, 100);
  encoder.SetClip(TkwRect{10, 10, 50, 200});
  encoder.SetClip(TkwRect{10, 10, 50, 200});  // unchanged: nothing written
  encoder.SetClip(std::nullopt);
  const TEmf emf = Parsed(encoder);
  const auto rects = emf.OfType(kIntersectClipRect);
  ASSERT_EQ(rects.size(), 3u);
  // The clip is cut to the picture.
  EXPECT_EQ(rects[1].I32(0), 200);
  EXPECT_EQ(rects[1].I32(2), 1000);
  EXPECT_EQ(rects[1].I32(3), 2000);
  EXPECT_EQ(rects[2].I32(2), 2000);
  // Each change first lets go of the clip before.
  const auto resets = emf.OfType(kExtSelectClipRgn);
  ASSERT_EQ(resets.size(), 2u);
  EXPECT_EQ(resets[0].U32(0), 0u);
  EXPECT_EQ(resets[0].U32(1), 5u);  // copy: back to no clip
}

TEST(EmfEncoder, PensAndBrushesAreMadeOnceAndLetGoWhenTooMany) {
  TkwEmfEncoder encoder(100, 100);
  TkwEmfPen thin;
  thin.WidthPt = 0.5;
  thin.Color = clBlue;
  TkwEmfPen thick = thin;
  thick.WidthPt = 3;
  for (int i = 0; i < 3; ++i) {
    encoder.SetPen(thin);
    encoder.SetPen(thick);
  }
  for (int i = 0; i < 40; ++i) encoder.SetBrush(RGBColor(static_cast<std::uint8_t>(i), 0, 0));
  const TEmf emf = Parsed(encoder);
  const auto pens = emf.OfType(kExtCreatePen);
  ASSERT_EQ(pens.size(), 2u);
  EXPECT_EQ(pens[0].Body.size(), 44u);
  EXPECT_EQ(pens[0].U32(5), 0x00012200u);  // geometric, flat ends, mitred corners, solid
  EXPECT_EQ(pens[0].U32(6), 10u);           // half a point
  EXPECT_EQ(pens[0].U32(8), 0xFF0000u);
  EXPECT_EQ(pens[1].U32(6), 60u);
  EXPECT_EQ(emf.Count(kCreateBrush), 40u);
  EXPECT_EQ(emf.Count(kSelectObject), 6u + 40u);
  // Handles stay few: old brushes are deleted and their handles used again.
  const std::uint32_t handles = emf.Header().U32(12) & 0xFFFF;
  EXPECT_LE(handles, 1u + 2u + 16u);
  EXPECT_EQ(emf.Count(kDeleteObject), 40u - 16u);
  for (const auto& r : emf.Records) {
    if (r.Type == kSelectObject || r.Type == kDeleteObject) {
      EXPECT_LT(r.U32(0), handles);
    }
  }
}

TEST(EmfEncoder, OpenLinesGoInOneRecord) {
  TkwEmfEncoder encoder(100, 100);
  encoder.PolyPolyline({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}, {40, 5}, {50, 50}}, {2, 1, 3, 9});
  const TEmf emf = Parsed(encoder);
  const auto lines = emf.OfType(kPolyPolyline16);
  ASSERT_EQ(lines.size(), 1u);
  // Lines of fewer than two points are left out, and counts past the points.
  EXPECT_EQ(lines[0].U32(4), 2u);
  EXPECT_EQ(lines[0].U32(5), 5u);
  EXPECT_EQ(lines[0].U32(6), 2u);
  EXPECT_EQ(lines[0].U32(7), 3u);
  EXPECT_EQ(lines[0].I16At(32 + 4 * 4 + 2), 100);
}

TEST(EmfEncoder, StrokeAndFillIsOneRecord) {
  TkwEmfEncoder encoder(10, 10);
  encoder.BeginPath();
  encoder.MoveTo({1, 1});
  encoder.LineTo({9, 9});
  encoder.EndPath();
  encoder.StrokeAndFillPath();
  const TEmf emf = Parsed(encoder);
  EXPECT_EQ(emf.Count(kStrokeAndFillPath), 1u);
  EXPECT_EQ(emf.Count(kBeginPath), 1u);
  EXPECT_EQ(emf.Count(kEndPath), 1u);
}

TEST(EmfEncoder, NonsenseSizesStillMakeAValidMetafile) {
  for (const double size : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), 1e300}) {
    TkwEmfEncoder encoder(size, size);
    encoder.BeginPath();
    encoder.MoveTo({std::numeric_limits<double>::infinity(), 1e300});
    encoder.LineTo({-1e300, std::numeric_limits<double>::quiet_NaN()});
    encoder.EndPath();
    encoder.StrokePath();
    const TEmf emf = Parsed(encoder);
    EXPECT_GE(emf.Header().I32(6), 0);
  }
}

// A drawing's picture goes in as a metafile where the output takes one, and as its raster
// form where it does not.
TEST(EmfEncoder, VectorPicturesTakeTheOutputFormat) {
  int rasterCalls = 0;
  const TkwVectorPicture picture(TkwEmfEncoder(100, 50).Finish(), 30, 15, [&] {
    ++rasterCalls;
    auto bitmap = std::make_unique<TBitmap>(30, 15, TPixelFormat::pf24bit);
    bitmap->FillRect(0, 0, 30, 15, 0x0000FF);
    return bitmap;
  });
  struct TCase {
    TkwOutputImageFormat Format;
    std::string Blip;
    bool Raster;
  };
  const TCase cases[] = {{TkwOutputImageFormat::ifPNG, "emfblip", false},
                         {TkwOutputImageFormat::ifMetafile, "emfblip", false},
                         {TkwOutputImageFormat::ifJPEG, "jpegblip", true},
                         {TkwOutputImageFormat::ifBMP, "wmetafile", true}};
  for (const TCase& c : cases) {
    rasterCalls = 0;
    auto doc = writertest::MakeDoc();
    doc->GetImageSettings().OutputImageFormat = c.Format;
    doc->BeginDoc();
    doc->AddImage({10, 20, 110, 70}, picture);
    doc->EndDoc();
    const auto pictures = rtftest::TRtfDocument::Parse(doc->GetRTFText()).Pictures();
    ASSERT_EQ(pictures.size(), 1u) << c.Blip;
    EXPECT_EQ(pictures[0].Blip, c.Blip);
    EXPECT_EQ(rasterCalls > 0, c.Raster) << c.Blip;
    if (!c.Raster) {
      EXPECT_EQ(pictures[0].Bytes.substr(0, picture.GetEmf().size()), picture.GetEmf());
    }
  }
  // Without a raster form, the raster is blank rather than missing.
  const TkwVectorPicture bare(TkwEmfEncoder(10, 10).Finish(), 4, 3, nullptr);
  const auto blank = bare.ToBitmap();
  ASSERT_EQ(blank->GetWidth(), 4);
  EXPECT_EQ(blank->GetPixel(1, 1), 0xFFFFFFu);
}

}  // namespace
}  // namespace qm
