#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/Cancelled.h"
#include "base/kwObject.h"
#include "pdf/content/ContentBridge.h"
#include "pdf/content/kwPDExportDevice.h"
#include "pdf/content/kwPDState.h"

namespace qm {

class TkwPDBaseObject;
class TkwPDStream;
class TkwPDResource;
class TkwPDObjectResolver;
class TkwPDParser;
class TkwPDFont;
class TkwDiagnostics;

enum class TkwClip : std::uint8_t { clipNone, clipNormal, clipEO };

// Operand kinds of the operator table.
enum class TkwArgKind : std::uint8_t {
  akBool,
  akInt,
  akNum,
  akString,
  akName,
  akArray,
  akDictOrName,
  akNumOrName,
  akAny,
};

class TkwPDContentStream;
using TkwOperation = void (TkwPDContentStream::*)(int ANumArgs);

// One row of the operator table: NumArgs ≥ 0 is a fixed count, −m means at most m.
struct TkwOperator {
  const char* Name;
  int NumArgs;
  std::array<TkwArgKind, 6> ArgChk;
  TkwOperation Operation;
};

// An image drawn on a page: the image, where (the CTM) and in what fill colour (that of
// an image mask).
struct TkwPlacedImage {
  const void* Image = nullptr;
  std::array<double, 6> Place{};
  std::array<std::int32_t, 3> Fill{};
  bool operator==(const TkwPlacedImage&) const = default;
};
struct TkwPlacedImageHash {
  std::size_t operator()(const TkwPlacedImage& A) const noexcept;
};

// What the streams of one page share: the device, the state stack and the bookkeeping
// that keeps forms from nesting without end.
struct TkwPDPageRun {
  TkwPDExportDevice* Device = nullptr;       // not owned
  TkwPDObjectResolver* Doc = nullptr;        // not owned
  TkwDiagnostics* Diag = nullptr;            // not owned; may be null
  std::unique_ptr<TkwPDStateStack> Stack;
  int PageNum = 0;
  int FormDepth = 0;
  int Errors = 0;                            // tolerated errors on this page
  const TkwCancelFlag* Cancel = nullptr;     // not owned; may be null
  // Work done so far against the page budget (base/Limits.h). Once any part is spent the
  // page is Stopped: every loop of the page ends and the page keeps what it has drawn.
  std::int64_t Operators = 0;
  std::int64_t FormsEntered = 0;
  std::int64_t Glyphs = 0;
  std::int64_t Paths = 0;
  std::int64_t PictureBytes = 0;
  bool Stopped = false;
  // Images drawn so far: one drawn again where it already is adds nothing to see, so it is
  // neither drawn nor counted again (a page may paint one image thousands of times).
  std::unordered_set<TkwPlacedImage, TkwPlacedImageHash> PlacedImages;
  std::vector<std::uint32_t> FormChain;      // object numbers of the forms being played
  // Marked content: the open BMC/BDC sections, and the replacement text of the ActualText
  // section that is open (ActualTextDepth is its nesting level, 0 when none is).
  int MarkedDepth = 0;
  int ActualTextDepth = 0;
  bool ActualTextShown = false;
  std::u16string ActualText;
};

// Interprets one content stream: reads objects, keeps the operands of the next operator,
// checks them against the operator table, updates the state and reports to the device.
// Unknown operators and wrong operands are skipped; an error inside the stream ends it.
class TkwPDContentStream : public TkwObject, public TkwPDFormPlayer {
public:
  // AStream and AResources are borrowed (the document keeps them).
  TkwPDContentStream(TkwPDStream* AStream, TkwPDResource* AResources);
  ~TkwPDContentStream() override;

  // Runs the stream against ARun's device and state. Operands left over at the end stay
  // pending so the next stream of the page can take them (TakePending / AddPending).
  void Run(TkwPDPageRun& ARun);

  std::vector<std::unique_ptr<TkwPDBaseObject>> TakePending();
  void AddPending(std::vector<std::unique_ptr<TkwPDBaseObject>> AArgs, bool AFontChanged);
  [[nodiscard]] bool GetFontChanged() const { return FFontChanged; }

