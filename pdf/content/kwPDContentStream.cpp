#include "pdf/content/kwPDContentStream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <typeinfo>
#include <utility>

#include "base/kwDiagnostics.h"
#include "base/LimitExceeded.h"
#include "base/Limits.h"
#include "pdf/content/ContentBridge.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDLexer.h"
#include "pdf/core/kwPDParser.h"
#include "pdf/core/Tolerance.h"
#include "pdf/fonts/kwPD8bitFont.h"
#include "pdf/fonts/kwPDFont.h"
#include "pdf/images/kwPDImage.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

using content::TDeviceSpace;

namespace {

using K = TkwArgKind;
using C = TkwPDContentStream;

void NoteIn(const TkwPDPageRun* ARun, TkwDiagCode ACode, std::int64_t AOffset = -1) {
  if (ARun && ARun->Diag) ARun->Diag->Note(ACode, AOffset);
}

// Counts AAmount of work on ACounter; false once the page is over its budget, which stops
// the page (noted once).
bool Spend(TkwPDPageRun& ARun, std::int64_t& ACounter, std::int64_t AAmount, std::int64_t ALimit) {
  if (ARun.Stopped) return false;
  ACounter += AAmount;
  if (ACounter <= ALimit) return true;
  ARun.Stopped = true;
  NoteIn(&ARun, TkwDiagCode::dcPageBudget);
  return false;
}

// Pixel bytes the picture of AImage takes once decoded to 24 bits.
std::int64_t PictureBytes(TkwPDImage& AImage) {
  const std::int64_t w = std::clamp<std::int64_t>(AImage.GetWidth(), 0, kMaxImageDimension);
  const std::int64_t h = std::clamp<std::int64_t>(AImage.GetHeight(), 0, kMaxImageDimension);
  return w * h * 3;
}

constexpr std::array<K, 6> kNone{};
constexpr std::array<K, 6> kN1{K::akNum};
constexpr std::array<K, 6> kN2{K::akNum, K::akNum};
constexpr std::array<K, 6> kN3{K::akNum, K::akNum, K::akNum};
constexpr std::array<K, 6> kN4{K::akNum, K::akNum, K::akNum, K::akNum};
constexpr std::array<K, 6> kN6{K::akNum, K::akNum, K::akNum, K::akNum, K::akNum, K::akNum};
constexpr std::array<K, 6> kI1{K::akInt};
constexpr std::array<K, 6> kName{K::akName};
constexpr std::array<K, 6> kStr{K::akString};
constexpr std::array<K, 6> kArr{K::akArray};

}  // namespace

// The operator table, sorted by name in byte order for binary search.
struct TkwOperatorTable {
  static const std::array<TkwOperator, 73>& Get() {
    static const std::array<TkwOperator, 73> table = [] {
      std::array<TkwOperator, 73> t{{
          {"\"", 3, {K::akNum, K::akNum, K::akString}, &C::Op_Quote},
          {"'", 1, kStr, &C::Op_Apostrophe},
          {"B", 0, kNone, &C::Op_B},
          {"B*", 0, kNone, &C::Op_BStar},
          {"BDC", 2, {K::akName, K::akDictOrName}, &C::Op_BDC},
          {"BI", 0, kNone, &C::Op_Ignore},  // handled in the main loop
          {"BMC", 1, kName, &C::Op_BMC},
          {"BT", 0, kNone, &C::Op_BT},
          {"BX", 0, kNone, &C::Op_BX},
          {"CS", 1, kName, &C::Op_CS},
          {"DP", 2, {K::akName, K::akDictOrName}, &C::Op_Ignore},
          {"Do", 1, kName, &C::Op_Do},
          {"EI", 0, kNone, &C::Op_Ignore},
          {"EMC", 0, kNone, &C::Op_EMC},
          {"ET", 0, kNone, &C::Op_ET},
          {"EX", 0, kNone, &C::Op_EX},
          {"F", 0, kNone, &C::Op_f},
          {"G", 1, kN1, &C::Op_G},
          {"ID", 0, kNone, &C::Op_Ignore},
          {"J", 1, kI1, &C::Op_J},
          {"K", 4, kN4, &C::Op_K},
          {"M", 1, kN1, &C::Op_M},
          {"MP", 1, kName, &C::Op_Ignore},
          {"Q", 0, kNone, &C::Op_Q},
          {"RG", 3, kN3, &C::Op_RG},
          {"S", 0, kNone, &C::Op_S},
          {"SC", -4, {K::akNum}, &C::Op_SC},
          {"SCN", -33, {K::akNumOrName}, &C::Op_SCN},
          {"T*", 0, kNone, &C::Op_TStar},
          {"TD", 2, kN2, &C::Op_TD},
          {"TJ", 1, kArr, &C::Op_TJ},
          {"TL", 1, kN1, &C::Op_TL},
          {"Tc", 1, kN1, &C::Op_Tc},
          {"Td", 2, kN2, &C::Op_Td},
          {"Tf", 2, {K::akName, K::akNum}, &C::Op_Tf},
          {"Tj", 1, kStr, &C::Op_Tj},
          {"Tm", 6, kN6, &C::Op_Tm},
          {"Tr", 1, kI1, &C::Op_Tr},
          {"Ts", 1, kN1, &C::Op_Ts},
          {"Tw", 1, kN1, &C::Op_Tw},
          {"Tz", 1, kN1, &C::Op_Tz},
          {"W", 0, kNone, &C::Op_W},
          {"W*", 0, kNone, &C::Op_WStar},
          {"b", 0, kNone, &C::Op_b},
          {"b*", 0, kNone, &C::Op_bStar},
          {"c", 6, kN6, &C::Op_c},
          {"cm", 6, kN6, &C::Op_cm},
          {"cs", 1, kName, &C::Op_cs},
          {"d", 2, {K::akArray, K::akNum}, &C::Op_d},
          {"d0", 2, kN2, &C::Op_Ignore},
          {"d1", 6, kN6, &C::Op_Ignore},
          {"f", 0, kNone, &C::Op_f},
          {"f*", 0, kNone, &C::Op_fStar},
          {"g", 1, kN1, &C::Op_g},
          {"gs", 1, kName, &C::Op_gs},
          {"h", 0, kNone, &C::Op_h},
          {"i", 1, kN1, &C::Op_i},
          {"j", 1, kI1, &C::Op_j},
          {"k", 4, kN4, &C::Op_k},
          {"l", 2, kN2, &C::Op_l},
          {"m", 2, kN2, &C::Op_m},
          {"n", 0, kNone, &C::Op_n},
          {"q", 0, kNone, &C::Op_q},
          {"re", 4, kN4, &C::Op_re},
          {"rg", 3, kN3, &C::Op_rg},
          {"ri", 1, kName, &C::Op_Ignore},
          {"s", 0, kNone, &C::Op_s},
          {"sc", -4, {K::akNum}, &C::Op_sc},
          {"scn", -33, {K::akNumOrName}, &C::Op_scn},
          {"sh", 1, kName, &C::Op_sh},
          {"v", 4, kN4, &C::Op_v},
          {"w", 1, kN1, &C::Op_w},
          {"y", 4, kN4, &C::Op_y},
      }};
      return t;
    }();
    return table;
  }

