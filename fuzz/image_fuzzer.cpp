// Builds an image XObject from the input and renders and encodes it. The first eight bytes
// choose the dictionary: size, bits per component, colour space (device, calibrated, Lab,
// ICCBased, Indexed, Separation and DeviceN over every function type), flags for
// ImageMask, Decode, Mask (stream or colour key), SMask and the filter. Then comes text up
// to a zero byte, added to the image dictionary as it is (or, with colour space 255, used
// as the colour space), and the rest is the sample data of the image and of its masks.
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/images/kwPDImage.h"
#include "platform/Bitmap.h"

namespace {

// Object 10: ICC profile stream, 11: lookup stream, 12: type 4 function, 13: sampled
// function, 14: soft mask, 15: explicit mask.
constexpr const char* kSpaces[] = {
    "/DeviceGray",
    "/DeviceRGB",
    "/DeviceCMYK",
    "[/CalGray << /WhitePoint [0.9505 1 1.089] /Gamma 2.2 >>]",
    "[/CalRGB << /WhitePoint [0.9505 1 1.089] /Gamma [1.8 1.8 1.8] /Matrix [0.4 0.2 0 0.35 0.7 0.07 0.2 0.07 0.95] >>]",
    "[/Lab << /WhitePoint [0.9505 1 1.089] /Range [-100 100 -100 100] >>]",
    "[/ICCBased 10 0 R]",
    "[/Indexed /DeviceRGB 3 <ff0000 00ff00 0000ff>]",
    "[/Indexed /DeviceCMYK 255 11 0 R]",
    "[/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 0.5 0 0.1] /N 1 >>]",
    "[/Separation /Spot /DeviceRGB 12 0 R]",
    "[/DeviceN [/A /B] /DeviceCMYK 12 0 R]",
    "[/DeviceN [/A /B /C] /DeviceRGB 13 0 R]",
    "[/Indexed [/Separation /S /DeviceGray << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 2 >>] 3 <00 40 80 ff>]",
    "/Pattern",
    "[/Separation /All /DeviceGray << /FunctionType 3 /Domain [0 1] /Functions [<< /FunctionType 2 /Domain [0 1] /N 1 >> 12 0 R] /Bounds [0.5] /Encode [0 1 0 1] >>]",
    "[/DeviceN [/A /B /C /D /E] /DeviceCMYK 13 0 R]",
    "[/ICCBased 10 0 R] % no alternate",
    "/Unknown",
    "[/Indexed /DeviceGray 300 <00ff>]",
};
constexpr int kSpaceCount = static_cast<int>(sizeof kSpaces / sizeof kSpaces[0]);

constexpr const char* kPrograms[] = {
    "{ dup 0.5 mul exch 1 exch sub 0 0 }",
    "{ 2 copy add 2 div exch pop dup dup }",
    "{ dup 0.3 gt { 1 exch sub } { 2 mul } ifelse 0 0 0 }",
    "{ 1 add",
    "{ exch sin exch cos atan 360 div dup dup dup }",
    "{ pop pop pop pop pop pop pop }",
};

constexpr const char* kFilters[] = {
    "", "/Filter /AHx", "/Filter /DCTDecode", "/Filter /JPXDecode", "/Filter /RunLengthDecode",
    "/Filter [/AHx /DCTDecode]", "/Filter /FlateDecode",
    "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 40 /BlackIs1 true >>",
};

std::string Num(std::int64_t AValue) { return std::to_string(AValue); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  if (Size < 8) return 0;
  const std::uint8_t* p = Data;
  int width = (p[0] & 63) + 1, height = (p[1] & 63) + 1;
  if ((p[0] & 0xC0) == 0xC0) width = 65537;               // over the dimension cap
  if ((p[1] & 0xC0) == 0xC0) width = height = 20000;      // over the pixel cap
  static constexpr int kBits[] = {1, 2, 4, 8, 16, 0, 3, -1};
  const int bits = kBits[p[2] & 7];
  const int space = p[3] == 255 ? -1 : p[3] % kSpaceCount;
  const std::uint8_t flags = p[4], param = p[5], maskSize = p[6], extra = p[7];
  std::size_t pos = 8;
  std::string text;
  while (pos < Size && Data[pos] != 0 && text.size() < 512) text.push_back(static_cast<char>(Data[pos++]));
  if (pos < Size) ++pos;
  const std::string_view data(reinterpret_cast<const char*>(Data + pos), Size - pos);

  std::string dict = "/Type /XObject /Subtype /Image /Width " + Num(width) + " /Height " + Num(height);
  if (bits >= 0) dict += " /BitsPerComponent " + Num(bits);
  if (flags & 1) dict += " /ImageMask true";
  dict += " /ColorSpace " + std::string(space < 0 ? text : kSpaces[space]);
  if (flags & 2) {
    // Decode arrays of every length up to 9 pairs, inverted or stretched.
    dict += " /Decode [";
    for (int i = 0; i < (param & 15); ++i) dict += (param & 16) ? " 1 0" : ((param & 32) ? " 0 2.5" : " 0 1");
    dict += "]";
  }
  if (flags & 4) dict += " /Mask 15 0 R";
  if (flags & 8) dict += " /Mask [" + Num(extra & 15) + " " + Num(extra >> 4) + " 0 255 0 255 0 255]";
  if (flags & 16) dict += " /SMask 14 0 R";
  dict += " ";
  dict += kFilters[flags >> 5];
  if (space >= 0) dict += " " + text;

  const int mw = (maskSize & 15) + 1, mh = (maskSize >> 4) + 1;
  const int iccN = (extra & 3) + 1;
  std::string sampled;
  for (int i = 0; i < 24; ++i) sampled.push_back(static_cast<char>(i * 37 + extra));
  if (param & 64) sampled.resize(7);  // shorter than the table asks for

  std::string out = "%PDF-1.7\n";
  std::string xref;
  int count = 0;
  auto object = [&](int ANum, const std::string& ABody) {
    while (count < ANum) {
      ++count;
      char entry[32];
      std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", out.size());
      xref += entry;
      if (count == ANum) {
        out += Num(ANum) + " 0 obj\n" + ABody + "\nendobj\n";
      } else {
        out += Num(count) + " 0 obj\nnull\nendobj\n";
      }
    }
  };
  auto stream = [&](const std::string& ADict, std::string_view ABytes) {
    return "<< " + ADict + " /Length " + Num(static_cast<std::int64_t>(ABytes.size())) + " >>\nstream\n" +
           std::string(ABytes) + "\nendstream";
  };
  object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
  object(4, stream(dict, data));
  object(10, stream("/N " + Num(iccN) + ((extra & 4) ? "" : " /Alternate /DeviceRGB"), "not a profile"));
  object(11, stream("", data.substr(0, data.size() / 2)));
  object(12, stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1]",
                    kPrograms[param % (sizeof kPrograms / sizeof kPrograms[0])]));
  object(13, stream("/FunctionType 0 /Domain [0 1 0 1 0 1] /Range [0 1 0 1 0 1] /Size [2 2 2] /BitsPerSample 8",
                    sampled));
  object(14, stream("/Subtype /Image /Width " + Num(mw) + " /Height " + Num(mh) +
                        " /BitsPerComponent 8 /ColorSpace /DeviceGray",
                    data));
  object(15, stream("/Subtype /Image /ImageMask true /Width " + Num(mh) + " /Height " + Num(mw), data));
  const std::size_t xrefAt = out.size();
  out += "xref\n0 " + Num(count + 1) + "\n0000000000 65535 f \n" + xref;
  out += "trailer\n<< /Size " + Num(count + 1) + " /Root 1 0 R >>\nstartxref\n" +
         Num(static_cast<std::int64_t>(xrefAt)) + "\n%%EOF\n";

  TkwPDDocument doc;
  try {
    doc.LoadFromBytes(std::move(out));
  } catch (const EPDFCoreError&) {
    return 0;
  }
  TkwPDBaseObject* obj = doc.GetBaseDoc() ? doc.GetBaseDoc()->GetObject(4, 0) : nullptr;
  if (!obj || !obj->IsStream()) return 0;
  TkwPDImage image(static_cast<TkwPDStream*>(obj), &doc, nullptr, "Im0");
  image.SetFillColor(TkwRGB{0x4000, 0x8000, 0xC000});
  if (auto bmp = image.RenderBitmap()) (void)bmp->SaveToBMP();
  std::string encoded;
  TkwOutFormat format = TkwOutFormat::ofBMP;
  (void)image.SaveToStream(encoded, true, format);
  (void)image.SaveToStream(encoded, false, format);
  (void)image.PassesJpeg();
  return 0;
}