  // Plays a form: q, Matrix, BBox clip, the form's content with its own resources (the
  // caller's when it has none), Q. Depth-limited; a form inside itself is skipped.
  void PlayForm(TkwPDState& AState, TkwPDForm& AForm, TkwPDExportDevice& ADevice) override;

private:
  friend struct TkwOperatorTable;
  TkwPDState& S();
  TkwPDExportDevice& Dev() { return *FRun->Device; }
  void MainLoop(TkwPDParser& AParser);
  void Dispatch(const std::string& AName);
  bool CheckArgs(const TkwOperator& AOp, int ACount) const;
  double Num(int AIndex) const;
  void EndPath();
  void Paint(bool AFill, bool AEvenOdd, bool AStroke, bool AClose);
  void ShowString(const TkwPDBaseObject& AStr);
  void ShowBytes(const std::u16string& AStr);
  // Draws the open ActualText section's text in place of the glyph at the current point.
  void DrawActualText(TkwPDState& AState, double ATx, double ATy);
  void DrawUnicodeText(TkwPDState& AState, std::u16string_view AText, double ATx, double ATy);
  void BeginTextShow();
  void InlineImage(TkwPDParser& AParser);
  void SetFillColorOps(int ANumArgs, bool AStroke, bool APatternAware);
  void SetDeviceColor(int ANumArgs, bool AStroke, content::TDeviceSpace AKind);

  // Operator handlers, one per row group.
  void Op_q(int);
  void Op_Q(int);
  void Op_cm(int);
  void Op_w(int);
  void Op_M(int);
  void Op_i(int);
  void Op_J(int);
  void Op_j(int);
  void Op_d(int);
  void Op_gs(int);
  void Op_Ignore(int);
  void Op_sh(int);
  void Op_BMC(int);
  void Op_BDC(int);
  void Op_EMC(int);
  void Op_m(int);
  void Op_l(int);
  void Op_c(int);
  void Op_v(int);
  void Op_y(int);
  void Op_re(int);
  void Op_h(int);
  void Op_S(int);
  void Op_s(int);
  void Op_f(int);
  void Op_fStar(int);
  void Op_B(int);
  void Op_BStar(int);
  void Op_b(int);
  void Op_bStar(int);
  void Op_n(int);
  void Op_W(int);
  void Op_WStar(int);
  void Op_BT(int);
  void Op_ET(int);
  void Op_Tc(int);
  void Op_Tw(int);
  void Op_Tz(int);
  void Op_TL(int);
  void Op_Tf(int);
  void Op_Tr(int);
  void Op_Ts(int);
  void Op_Td(int);
  void Op_TD(int);
  void Op_TStar(int);
  void Op_Tm(int);
  void Op_Tj(int);
  void Op_Apostrophe(int);
  void Op_Quote(int);
  void Op_TJ(int);
  void Op_g(int);
  void Op_rg(int);
  void Op_k(int);
  void Op_G(int);
  void Op_RG(int);
  void Op_K(int);
  void Op_cs(int);
  void Op_CS(int);
  void Op_sc(int);
  void Op_SC(int);
  void Op_scn(int);
  void Op_SCN(int);
  void Op_Do(int);
  void Op_BX(int);
  void Op_EX(int);

  TkwPDStream* FStream;        // not owned
  TkwPDResource* FResources;   // not owned
  TkwPDPageRun* FRun = nullptr;  // not owned; set for the duration of Run
  TkwPDParser* FParser = nullptr;  // not owned; the parser of the running loop
  TkwClip FClip = TkwClip::clipNone;
  int FIgnoreUndef = 0;
  bool FFontChanged = false;
  std::vector<std::unique_ptr<TkwPDBaseObject>> FArgs;
  std::string FPendingInline;  // set by Dispatch when BI needs the parser
  std::string FCharName;       // the glyph name handed to DrawChar, reused glyph after glyph
};

// A widget appearance to draw after the page content: the form and the annotation's
// Rect (left, bottom, right, top in any order, as written).
struct TkwPDAnnotDraw {
  TkwPDForm* Form = nullptr;  // not owned
  std::array<double, 4> Rect{0, 0, 0, 0};
};

// The page's content streams, in order, interpreted into one device with one state.
class TkwPDContents : public TkwObject {
public:
  // The streams and resources are borrowed from the page.
  TkwPDContents(const std::vector<TkwPDStream*>& AStreams, TkwPDResource* AResources);
  ~TkwPDContents() override;
  [[nodiscard]] std::size_t GetStreamCount() const { return FStreams.size(); }

  // Renders the page: StartPage, crop clip, every stream, the widget appearances (each
  // placed on its Rect and handed to the device as a form), EndPage. ACropBox is the box
  // the state is built over (left, bottom, right, top). A page over its work budget ends
  // early (dcPageBudget) and still gets EndPage. With ACancel set the page stops between
  // two operators or glyphs with ECancelled, without EndPage.
  void Display(TkwPDExportDevice& ADev, TkwPDObjectResolver* ADoc, double AhDPI, double AvDPI,
               int APageNum, int ARotate, const std::array<double, 4>& ACropBox,
               const std::vector<TkwPDAnnotDraw>& AAnnots, TkwDiagnostics* ADiag = nullptr,
               const TkwCancelFlag* ACancel = nullptr);

private:
  std::vector<std::unique_ptr<TkwPDContentStream>> FStreams;
  TkwPDResource* FResources;  // not owned
};

}  // namespace qm