  static const TkwOperator* Find(const std::string& AName) {
    // Operator names are one to three bytes: such a name is looked up as one number, its
    // length and bytes, among the table's (every operator of a page asks).
    if (AName.size() <= 3) {
      static const std::array<std::pair<std::uint32_t, std::size_t>, 73> keys = [] {
        std::array<std::pair<std::uint32_t, std::size_t>, 73> k{};
        const auto& t = Get();
        for (std::size_t i = 0; i < t.size(); ++i) {
          const std::string_view name(t[i].Name);
          // A longer name cannot be a short one: it gets a key no short name has.
          k[i] = {name.size() <= 3 ? ShortKey(name) : 0xFFFFFFFFu, i};
        }
        std::sort(k.begin(), k.end());
        return k;
      }();
      const std::uint32_t key = ShortKey(AName);
      const auto it = std::lower_bound(keys.begin(), keys.end(), std::make_pair(key, std::size_t{0}));
      return it != keys.end() && it->first == key ? &Get()[it->second] : nullptr;
    }
    const auto& t = Get();
    auto it = std::lower_bound(t.begin(), t.end(), AName, [](const TkwOperator& AOp, const std::string& AKey) {
      return std::strcmp(AOp.Name, AKey.c_str()) < 0;
    });
    if (it == t.end() || AName != it->Name) return nullptr;
    return &*it;
  }
  // A name of at most three bytes as a number: its length, then its bytes.
  static std::uint32_t ShortKey(std::string_view AName) {
    std::uint32_t key = static_cast<std::uint32_t>(AName.size()) << 24;
    for (std::size_t i = 0; i < AName.size(); ++i) {
      key |= static_cast<std::uint32_t>(static_cast<unsigned char>(AName[i])) << (16 - 8 * i);
    }
    return key;
  }
};

TkwPDContentStream::TkwPDContentStream(TkwPDStream* AStream, TkwPDResource* AResources)
    : FStream(AStream), FResources(AResources) {}

TkwPDContentStream::~TkwPDContentStream() = default;

TkwPDState& TkwPDContentStream::S() { return FRun->Stack->Current(); }

std::vector<std::unique_ptr<TkwPDBaseObject>> TkwPDContentStream::TakePending() {
  return std::move(FArgs);
}

void TkwPDContentStream::AddPending(std::vector<std::unique_ptr<TkwPDBaseObject>> AArgs,
                                    bool AFontChanged) {
  for (auto& a : AArgs) {
    if (FArgs.size() < static_cast<std::size_t>(kMaxOperands)) {
      FArgs.push_back(std::move(a));
    } else {
      NoteIn(FRun, TkwDiagCode::dcLimitReached);
    }
  }
  FFontChanged = FFontChanged || AFontChanged;
}

void TkwPDContentStream::Run(TkwPDPageRun& ARun) {
  FRun = &ARun;
  if (!FStream || !FStream->GetStream()) return;
  TkwPDExportDevice& dev = Dev();
  dev.SetDefaultCTM(S().FCTM);
  dev.UpdateAll(S());
  try {
    FStream->Reset();
    auto lexer = std::make_unique<TkwPDLexer>(FStream->GetStreamRef());
    TkwPDParser parser(ARun.Doc, std::move(lexer), false);
    FParser = &parser;
    MainLoop(parser);
  } catch (const ELimitExceeded&) {
    // Too many errors on this page: the rest of the stream is dropped, the page so far kept.
    if (ARun.Diag) ARun.Diag->Note(TkwDiagCode::dcLimitReached);
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    // A broken stream ends here; the page's other streams and EndPage still run.
    if (ARun.Diag) ARun.Diag->Note(TkwDiagCode::dcBadOperator);
  }
  FParser = nullptr;
}

void TkwPDContentStream::MainLoop(TkwPDParser& AParser) {
  while (!FRun->Stopped) {
    std::unique_ptr<TkwPDBaseObject> obj = AParser.GetObject();
    if (!obj || obj->IsEOF()) break;
    if (obj->IsCommand()) {
      CheckCancelled(FRun->Cancel);
      if (!Spend(*FRun, FRun->Operators, 1, kMaxPageOperators)) break;
      const std::string& name = static_cast<const TkwPDCommand&>(*obj).GetValue();
      if (name == "BI") {
        FArgs.clear();
        InlineImage(AParser);
        continue;
      }
      try {
        Dispatch(name);
      } catch (const ELimitExceeded&) {
        if (FRun->Diag) FRun->Diag->Note(TkwDiagCode::dcLimitReached, AParser.GetPosition());
      } catch (const std::exception&) {
        RethrowUnlessDamage();
        // A bad operand list or a resource that fails to load: the operator is dropped.
        if (FRun->Diag) FRun->Diag->Note(TkwDiagCode::dcBadOperator, AParser.GetPosition());
        if (++FRun->Errors > kMaxSyntaxErrorsPerPage) {
          NoteIn(FRun, TkwDiagCode::dcTooManyErrors, AParser.GetPosition());
          FArgs.clear();
          throw ELimitExceeded();
        }
      }
      FArgs.clear();
      continue;
    }
    if (FArgs.size() < static_cast<std::size_t>(kMaxOperands)) {
      FArgs.push_back(std::move(obj));
    } else {
      NoteIn(FRun, TkwDiagCode::dcLimitReached, AParser.GetPosition());
    }
  }
}

namespace {
bool KindMatches(TkwArgKind AKind, const TkwPDBaseObject& AObj) {
  switch (AKind) {
    case TkwArgKind::akBool: return AObj.IsBoolean();
    case TkwArgKind::akInt: return AObj.IsInteger();
    case TkwArgKind::akNum: return AObj.IsNumber();
    case TkwArgKind::akString: return AObj.IsString();
    case TkwArgKind::akName: return AObj.IsName();
    case TkwArgKind::akArray: return AObj.IsArray();
    case TkwArgKind::akDictOrName: return AObj.IsDict() || AObj.IsName();
    case TkwArgKind::akNumOrName: return AObj.IsNumber() || AObj.IsName();
    case TkwArgKind::akAny: return true;
  }
  return false;
}
}  // namespace

bool TkwPDContentStream::CheckArgs(const TkwOperator& AOp, int ACount) const {
  if (AOp.NumArgs >= 0) {
    for (int i = 0; i < AOp.NumArgs; ++i) {
      if (!KindMatches(AOp.ArgChk[static_cast<std::size_t>(i)], *FArgs[static_cast<std::size_t>(i)])) return false;
    }
    return true;
  }
  for (int i = 0; i < ACount; ++i) {
    if (!KindMatches(AOp.ArgChk[0], *FArgs[static_cast<std::size_t>(i)])) return false;
  }
  return true;
}

void TkwPDContentStream::Dispatch(const std::string& AName) {
  const TkwOperator* op = TkwOperatorTable::Find(AName);
  const std::int64_t at = FParser ? FParser->GetPosition() : -1;
  if (!op) {
    if (FIgnoreUndef == 0) NoteIn(FRun, TkwDiagCode::dcUnknownOperator, at);
    return;
  }
  const int have = static_cast<int>(FArgs.size());
  int use = have;
  if (op->NumArgs >= 0) {
    if (have < op->NumArgs) {
      NoteIn(FRun, TkwDiagCode::dcBadOperands, at);
      return;
    }
    use = op->NumArgs;  // surplus operands are ignored; the first ones are used
  } else if (have > -op->NumArgs) {
    NoteIn(FRun, TkwDiagCode::dcBadOperands, at);
    return;
  }
  if (!CheckArgs(*op, use)) {
    NoteIn(FRun, TkwDiagCode::dcBadOperands, at);
    return;
  }
  (this->*(op->Operation))(use);
}

double TkwPDContentStream::Num(int AIndex) const {
  return FArgs[static_cast<std::size_t>(AIndex)]->GetNumber();
}

// ---- state

void TkwPDContentStream::Op_q(int) {
  Dev().SaveState(S());
  // Past the nesting cap the q is dropped, and so is its Q: the device's pairs stay even.
  if (!FRun->Stack->Save()) {
    NoteIn(FRun, TkwDiagCode::dcLimitReached);
    Dev().RestoreState(S());
  }
}

void TkwPDContentStream::Op_Q(int) {
  if (FRun->Stack->Restore()) Dev().RestoreState(S());
}

void TkwPDContentStream::Op_cm(int) {
  TkwPDMatrix m;
  m.SetValues(Num(0), Num(1), Num(2), Num(3), Num(4), Num(5));
  S().ConcatCTM(m);
  Dev().UpdateCTM(S(), m);
  FFontChanged = true;
}

void TkwPDContentStream::Op_w(int) {
  S().FLineWidth = Num(0);
  Dev().UpdateLineWidth(S());
}
void TkwPDContentStream::Op_M(int) {
  S().FMiterLimit = Num(0);
  Dev().UpdateMiterLimit(S());
}
void TkwPDContentStream::Op_i(int) {
  S().FFlatness = Num(0);
  Dev().UpdateFlatness(S());
}
void TkwPDContentStream::Op_J(int) {
  S().FLineCap = static_cast<const TkwPDInteger&>(*FArgs[0]).GetValue();
  Dev().UpdateLineCap(S());
}
void TkwPDContentStream::Op_j(int) {
  S().FLineJoin = static_cast<const TkwPDInteger&>(*FArgs[0]).GetValue();
  Dev().UpdateLineJoin(S());
}

void TkwPDContentStream::Op_d(int) {
  const auto& arr = static_cast<const TkwPDArray&>(*FArgs[0]);
  std::vector<float> dash;
  const std::size_t n = std::min<std::size_t>(arr.GetLength(), 64);
  for (std::size_t i = 0; i < n; ++i) dash.push_back(static_cast<float>(arr.GetNumber(i)));
  S().SetLineDash(dash, static_cast<int>(dash.size()), Num(1));
  Dev().UpdateLineDash(S());
}

void TkwPDContentStream::Op_gs(int) {
  const auto& name = static_cast<const TkwPDName&>(*FArgs[0]).GetValue();
  double strokeA = -1, fillA = -1;
  if (!content::LookupExtGStateAlpha(FResources, name, strokeA, fillA)) return;
  if (strokeA != -1) {
    S().FStrokeOpacity = strokeA;
    Dev().UpdateStrokeOpacity(S());
  }
  if (fillA != -1) {
    S().FFillOpacity = fillA;
    Dev().UpdateFillOpacity(S());
  }
}

void TkwPDContentStream::Op_Ignore(int) {}

// ---- marked content

namespace {
// A text string: UTF-16BE after its byte order mark, else one byte a character (the
// printable range of PDFDocEncoding is Latin-1's).
std::u16string TextString(const TkwPDString& AStr) {
  const std::string bytes = AStr.IsHexString() ? AStr.GetHexToString() : AStr.GetString();
  std::u16string out;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
      static_cast<unsigned char>(bytes[1]) == 0xFF) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      out.push_back(static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                          static_cast<unsigned char>(bytes[i + 1])));
    }
  } else {
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  return out;
}
}  // namespace

void TkwPDContentStream::Op_BMC(int) {
  if (FRun->MarkedDepth < kMaxMarkedDepth) ++FRun->MarkedDepth;
}

void TkwPDContentStream::Op_BDC(int) {
  if (FRun->MarkedDepth >= kMaxMarkedDepth) return;
  ++FRun->MarkedDepth;
  if (FRun->ActualTextDepth != 0) return;  // the outer replacement covers this one too
  const TkwPDDictionary* props = nullptr;
  if (FArgs[1]->IsDict()) {
    props = static_cast<const TkwPDDictionary*>(FArgs[1].get());
  } else if (FResources) {
    if (TkwPDDictionary* all = FResources->GetSubDictionary(TkwPDResourceType::resProperties)) {
      props = all->LookUpDict(static_cast<const TkwPDName&>(*FArgs[1]).GetValue());
    }
  }
  if (!props) return;
  const TkwPDBaseObject* text = props->LookUp("ActualText");
  if (!text || !text->IsString()) return;
  FRun->ActualText = TextString(static_cast<const TkwPDString&>(*text));
  if (FRun->ActualText.size() > kMaxActualText) FRun->ActualText.resize(kMaxActualText);
  FRun->ActualTextDepth = FRun->MarkedDepth;
  FRun->ActualTextShown = false;
}

void TkwPDContentStream::Op_EMC(int) {
  if (FRun->MarkedDepth == 0) return;
  if (FRun->MarkedDepth == FRun->ActualTextDepth) {
    FRun->ActualTextDepth = 0;
    FRun->ActualText.clear();
  }
  --FRun->MarkedDepth;
}

void TkwPDContentStream::DrawUnicodeText(TkwPDState& AState, std::u16string_view AText, double ATx,
                                         double ATy) {
  // One glyph standing for several characters (a ligature, a character outside the 16-bit
  // range): each character gets an equal share of the advance. The glyph's name is not
  // passed on, since the text already spells out what it names ("f_i" is "f" and "i").
  const double n = static_cast<double>(AText.size());
  const double x = AState.FCurX, y = AState.FCurY;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    AState.FCurUnicode = AText[i];
    FCharName.clear();
    const double f = static_cast<double>(i) / n;
    Dev().DrawChar(AState, x + ATx * f, y + ATy * f, ATx / n, ATy / n, AText[i], FCharName);
  }
}

void TkwPDContentStream::DrawActualText(TkwPDState& AState, double ATx, double ATy) {
  // The section's text stands at its first glyph and shares that glyph's advance; the
  // section's other glyphs move the text point but draw nothing.
  if (FRun->ActualTextShown) return;
  FRun->ActualTextShown = true;
  const std::u16string& text = FRun->ActualText;
  if (text.empty()) return;
  const double n = static_cast<double>(text.size());
  const double x = AState.FCurX, y = AState.FCurY;
  std::string noName;
  for (std::size_t i = 0; i < text.size(); ++i) {
    AState.FCurUnicode = text[i];
    Dev().DrawChar(AState, x + ATx * static_cast<double>(i) / n, y + ATy * static_cast<double>(i) / n,
                   ATx / n, ATy / n, text[i], noName);
  }
}

// ---- paths

void TkwPDContentStream::Op_m(int) { S().MoveTo(Num(0), Num(1)); }
void TkwPDContentStream::Op_l(int) {
  if (S().IsCurrentPoint()) S().LineTo(Num(0), Num(1));
}
void TkwPDContentStream::Op_c(int) {
  if (S().IsCurrentPoint()) S().CurveTo(Num(0), Num(1), Num(2), Num(3), Num(4), Num(5));
}
void TkwPDContentStream::Op_v(int) {
  if (!S().IsCurrentPoint()) return;
  const double x0 = S().FCurX, y0 = S().FCurY;
  S().CurveTo(x0, y0, Num(0), Num(1), Num(2), Num(3));
}
void TkwPDContentStream::Op_y(int) {
  if (S().IsCurrentPoint()) S().CurveTo(Num(0), Num(1), Num(2), Num(3), Num(2), Num(3));
}
void TkwPDContentStream::Op_re(int) {
  const double x = Num(0), y = Num(1), w = Num(2), h = Num(3);
  S().MoveTo(x, y);
  S().LineTo(x + w, y);
  S().LineTo(x + w, y + h);
  S().LineTo(x, y + h);
  S().ClosePath();
}
void TkwPDContentStream::Op_h(int) {
  if (S().IsCurrentPoint()) S().ClosePath();
}

void TkwPDContentStream::EndPath() {
  if (S().IsCurrentPoint() && FClip != TkwClip::clipNone) {
    if (FClip == TkwClip::clipNormal) {
      Dev().Clip(S());
    } else {
      Dev().EvenOddClip(S());
    }
  }
  FClip = TkwClip::clipNone;
  S().ClearPath();
}

void TkwPDContentStream::Paint(bool AFill, bool AEvenOdd, bool AStroke, bool AClose) {
  if (!S().IsCurrentPoint()) return;
  if (!Spend(*FRun, FRun->Paths, 1, kMaxPagePaths)) {
    EndPath();
    return;
  }
  if (AClose) S().ClosePath();
  if (S().IsCurrentPath()) {
    if (AFill && !content::ColorSpaceIsPattern(S().GetFillColorSpace())) {
      if (AEvenOdd) {
        Dev().EvenOddFill(S());
      } else {
        Dev().Fill(S());
      }
    } else if (AFill) {
      std::array<std::int32_t, 3> under{0, 0, 0}, average{0, 0, 0};
      S().GetFillRGB(under);
      const bool known = content::PatternAverageRGB(FResources, S().FFillPatternName, under, average);
      Dev().PatternFill(S(), AEvenOdd, known ? &average : nullptr);
    }
    if (AStroke && !content::ColorSpaceIsPattern(S().GetStrokeColorSpace())) Dev().Stroke(S());
  }
  EndPath();
}

void TkwPDContentStream::Op_sh(int) {
  const auto& name = static_cast<const TkwPDName&>(*FArgs[0]).GetValue();
  std::array<std::int32_t, 3> average{0, 0, 0};
  const bool known = content::ShadingAverageRGB(FResources, name, average);
  Dev().ShadingFill(S(), known ? &average : nullptr);
}

void TkwPDContentStream::Op_S(int) { Paint(false, false, true, false); }
void TkwPDContentStream::Op_s(int) { Paint(false, false, true, true); }
void TkwPDContentStream::Op_f(int) { Paint(true, false, false, false); }
void TkwPDContentStream::Op_fStar(int) { Paint(true, true, false, false); }
void TkwPDContentStream::Op_B(int) { Paint(true, false, true, false); }
void TkwPDContentStream::Op_BStar(int) { Paint(true, true, true, false); }
void TkwPDContentStream::Op_b(int) { Paint(true, false, true, true); }
void TkwPDContentStream::Op_bStar(int) { Paint(true, true, true, true); }
void TkwPDContentStream::Op_n(int) { EndPath(); }
void TkwPDContentStream::Op_W(int) { FClip = TkwClip::clipNormal; }
void TkwPDContentStream::Op_WStar(int) { FClip = TkwClip::clipEO; }

// ---- text state

void TkwPDContentStream::Op_BT(int) {
  S().FTextMatrix = TkwPDMatrix();
  S().FLineX = S().FLineY = S().FCurX = S().FCurY = 0;
  Dev().UpdateTextMatrix(S());
  Dev().UpdateTextPos(S());
  FFontChanged = true;
}
void TkwPDContentStream::Op_ET(int) { Dev().EndTextObject(S()); }
void TkwPDContentStream::Op_Tc(int) {
  S().FCharSpace = Num(0);
  Dev().UpdateCharSpace(S());
}
void TkwPDContentStream::Op_Tw(int) {
  S().FWordSpace = Num(0);
  Dev().UpdateWordSpace(S());
}
void TkwPDContentStream::Op_Tz(int) {
  S().FHorizScaling = Num(0) / 100.0;
  Dev().UpdateHorizScaling(S());
  FFontChanged = true;
}
void TkwPDContentStream::Op_TL(int) { S().FLeading = Num(0); }
void TkwPDContentStream::Op_Tf(int) {
  const auto& name = static_cast<const TkwPDName&>(*FArgs[0]).GetValue();
  TkwPDFont* font = content::LookupFont(FResources, name);
  if (!font) {
    // A font the resources name but could not load was noted as broken there.
    const TkwPDDictionary* fonts = FResources ? FResources->GetSubDictionary(TkwPDResourceType::resFont) : nullptr;
    if (!fonts || !fonts->LookUp(name)) NoteIn(FRun, TkwDiagCode::dcFontMissing);
    return;
  }
  S().FFont = font;
  S().FFontSize = Num(1);
  FFontChanged = true;
}
void TkwPDContentStream::Op_Tr(int) {
  S().FRender = static_cast<const TkwPDInteger&>(*FArgs[0]).GetValue();
  Dev().UpdateRender(S());
}
void TkwPDContentStream::Op_Ts(int) {
  S().FRise = Num(0);
  Dev().UpdateRise(S());
}
void TkwPDContentStream::Op_Td(int) {
  // The same in both writing modes: a vertical font's lines move as a horizontal one's
  // (turning ty round would put "300 700 Td" at y −700, off the page).
  S().TextMoveTo(S().FLineX + Num(0), S().FLineY + Num(1));
  Dev().UpdateTextPos(S());
}
void TkwPDContentStream::Op_TD(int) {
  S().FLeading = -Num(1);
  S().TextMoveTo(S().FLineX + Num(0), S().FLineY + Num(1));
  Dev().UpdateTextPos(S());
}
void TkwPDContentStream::Op_TStar(int) {
  S().TextMoveTo(S().FLineX, S().FLineY - S().FLeading);
  Dev().UpdateTextPos(S());
}
void TkwPDContentStream::Op_Tm(int) {
  S().FTextMatrix.SetValues(Num(0), Num(1), Num(2), Num(3), Num(4), Num(5));
  S().FLineX = S().FLineY = S().FCurX = S().FCurY = 0;
  Dev().UpdateTextMatrix(S());
  Dev().UpdateTextPos(S());
  FFontChanged = true;
}

// ---- text showing

void TkwPDContentStream::BeginTextShow() {
  if (FFontChanged) {
    Dev().UpdateFont(S());
    FFontChanged = false;
  }
}

void TkwPDContentStream::Op_Tj(int) {
  if (!S().FFont) return;
  BeginTextShow();
  Dev().BeginStringOp(S());
  ShowString(*FArgs[0]);
  Dev().EndStringOp(S());
}

void TkwPDContentStream::Op_Apostrophe(int) {
  if (!S().FFont) return;
  S().TextMoveTo(S().FLineX, S().FLineY - S().FLeading);
  Dev().UpdateTextPos(S());
  BeginTextShow();
  Dev().BeginStringOp(S());
  ShowString(*FArgs[0]);
  Dev().EndStringOp(S());
}

void TkwPDContentStream::Op_Quote(int) {
  if (!S().FFont) return;
  S().FWordSpace = Num(0);
  S().FCharSpace = Num(1);
  Dev().UpdateWordSpace(S());
  Dev().UpdateCharSpace(S());
  S().TextMoveTo(S().FLineX, S().FLineY - S().FLeading);
  Dev().UpdateTextPos(S());
  BeginTextShow();
  Dev().BeginStringOp(S());
  ShowString(*FArgs[2]);
  Dev().EndStringOp(S());
}

void TkwPDContentStream::Op_TJ(int) {
  if (!S().FFont) return;
  BeginTextShow();
  Dev().BeginStringOp(S());
  const auto& arr = static_cast<const TkwPDArray&>(*FArgs[0]);
  const bool vertical = content::FontIsVertical(*S().FFont);
  for (std::size_t i = 0; i < arr.GetLength(); ++i) {
    const TkwPDBaseObject* el = arr.Get(i);
    if (!el) continue;
    if (el->IsNumber()) {
      const double n = el->GetNumber();
      const double fs = std::fabs(S().FFontSize);
      if (vertical) {
        S().TextShift(0, -n / 1000.0 * fs);
      } else {
        S().TextShift(-n / 1000.0 * fs * S().FHorizScaling, 0);
      }
      Dev().UpdateTextShift(S(), n);
    } else if (el->IsString()) {
      ShowString(*el);
    }
  }
  Dev().EndStringOp(S());
}

namespace {
int HexValue(char ACh) {
  if (ACh >= '0' && ACh <= '9') return ACh - '0';
  if (ACh >= 'a' && ACh <= 'f') return ACh - 'a' + 10;
  if (ACh >= 'A' && ACh <= 'F') return ACh - 'A' + 10;
  return -1;
}
}  // namespace

void TkwPDContentStream::ShowString(const TkwPDBaseObject& AStr) {
  const auto& str = static_cast<const TkwPDString&>(AStr);
  if (!str.IsHexString()) {
    const std::string& bytes = str.GetString();
    std::u16string wide(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    }
    ShowBytes(wide);
    return;
  }
  // Each code of a hex string is shown as a string of its own. Two digits make a byte and
  // a short final pair is completed with a zero. In a simple font every byte is a code; in
  // a composite font the CMap's code space ranges say how many bytes make one (Shift-JIS
  // mixes one- and two-byte codes, Identity takes two).
  const bool cid = content::FontIsCID(*S().FFont);
  const std::string& digits = str.GetString();
  std::u16string bytes;
  bytes.reserve(digits.size() / 2 + 1);
  int value = 0, count = 0;
  for (char ch : digits) {
    const int v = HexValue(ch);
    if (v < 0) continue;
    value = (value << 4) | v;
    if (++count == 2) {
      bytes.push_back(static_cast<char16_t>(value));
      value = 0;
      count = 0;
    }
  }
  if (count > 0) bytes.push_back(static_cast<char16_t>(value << 4));
  if (!cid) {
    for (char16_t b : bytes) ShowBytes(std::u16string(1, b));
    return;
  }
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const content::TNextChar nc = content::FontNextChar(*S().FFont, bytes, static_cast<int>(pos) + 1);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(nc.Processed), bytes.size() - pos);
    ShowBytes(bytes.substr(pos, n));
    pos += n;
  }
}

void TkwPDContentStream::ShowBytes(const std::u16string& AStr) {
  TkwPDExportDevice& dev = Dev();
  TkwPDFont& font = *S().FFont;
  if (dev.UseDrawChar) dev.BeginString(S(), AStr);
  // Type 3 glyph procedures are not run, whatever the device asks: their glyphs reach it
  // as characters (code, name and Widths × FontMatrix advance) like every simple font's.
  if (dev.UseDrawChar) {
    const bool vertical = font.WritingMode() == TkwWritingMode::wmVertical;
    const std::u16string_view str(AStr);
    std::size_t pos = 0;
    TkwPDNextChar nc;
    // A simple font's codes are decoded by its own inline function, not a virtual call.
    const TkwPD8bitFont* simple =
        typeid(font) == typeid(TkwPD8bitFont) ? static_cast<const TkwPD8bitFont*>(&font) : nullptr;
    while (pos < str.size()) {
      CheckCancelled(FRun->Cancel);
      if (!Spend(*FRun, FRun->Glyphs, 1, kMaxPageGlyphs)) break;
      const int ok = simple != nullptr ? simple->GetNextChar(str, pos, nc) : font.GetNextChar(str, pos, nc);
      const std::size_t used = nc.Processed < 1 ? 1 : static_cast<std::size_t>(nc.Processed);
      // A code counts when the font yields a character value or a glyph name.
      if (ok == 0 || (nc.Code == 0 && nc.CharName.empty() && nc.CharCode != 0)) {
        ++pos;
        continue;
      }
      TkwPDState& s = S();
      const double w = vertical ? nc.Dy : nc.Dx;
      // Word spacing belongs to the single-byte code 32, whatever glyph it names.
      const double space = (nc.CharCode == 32 && used == 1) ? s.FWordSpace : 0.0;
      s.FCurCharW = w * s.FFontSize;
      s.FCurUnicode = nc.Unicode;
      double tx = 0, ty = 0;
      if (vertical) {
        // The vertical advance is negative (DW2 and W2 say −1000 for a full em down); the
        // spacings are added to it as ISO 32000 writes them.
        ty = w * s.FFontSize + s.FCharSpace + space;
      } else {
        tx = (w * s.FFontSize + s.FCharSpace + space) * s.FHorizScaling;
      }
      if (FRun->ActualTextDepth != 0) {
        DrawActualText(s, tx, ty);
      } else if (nc.UnicodeText.size() > 1) {
        DrawUnicodeText(s, nc.UnicodeText, tx, ty);
      } else {
        FCharName.assign(nc.CharName);
        dev.DrawChar(s, s.FCurX, s.FCurY, tx, ty, nc.Code, FCharName);
      }
      s.TextShift(tx, ty);
      pos += used;
    }
  } else {
    std::u16string text = AStr;
    dev.RawTextOut(S(), S().FCurX, S().FCurY, text);
  }
  if (dev.UseDrawChar) dev.EndString(S());
}

// ---- colour

namespace {
void FillComps(TkwColor& AColor, const std::vector<std::unique_ptr<TkwPDBaseObject>>& AArgs,
               int ACount) {
  AColor = TkwColor{};
  for (int i = 0; i < ACount && i < 32; ++i) {
    const auto& a = *AArgs[static_cast<std::size_t>(i)];
    if (a.IsNumber()) AColor.FComps[static_cast<std::size_t>(i)] = ToFixed(a.GetNumber());
  }
}
}  // namespace

void TkwPDContentStream::SetDeviceColor(int ANum, bool AStroke, TDeviceSpace AKind) {
  TkwPDState& s = S();
  if (AStroke) {
    s.SetStrokeColorSpace(content::MakeDeviceSpace(AKind));
    Dev().UpdateStrokeColorSpace(s);
    FillComps(s.FStrokeColor, FArgs, ANum);
    Dev().UpdateStrokeColor(s);
  } else {
    s.SetFillColorSpace(content::MakeDeviceSpace(AKind));
    Dev().UpdateFillColorSpace(s);
    FillComps(s.FFillColor, FArgs, ANum);
    Dev().UpdateFillColor(s);
  }
}

void TkwPDContentStream::Op_g(int ANum) { SetDeviceColor(ANum, false, TDeviceSpace::Gray); }
void TkwPDContentStream::Op_rg(int ANum) { SetDeviceColor(ANum, false, TDeviceSpace::RGB); }
void TkwPDContentStream::Op_k(int ANum) { SetDeviceColor(ANum, false, TDeviceSpace::CMYK); }
void TkwPDContentStream::Op_G(int ANum) { SetDeviceColor(ANum, true, TDeviceSpace::Gray); }
void TkwPDContentStream::Op_RG(int ANum) { SetDeviceColor(ANum, true, TDeviceSpace::RGB); }
void TkwPDContentStream::Op_K(int ANum) { SetDeviceColor(ANum, true, TDeviceSpace::CMYK); }

namespace {
// The space named by a cs/CS operand: a resource, or one of the device names.
bool ResolveSpace(TkwPDResource* ARes, const std::string& AName, TkwPDColorSpace*& ABorrowed,
                  std::shared_ptr<TkwPDColorSpace>& AOwned) {
  ABorrowed = content::LookupColorSpace(ARes, AName);
  if (ABorrowed) return true;
  if (AName == "DeviceRGB") {
    AOwned = content::MakeDeviceSpace(TDeviceSpace::RGB);
  } else if (AName == "DeviceGray") {
    AOwned = content::MakeDeviceSpace(TDeviceSpace::Gray);
  } else if (AName == "DeviceCMYK") {
    AOwned = content::MakeDeviceSpace(TDeviceSpace::CMYK);
  } else if (AName == "Pattern") {
    AOwned = content::MakeDeviceSpace(TDeviceSpace::Pattern);
  }
  return AOwned != nullptr;
}
}  // namespace

void TkwPDContentStream::Op_cs(int) {
  TkwPDColorSpace* borrowed = nullptr;
  std::shared_ptr<TkwPDColorSpace> owned;
  if (!ResolveSpace(FResources, static_cast<const TkwPDName&>(*FArgs[0]).GetValue(), borrowed, owned)) return;
  if (borrowed) {
    S().SetFillColorSpace(borrowed);
  } else {
    S().SetFillColorSpace(std::move(owned));
  }
  Dev().UpdateFillColorSpace(S());
  content::ColorSpaceDefault(S().GetFillColorSpace(), S().FFillColor);
  Dev().UpdateFillColor(S());
}

void TkwPDContentStream::Op_CS(int) {
  TkwPDColorSpace* borrowed = nullptr;
  std::shared_ptr<TkwPDColorSpace> owned;
  if (!ResolveSpace(FResources, static_cast<const TkwPDName&>(*FArgs[0]).GetValue(), borrowed, owned)) return;
  if (borrowed) {
    S().SetStrokeColorSpace(borrowed);
  } else {
    S().SetStrokeColorSpace(std::move(owned));
  }
  Dev().UpdateStrokeColorSpace(S());
  content::ColorSpaceDefault(S().GetStrokeColorSpace(), S().FStrokeColor);
  Dev().UpdateStrokeColor(S());
}

void TkwPDContentStream::Op_sc(int ANum) {
  FillComps(S().FFillColor, FArgs, ANum);
  Dev().UpdateFillColor(S());
}

void TkwPDContentStream::Op_SC(int ANum) {
  TkwPDColorSpace* cs = S().GetStrokeColorSpace();
  if (cs && ANum != content::ColorSpaceComps(cs)) return;
  FillComps(S().FStrokeColor, FArgs, ANum);
  Dev().UpdateStrokeColor(S());
}

void TkwPDContentStream::SetFillColorOps(int ANum, bool AStroke, bool) {
  TkwPDState& s = S();
  TkwPDColorSpace* cs = AStroke ? s.GetStrokeColorSpace() : s.GetFillColorSpace();
  TkwColor& color = AStroke ? s.FStrokeColor : s.FFillColor;
  if (content::ColorSpaceIsPattern(cs)) {
    if (ANum > 1 && ANum != content::PatternBaseComps(cs) + 1) return;
    if (ANum > 1) FillComps(color, FArgs, ANum - 1);
    if (ANum > 0 && FArgs[static_cast<std::size_t>(ANum - 1)]->IsName()) {
      const auto& name = static_cast<const TkwPDName&>(*FArgs[static_cast<std::size_t>(ANum - 1)]).GetValue();
      TkwPDPattern* pat = content::LookupPattern(FResources, name);
      if (AStroke) {
        s.FStrokePattern = pat;
      } else {
        s.FFillPattern = pat;
        s.FFillPatternName = name;
      }
    }
  } else {
    if (cs && ANum != content::ColorSpaceComps(cs)) return;
    if (AStroke) {
      s.FStrokePattern = nullptr;
    } else {
      s.FFillPattern = nullptr;
    }
    FillComps(color, FArgs, ANum);
  }
  if (AStroke) {
    Dev().UpdateStrokeColor(s);
  } else {
    Dev().UpdateFillColor(s);
  }
}

void TkwPDContentStream::Op_scn(int ANum) { SetFillColorOps(ANum, false, true); }
void TkwPDContentStream::Op_SCN(int ANum) { SetFillColorOps(ANum, true, true); }

// ---- XObjects and images

std::size_t TkwPlacedImageHash::operator()(const TkwPlacedImage& A) const noexcept {
  std::size_t h = std::hash<const void*>{}(A.Image);
  auto mix = [&h](std::size_t AValue) { h ^= AValue + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  for (double v : A.Place) mix(std::hash<double>{}(v));
  for (std::int32_t c : A.Fill) mix(std::hash<std::int32_t>{}(c));
  return h;
}

void TkwPDContentStream::Op_Do(int) {
  const auto& name = static_cast<const TkwPDName&>(*FArgs[0]).GetValue();
  content::TXObject x = content::LookupXObject(FResources, name);
  if (x.Image) {
    const TkwPDMatrix& m = S().FCTM;
    TkwPlacedImage placed{x.Image, {m.FM11, m.FM12, m.FM21, m.FM22, m.FDx, m.FDy}, {}};
    S().GetFillRGB(placed.Fill);
    if (FRun->PlacedImages.contains(placed)) return;
    if (!Spend(*FRun, FRun->PictureBytes, PictureBytes(*x.Image), kMaxPagePictureBytes)) return;
    if (FRun->PlacedImages.size() < kMaxPlacedImagesKept) FRun->PlacedImages.insert(placed);
    Dev().DrawImage(S(), *x.Image);
  } else if (x.Form) {
    TkwPDFormPlayer* saved = Dev().FormPlayer;
    Dev().FormPlayer = this;
    Dev().DrawFormXObject(S(), *x.Form);
    Dev().FormPlayer = saved;
  }
}

void TkwPDContentStream::PlayForm(TkwPDState&, TkwPDForm& AForm, TkwPDExportDevice& ADevice) {
  if (!FRun || FRun->Device != &ADevice) return;
  CheckCancelled(FRun->Cancel);
  if (!Spend(*FRun, FRun->FormsEntered, 1, kMaxPageFormsEntered)) return;
  if (FRun->FormDepth >= kMaxFormDepth) {
    NoteIn(FRun, TkwDiagCode::dcLimitReached);
    return;
  }
  content::TFormContent fc = content::GetFormContent(AForm);
  if (!fc.Stream) return;
  if (fc.ObjNum != kNoObjNum &&
      std::find(FRun->FormChain.begin(), FRun->FormChain.end(), fc.ObjNum) != FRun->FormChain.end()) {
    NoteIn(FRun, TkwDiagCode::dcFormLoop);
    return;  // a form that draws itself
  }
  ADevice.SaveState(S());
  if (!FRun->Stack->Save()) {
    ADevice.RestoreState(S());  // the device's save and restore stay paired
    return;
  }
  FRun->FormChain.push_back(fc.ObjNum);
  ++FRun->FormDepth;
  S().ConcatCTM(fc.Matrix);
  ADevice.UpdateCTM(S(), fc.Matrix);
  if (fc.HasBBox) {
    const auto& b = fc.BBox;
    S().ClearPath();
    S().MoveTo(b[0], b[1]);
    S().LineTo(b[2], b[1]);
    S().LineTo(b[2], b[3]);
    S().LineTo(b[0], b[3]);
    S().ClosePath();
    ADevice.Clip(S());
    S().ClearPath();
  }
  const int markedDepth = FRun->MarkedDepth;
  {
    TkwPDContentStream inner(fc.Stream, fc.Resources ? fc.Resources : FResources);
    inner.FFontChanged = true;
    inner.Run(*FRun);
  }
  // Marked content a form leaves open ends with the form, so that a missing EMC cannot
  // hide the page's text behind an ActualText replacement.
  if (FRun->MarkedDepth > markedDepth) {
    if (FRun->ActualTextDepth > markedDepth) {
      FRun->ActualTextDepth = 0;
      FRun->ActualText.clear();
    }
    FRun->MarkedDepth = markedDepth;
  }
  --FRun->FormDepth;
  FRun->FormChain.pop_back();
  // Operators after the form see the state as it was before it.
  if (FRun->Stack->Restore()) ADevice.RestoreState(S());
  FFontChanged = true;
}

void TkwPDContentStream::InlineImage(TkwPDParser& AParser) {
  auto dict = std::make_unique<TkwPDDictionary>(FRun->Doc);
  bool sawID = false;
  for (int guard = 0; guard < kMaxInlineImageEntries; ++guard) {
    std::unique_ptr<TkwPDBaseObject> key = AParser.GetObject();
    if (!key || key->IsEOF()) return;
    if (key->IsCommand("ID")) {
      sawID = true;
      break;
    }
    if (key->IsCommand()) return;  // a keyword before ID ends the image
    if (!key->IsName()) continue;
    std::unique_ptr<TkwPDBaseObject> value = AParser.GetObject();
    if (!value || value->IsEOF()) return;
    if (value->IsCommand()) {
      if (value->IsCommand("ID")) {
        sawID = true;
        break;
      }
      return;
    }
    dict->Add(static_cast<const TkwPDName&>(*key).GetValue(), std::move(value));
  }
  if (!sawID) return;

  // The raw data runs to the first "EI" that stands as a keyword. Unfiltered data has a
  // known size, which keeps image bytes that happen to spell "EI" inside the image.
  TkwStream* in = AParser.GetStream();
  std::string raw;
  auto lookNum = [&](const char* AFull, const char* AShort) -> std::int64_t {
    std::int64_t v = dict->LookUpInt(AFull, -1);
    if (v < 0) v = dict->LookUpInt(AShort, -1);
    return v;
  };
  const bool filtered = dict->LookUp("Filter") || dict->LookUp("F");
  if (!filtered) {
    std::int64_t w = lookNum("Width", "W"), h = lookNum("Height", "H"), bpc = lookNum("BitsPerComponent", "BPC");
    const bool mask = dict->LookUpBool("ImageMask", false) || dict->LookUpBool("IM", false);
    if (mask && bpc < 0) bpc = 1;
    std::string csName = dict->LookUpName("ColorSpace");
    if (csName.empty()) csName = dict->LookUpName("CS");
    int comps = 1;
    if (csName == "DeviceRGB" || csName == "RGB") comps = 3;
    if (csName == "DeviceCMYK" || csName == "CMYK") comps = 4;
    if (w > 0 && h > 0 && bpc > 0 && w < kMaxImageDimension && h < kMaxImageDimension && bpc <= 16) {
      const std::int64_t size = (w * comps * bpc + 7) / 8 * h;
      for (std::int64_t i = 0; i < size; ++i) {
        const int c = in->GetChar();
        if (c < 0) break;
        raw.push_back(static_cast<char>(c));
      }
    }
  }
  // Scan for white-space "EI" followed by white-space, a delimiter or the end.
  int prev = raw.empty() ? ' ' : static_cast<unsigned char>(raw.back());
  std::size_t start = raw.size();
  for (std::int64_t n = 0; n < kMaxDecodedBytes; ++n) {
    const int c = in->GetChar();
    if (c < 0) break;
    if (c == 'E' && TkwPDLexer::IsWhiteSpace(prev) && in->LookChar() == 'I') {
      in->GetChar();
      const int after = in->LookChar();
      if (after < 0 || TkwPDLexer::IsWhiteSpace(after) || TkwPDLexer::IsDelimiter(after)) break;
      raw.push_back('E');
      raw.push_back('I');
      prev = 'I';
      continue;
    }
    raw.push_back(static_cast<char>(c));
    prev = c;
  }
  // Drop the white-space before EI that belongs to the syntax, not the data.
  if (raw.size() > start && TkwPDLexer::IsWhiteSpace(static_cast<unsigned char>(raw.back()))) raw.pop_back();
  std::unique_ptr<content::TInlineImage> img =
      content::MakeInlineImage(std::move(dict), std::move(raw), FResources, FRun->Doc);
  if (img && Spend(*FRun, FRun->PictureBytes, PictureBytes(img->Image()), kMaxPagePictureBytes)) {
    Dev().DrawImage(S(), img->Image());
  }
}

void TkwPDContentStream::Op_BX(int) { ++FIgnoreUndef; }
void TkwPDContentStream::Op_EX(int) {
  if (FIgnoreUndef > 0) --FIgnoreUndef;
}

// ---- page

TkwPDContents::TkwPDContents(const std::vector<TkwPDStream*>& AStreams, TkwPDResource* AResources)
    : FResources(AResources) {
  for (TkwPDStream* st : AStreams) {
    if (st) FStreams.push_back(std::make_unique<TkwPDContentStream>(st, AResources));
  }
}

TkwPDContents::~TkwPDContents() = default;

namespace {
// Maps the form's BBox, transformed by its Matrix, onto the annotation's Rect.
TkwPDMatrix AppearancePlacement(const content::TFormContent& AForm, const std::array<double, 4>& ARect) {
  const double rl = std::min(ARect[0], ARect[2]), rr = std::max(ARect[0], ARect[2]);
  const double rb = std::min(ARect[1], ARect[3]), rt = std::max(ARect[1], ARect[3]);
  TkwPDMatrix place;
  place.SetValues(1, 0, 0, 1, rl, rb);
  if (!AForm.HasBBox) return place;
  const auto& b = AForm.BBox;
  const TkwPDMatrix& m = AForm.Matrix;
  double xs[4] = {b[0], b[2], b[2], b[0]}, ys[4] = {b[1], b[1], b[3], b[3]};
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (int i = 0; i < 4; ++i) {
    const double x = m.TransformX(xs[i], ys[i]), y = m.TransformY(xs[i], ys[i]);
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  const double sx = (maxX - minX) > 1e-9 ? (rr - rl) / (maxX - minX) : 1.0;
  const double sy = (maxY - minY) > 1e-9 ? (rt - rb) / (maxY - minY) : 1.0;
  place.SetValues(sx, 0, 0, sy, rl - minX * sx, rb - minY * sy);
  return place;
}
}  // namespace

void TkwPDContents::Display(TkwPDExportDevice& ADev, TkwPDObjectResolver* ADoc, double AhDPI,
                            double AvDPI, int APageNum, int ARotate,
                            const std::array<double, 4>& ACropBox,
                            const std::vector<TkwPDAnnotDraw>& AAnnots, TkwDiagnostics* ADiag,
                            const TkwCancelFlag* ACancel) {
  TkwPDPageRun run;
  run.Device = &ADev;
  run.Doc = ADoc;
  run.Diag = ADiag;
  run.Cancel = ACancel;
  run.PageNum = APageNum;
  auto state = std::make_unique<TkwPDState>(AhDPI, AvDPI, ARotate, &ACropBox);
  state->FPageNumber = APageNum;
  run.Stack = std::make_unique<TkwPDStateStack>(std::move(state));
  content::ResetPictureCache();
  // The images of this page may be freed with it; a cancel or error must not leave them
  // in the cache for the next page.
  struct TResetPictures {
    ~TResetPictures() { content::ResetPictureCache(); }
  } resetAtEnd;
  ADev.SetDefaultCTM(run.Stack->Current().FCTM);
  ADev.StartPage(APageNum, run.Stack->Current());

  const auto& c = ACropBox;
  if (!FStreams.empty() && c[2] > c[0] && c[3] > c[1]) {
    TkwPDState& s = run.Stack->Current();
    s.MoveTo(c[0], c[3]);
    s.LineTo(c[2], c[3]);
    s.LineTo(c[2], c[1]);
    s.LineTo(c[0], c[1]);
    s.ClosePath();
    ADev.Clip(s);
    s.ClearPath();
  }

  TkwPDContentStream* prev = nullptr;
  for (auto& cs : FStreams) {
    if (run.Stopped) break;
    if (prev) cs->AddPending(prev->TakePending(), prev->GetFontChanged());
    cs->Run(run);
    prev = cs.get();
  }

  if (!AAnnots.empty() && !run.Stopped) {
    // Widget appearances come after the page content, each as a whole form placed on its
    // annotation's rectangle in page space.
    TkwPDContentStream host(nullptr, FResources);
    host.Run(run);
    for (const TkwPDAnnotDraw& a : AAnnots) {
      if (!a.Form) continue;
      const content::TFormContent fc = content::GetFormContent(*a.Form);
      ADev.SaveState(run.Stack->Current());
      if (!run.Stack->Save()) break;
      const TkwPDMatrix place = AppearancePlacement(fc, a.Rect);
      run.Stack->Current().ConcatCTM(place);
      ADev.UpdateCTM(run.Stack->Current(), place);
      TkwPDFormPlayer* saved = ADev.FormPlayer;
      ADev.FormPlayer = &host;
      ADev.DrawFormXObject(run.Stack->Current(), *a.Form);
      ADev.FormPlayer = saved;
      if (run.Stack->Restore()) ADev.RestoreState(run.Stack->Current());
    }
  }
  ADev.EndPage();
}

}  // namespace qm
