#include "writer/kwRTFDoc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "base/TempFiles.h"
#include "base/kwWorkQueue.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/Shell.h"
#include "writer/kwEmfEncoder.h"

namespace qm {

namespace {

std::string SystemReason(int AErrno) { return std::strerror(AErrno); }

// Writes all bytes, retrying short writes.
bool WriteAll(int AFd, std::string_view ABytes) {
  while (!ABytes.empty()) {
    const ssize_t n = ::write(AFd, ABytes.data(), ABytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    ABytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The creation time reproducible builds ask for (SOURCE_DATE_EPOCH, seconds since 1970);
// nothing when it is unset or not a plain number.
std::optional<std::int64_t> SourceDateEpoch() {
  const char* value = std::getenv("SOURCE_DATE_EPOCH");
  if (value == nullptr || *value == 0) return std::nullopt;
  std::int64_t seconds = 0;
  const char* end = value + std::strlen(value);
  const auto [ptr, ec] = std::from_chars(value, end, seconds);
  if (ec != std::errc() || ptr != end || seconds < 0) return std::nullopt;
  return seconds;
}

}  // namespace

// Identifiers come from a fixed sequence: the same input gives the same file.
TkwRTFDoc::TkwRTFDoc() : FRandom(MakeFixedRandomProvider()) {
  FImageSettings->OutputImageFormat = TkwOutputImageFormat::ifPNG;
  FImageSettings->ScaleToFrame = true;
  FImageSettings->KeepAspectRatio = false;
  ResetTree();
}

TkwRTFDoc::~TkwRTFDoc() { RemoveTempFile(); }

void TkwRTFDoc::ResetTree() {
  FOpenPara.reset();
  FRunTarget = nullptr;
  FTable.reset();
  FTextBox.reset();
  FHeader = std::make_unique<TkwRTFHeader>(*FStyleManager, FRandom);
  FDocArea = std::make_unique<TkwRTFDocArea>();
  FCurrentSection = &FDocArea->AddSection(kSectionNewPage);
  FCurrentList = &FCurrentSection->GetBody();
  FPrepared.clear();
  FPending.clear();
  FInFlight.clear();
  FInFlightBytes = 0;
}

void TkwRTFDoc::SetRandomProvider(std::shared_ptr<TkwRandomProvider> ARandom) {
  FRandomInjected = ARandom != nullptr;
  FRandom = ARandom ? std::move(ARandom) : MakeFixedRandomProvider();
  FHeader->SetRandom(FRandom);
}

void TkwRTFDoc::RemoveTempFile() {
  if (!FTempFileName.empty()) {
    ::unlink(FTempFileName.c_str());
    UnregisterTempFile(FTempFileName);
    FTempFileName.clear();
  }
}

void TkwRTFDoc::Fail(const std::exception& AError) {
  if (FErrorHandler) {
    FErrorHandler(*this, AError);
    return;
  }
  throw;
}

TkwRect TkwRTFDoc::ToNative(const TkwRect& ARect) const {
  return {ARect.Left * FUnitFactor, ARect.Top * FUnitFactor, ARect.Right * FUnitFactor,
          ARect.Bottom * FUnitFactor};
}

void TkwRTFDoc::SetMeasurementUnit(TkwMeasurementUnit AUnit) {
  FMeasurementUnit = AUnit;
  FUnitFactor = MeasurementFactor(AUnit);
  FCurrentPageSettings->SetNativeFactor(FUnitFactor);
  FTextFormatting->SetNativeFactor(FUnitFactor);
}

void TkwRTFDoc::SetPageSettings(const TkwPageSettings& ASettings) {
  FCurrentPageSettings->Assign(ASettings);
  FCurrentSection->GetPageSettings().Assign(ASettings);
}

// ---------------------------------------------------------------------------------------
// Document and pages

void TkwRTFDoc::BeginDoc() {
  WriterGuardedCall([&] {
    RemoveTempFile();
    FRTFText.clear();
    FDocArea->GetPageSettings().Assign(*FCurrentPageSettings);
    if (!FRandomInjected) {
      // Every document starts the sequence afresh, whatever the writer wrote before.
      FRandom = MakeFixedRandomProvider();
      FHeader->SetRandom(FRandom);
    }
    FHeader->SetCreationTime(SourceDateEpoch());
    if (!FOutputFileName.empty()) {
      // The temporary file is made only when the document is written, so that a conversion
      // ended any other way leaves nothing; a folder it could not be made in fails now.
      const std::filesystem::path target(FOutputFileName);
      const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
      if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw std::runtime_error("Cannot create file \"" + FOutputFileName + "\". " + SystemReason(errno));
      }
    }
    FPages.clear();
    FImages.clear();
    FBodyEstimate = 0;
    FPageNumber = 0;
    FPageCount = 0;
    FDocBegun = true;
    FInTable = false;
    NewPage();
  });
}

int TkwRTFDoc::NewPage() {
  return WriterGuardedCall([&] {
    if (FPageCount > 0) {
      // Content left open on the page before is kept, not dropped.
      if (FOpenPara) EndPara();
      if (FTable) EndTable();
      if (FTextBox) EndTextBox();
      FCurrentSection = &FDocArea->AddSection(kSectionNewPage);
      FCurrentList = &FCurrentSection->GetBody();
    }
    FCurrentSection->GetPageSettings().Assign(*FCurrentPageSettings);
    ++FPageCount;
    FPageNumber = FPageCount;
    auto item = std::make_unique<TkwPageItem>();
    item->PageSettings.Assign(*FCurrentPageSettings);
    FPages.push_back(std::move(item));
    FInTable = false;
    FInTextBox = false;
    FInList = false;
    FLastPictureRect.reset();
    return FPageCount;
  });
}

void TkwRTFDoc::BeginColumns(int AColumnCount, int AColumnSpacing, const TkwColumnSections& AColumns) {
  WriterGuardedCall([&] {
    TkwRTFSection& section = FDocArea->AddSection(kSectionColumns);
    section.ColumnCount = AColumnCount;
    section.ColumnSpacing = AColumnSpacing;
    for (const TkwColumnSection& c : AColumns) {
      section.Columns.push_back({c.SpaceAfter * FUnitFactor, c.Width * FUnitFactor});
    }
    section.GetPageSettings().Assign(*FCurrentPageSettings);
    FCurrentSection = &section;
    FCurrentList = &section.GetBody();
  });
}

void TkwRTFDoc::NewSection() {
  TkwRTFSection& section = FDocArea->AddSection(kSectionContinuous);
  section.GetPageSettings().Assign(*FCurrentPageSettings);
  FCurrentSection = &section;
  FCurrentList = &section.GetBody();
}

void TkwRTFDoc::ColumnBreak() { FCurrentList->push_back(std::make_unique<TkwRTFColumnBreak>()); }

void TkwRTFDoc::EndDoc() {
  if (!FDocBegun) return;
  // Not a scope guard: putting the writer back to an empty document builds a new element
  // tree, which allocates, and a guard's cleanup must not fail.
  try {
    WriterGuardedCall([&] {
      ResolvePending();
      if (FOpenPara) EndPara();
      if (FTable) EndTable();
      if (FTextBox) EndTextBox();
      // The document area goes first so that every font and colour it registers (cell
      // shading) is in the header's tables; the file still begins with the header.
      // Room for the whole body at once: growing it step by step would hold two copies.
      std::size_t estimate = FBodyEstimate + 4096;
      for (const TkwImageEntry& image : FImages) {
        if (image.Data) estimate += image.Data->Bytes.size() * 2 + image.Data->HexPrefix.size() + 512;
      }
      std::string body;
      body.reserve(estimate);
      FDocArea->Write(body);
      body += "}";
      std::string head;
      FHeader->Write(head);
      // The tree is written out: free it before the file is, since it is the larger part.
      ResetTree();
      WriteOutput(head, std::move(body));
    });
  } catch (...) {
    RemoveTempFile();
    FPages.clear();
    FImages.clear();
    FBodyEstimate = 0;
    FStates.clear();
    FPageCount = 0;
    FPageNumber = 0;
    FDocBegun = false;
    ResetTree();
    throw;
  }
  FPages.clear();
  FImages.clear();
  FBodyEstimate = 0;
  FStates.clear();
  FPageCount = 0;
  FPageNumber = 0;
  FDocBegun = false;
  FParaBegun = false;
  ResetTree();
  if (FOpenAfterCreate && !FOutputFileName.empty()) ShellOpen(FOutputFileName);
}

void TkwRTFDoc::WriteOutput(const std::string& AHead, std::string&& ABody) {
  if (FOutputFileName.empty()) {
    if (FOutputStream) {
      FOutputStream->write(AHead.data(), static_cast<std::streamsize>(AHead.size()));
      FOutputStream->write(ABody.data(), static_cast<std::streamsize>(ABody.size()));
      FOutputStream->flush();
      if (!*FOutputStream) throw std::runtime_error("Cannot write the document to the output stream");
    } else {
      FRTFText = std::move(ABody);
      FRTFText.insert(0, AHead);
    }
    return;
  }
  const std::string& path = FOutputFileName;
  if (!FDocBegun) {
    throw std::runtime_error("Cannot create file \"" + path + "\". The document was not begun");
  }
  // Written beside the target under a hidden name made with O_EXCL and mode 0600, flushed
  // to the disk, given the target's permissions and renamed over it: the target is either
  // the old file or the whole new one. Every failure removes the temporary file.
  const std::filesystem::path target(path);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::string hidden(".");
  hidden.append(target.filename().string()).append(".XXXXXX");
  std::string pattern = (folder / hidden).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) throw std::runtime_error("Cannot create file \"" + path + "\". " + SystemReason(errno));
  FTempFileName = pattern;
  RegisterTempFile(FTempFileName);
  const auto fail = [&](int AErrno, const char* AVerb) {
    ::close(fd);
    RemoveTempFile();
    throw std::runtime_error(std::string(AVerb) + " file \"" + path + "\". " + SystemReason(AErrno));
  };
  // The finished file gets the permissions a new file would get, or those of the file it
  // replaces.
  struct stat existing {};
  mode_t mode;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (!WriteAll(fd, AHead) || !WriteAll(fd, ABody)) fail(errno, "Cannot write");
  if (::fsync(fd) != 0) fail(errno, "Cannot write");
  if (::fchmod(fd, mode) != 0) fail(errno, "Cannot write");
  if (::close(fd) != 0) {
    const int err = errno;
    RemoveTempFile();
    throw std::runtime_error("Cannot write file \"" + path + "\". " + SystemReason(err));
  }
  if (::rename(FTempFileName.c_str(), path.c_str()) != 0) {
    const int err = errno;
    RemoveTempFile();
    throw std::runtime_error("Cannot create file \"" + path + "\". " + SystemReason(err));
  }
  UnregisterTempFile(FTempFileName);
  FTempFileName.clear();
  // The new name itself reaches the disk with the folder.
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
}

// ---------------------------------------------------------------------------------------
// Paragraphs and runs

void TkwRTFDoc::BeginPara(std::string_view AStyleName) {
  WriterGuardedCall([&] {
    if (FOpenPara) EndPara();  // a paragraph left open keeps its text
    std::uint8_t flags = 0;
    if (FInTable) flags |= kParaInTable;
    if (FInList) flags |= kParaInList;
    const int style = AStyleName.empty() ? -1 : FStyleManager->IndexOfStyle(AStyleName);
    auto para = std::make_unique<TkwRTFParagraph>(*FHeader, flags, style);
    if (FInList) para->ListIndex = FListIndex;
    TkwParagraphItem& item = para->GetItem();
    item.TextFormatting.Assign(*FTextFormatting);
    item.Font = FFont;
    item.Brush = FBrush;
    item.TextEffects.Assign(FTextEffects);
    FRunTarget = para.get();
    FOpenPara = std::move(para);
    FParaBegun = true;
  });
}

void TkwRTFDoc::BeginCellPara(int ACellIndex, std::string_view AStyleName) {
  FCellIndex = ACellIndex;
  BeginPara(AStyleName);
}

void TkwRTFDoc::EndPara() {
  if (!FOpenPara) return;
  // A finished paragraph keeps no spare room: documents hold every run until EndDoc.
  FOpenPara->GetItem().Runs.shrink_to_fit();
  if (FInTable && FTable) {
    TkwRTFCell* cell = FTable->LastRowCell(FCellIndex);
    if (!cell) {
      // No such cell: the paragraph has nowhere valid to go.
      FOpenPara.reset();
      FRunTarget = nullptr;
      return;
    }
    cell->VAlign = FTableSettings->CellVAlign;
    cell->HAlign = FTableSettings->CellHAlign;
    cell->AddParagraph(std::move(FOpenPara));
  } else if (FInTextBox && FTextBox) {
    FTextBox->AddParagraph(std::move(FOpenPara));
  } else {
    FCurrentList->push_back(std::move(FOpenPara));
  }
}

void TkwRTFDoc::AddRunToTarget(std::u16string_view AText, double ATab, double ASpacing,
                               const std::u16string* ABookmark) {
  if (!FDocBegun || !FParaBegun || !FRunTarget) return;
  const int font = FHeader->FontIndex(FFont);
  const int color = FHeader->ColorIndex(FFont.Color);
  FBodyEstimate += AText.size() + 40;  // the text and a run's control words
  if (ABookmark) {
    FRunTarget->AddBookmarkRun(AText, font, *ABookmark, ATab * FUnitFactor, ASpacing * FUnitFactor,
                               FFont.Charset, FFont.Size, FFont.Style, color);
  } else {
    FRunTarget->AddRun(AText, font, ATab * FUnitFactor, ASpacing * FUnitFactor, FFont.Charset,
                       FFont.Size, FFont.Style, color);
  }
  if (FTextRise != 0 && !FRunTarget->GetItem().Runs.empty()) {
    FRunTarget->GetItem().Runs.back().RiseHalfPoints = RoundEven(std::clamp(FTextRise, -500.0, 500.0) * 2);
  }
}

void TkwRTFDoc::WriteCellText(int ACellIndex, std::u16string_view AText) {
  FCellIndex = ACellIndex;
  AddRunToTarget(AText, 0, 0, nullptr);
}

int TkwRTFDoc::WriteText(std::u16string_view AText, double ATabPosition, double ACharSpacing) {
  AddRunToTarget(AText, ATabPosition, ACharSpacing, nullptr);
  return 0;
}

int TkwRTFDoc::WriteBookmarkText(std::u16string_view AText, std::u16string_view ABookmarkName,
                                 double ATabPosition, double ACharSpacing) {
  try {
    FBookmarkManager->AddBookmark(ABookmarkName);
    const std::u16string name(ABookmarkName);
    AddRunToTarget(AText, ATabPosition, ACharSpacing, &name);
    return 0;
  } catch (const std::exception&) {
    return kWriterOperationFailed;
  }
}

void TkwRTFDoc::BeginTextBox(const TkwRect& ARect, std::uint8_t AHAlign, std::uint8_t AVAlign) {
  if (FTextBox) EndTextBox();
  TPen pen;
  pen.Color = clNone;
  pen = FPen;
  FTextBox = std::make_unique<TkwRTFTextbox>(ToNative(ARect), AHAlign, AVAlign, pen);
  FInTextBox = true;
}

void TkwRTFDoc::EndTextBox() {
  if (!FTextBox) return;
  if (FOpenPara && FInTextBox && !FInTable) EndPara();
  FCurrentList->push_back(std::move(FTextBox));
}

// ---------------------------------------------------------------------------------------
// Styles and lists

int TkwRTFDoc::AddStyle(const TFont& AFont, TColor AColor, std::string_view AStyleName) {
  return FHeader->AddStyle(AFont, AColor, AStyleName);
}

int TkwRTFDoc::BeginNumberedList(std::uint8_t ANumberFormat, std::uint8_t AAlignment, int AStartAt,
                                 std::uint8_t AFollow, char16_t ALabelClose) {
  FListIndex = FHeader->AddNumberList(ANumberFormat, AStartAt, AAlignment, AFollow, ALabelClose);
  FInList = true;
  return FListIndex;
}

int TkwRTFDoc::BeginBulletList(const TFont& AFont, char16_t ABulletChar, int AStartAt,
                               std::uint8_t AFollow, std::uint8_t AAlignment) {
  FListIndex = FHeader->AddBulletList(AFont, ABulletChar, 23, AAlignment, AFollow, AStartAt);
  FInList = true;
  return FListIndex;
}

void TkwRTFDoc::ContinueList(int AListIndex) {
  FListIndex = AListIndex;
  FInList = true;
}

void TkwRTFDoc::EndList() { FInList = false; }

// ---------------------------------------------------------------------------------------
// Pictures

bool TkwRTFDoc::AcceptGraphic(const TGraphic& AGraphic) {
  if (!FDocBegun) return false;
  const bool known = dynamic_cast<const TBitmap*>(&AGraphic) || dynamic_cast<const TJPEGImage*>(&AGraphic) ||
                     dynamic_cast<const TMetafile*>(&AGraphic) || dynamic_cast<const TkwVectorPicture*>(&AGraphic);
  if (!known) {
    if (FDiag) FDiag->Note(TkwDiagCode::dcPictureDropped);
    try {
      throw EUnsupportedGraphics();
    } catch (const EUnsupportedGraphics& e) {
      Fail(e);
    }
    return false;
  }
  return true;
}

int TkwRTFDoc::AddGraphic(const TGraphic& AGraphic) {
  if (!AcceptGraphic(AGraphic)) return -1;
  FImages.push_back({AGraphic.Clone(), nullptr});
  return static_cast<int>(FImages.size()) - 1;
}

namespace {

std::size_t PixelBytes(const TBitmap& ABitmap) {
  return ABitmap.GetStride() * static_cast<std::size_t>(ABitmap.GetHeight());
}

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() ||
      A.GetPixelFormat() != B.GetPixelFormat() || A.FTransparent != B.FTransparent ||
      A.FTransparentColor != B.FTransparentColor || A.GetPalette() != B.GetPalette()) {
    return false;
  }
  const std::size_t row =
      static_cast<std::size_t>(A.GetWidth()) * static_cast<std::size_t>(A.GetBitsPerPixel()) / 8;
  for (int y = 0; y < A.GetHeight(); ++y) {
    if (std::memcmp(A.ScanLine(y).data(), B.ScanLine(y).data(), row) != 0) return false;
  }
  return true;
}

// Notes a picture that came out empty, and a JPEG that could not go in as it came.
void NotePicture(TkwDiagnostics* ADiag, const TGraphic& AGraphic, const TkwPictureData& AData) {
  if (!ADiag) return;
  if (AData.Bytes.empty()) {
    ADiag->Note(TkwDiagCode::dcPictureDropped);
  } else if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&AGraphic);
             jpeg && !jpeg->IsEmpty() && jpeg->GetComponents() != 1 && jpeg->GetComponents() != 3) {
    ADiag->Note(TkwDiagCode::dcWriterFallback);
  }
}

}  // namespace

bool TkwRTFDoc::MayPrepare(const TGraphic& AGraphic) {
  if (!FDocBegun || FPrepared.size() >= kMaxPreparedPictures || !RendersFromPixelsAlone(AGraphic, *FImageSettings)) {
    return false;
  }
  const std::size_t bytes = PixelBytes(static_cast<const TBitmap&>(AGraphic));
  if (bytes > kMaxPictureBytesInFlight) return false;
  while (!FInFlight.empty() &&
         (FInFlightBytes + bytes > kMaxPictureBytesInFlight ||
          FInFlight.front().first.wait_for(std::chrono::seconds(0)) == std::future_status::ready)) {
    FInFlight.front().first.wait();
    FInFlightBytes -= FInFlight.front().second;
    FInFlight.pop_front();
  }
  return true;
}

void TkwRTFDoc::StartPreparing(const TGraphic& ASource, std::shared_ptr<const TGraphic> APixels) {
  auto settings = std::make_shared<TkwImageSettings>();
  settings->Assign(*FImageSettings);
  auto data = FPictureQueue.Submit<TkwPictureData>(
      [APixels, settings, brush = FBrush] { return RenderPictureData(*APixels, *settings, brush); });
  if (!data) return;
  const std::size_t bytes = PixelBytes(static_cast<const TBitmap&>(*APixels));
  FPrepared.push_back({&ASource, std::move(APixels), *data, nullptr});
  FInFlight.emplace_back(std::move(*data), bytes);
  FInFlightBytes += bytes;
}

void TkwRTFDoc::PreparePicture(const TGraphic& AGraphic) {
  if (!MayPrepare(AGraphic)) return;
  std::shared_ptr<const TGraphic> copy;
  try {
    copy = AGraphic.Clone();
  } catch (const std::bad_alloc&) {
    return;  // encoded when it is placed, as any other picture
  }
  StartPreparing(AGraphic, std::move(copy));
}

void TkwRTFDoc::PreparePicture(std::shared_ptr<const TGraphic> AGraphic) {
  if (!AGraphic) return;
  for (const TkwPreparedPicture& p : FPrepared) {
    if (p.Copy == AGraphic) return;
  }
  if (!MayPrepare(*AGraphic)) return;
  const TGraphic& source = *AGraphic;
  StartPreparing(source, std::move(AGraphic));
}

std::shared_ptr<const TkwPictureData> TkwRTFDoc::TakePrepared(const TGraphic& AGraphic) {
  for (auto it = FPrepared.begin(); it != FPrepared.end(); ++it) {
    if (it->Source != &AGraphic) continue;
    // The data is the one placing would make only if the pixels are still the ones copied
    // and the settings still make it from them alone. A shared graphic is never changed,
    // and stays for its other placements.
    const bool shared = it->Copy.get() == &AGraphic;
    if (!RendersFromPixelsAlone(AGraphic, *FImageSettings) ||
        (!shared && !SamePixels(static_cast<const TBitmap&>(AGraphic), static_cast<const TBitmap&>(*it->Copy)))) {
      FPrepared.erase(it);
      return nullptr;
    }
    if (!it->Target) {
      it->Target = std::make_shared<TkwPictureData>();
      FPending.push_back({it->Target, it->Data});
    }
    std::shared_ptr<const TkwPictureData> target = it->Target;
    if (!shared) FPrepared.erase(it);
    return target;
  }
  return nullptr;
}

void TkwRTFDoc::ResolvePending() {
  for (TkwPendingPicture& p : FPending) {
    try {
      *p.Target = p.Data.get();
      if (FDiag && p.Target->Bytes.empty()) FDiag->Note(TkwDiagCode::dcPictureDropped);
    } catch (const std::future_error&) {
      // The queue stopped (the process is ending): the picture is left without data.
    }
  }
  FPending.clear();
  FInFlight.clear();
  FInFlightBytes = 0;
}

void TkwRTFDoc::EndPage() {
  FPrepared.clear();
  TkwDocumentWriter::EndPage();
}

void TkwRTFDoc::PlaceNewGraphic(const TkwRect& ANativeRect, const TGraphic& AGraphic) {
  if (!AcceptGraphic(AGraphic)) return;
  std::shared_ptr<const TkwPictureData> data = TakePrepared(AGraphic);
  if (!data) {
    data = std::make_shared<const TkwPictureData>(RenderPictureData(
        AGraphic, *FImageSettings, FBrush, ANativeRect.Right - ANativeRect.Left, ANativeRect.Bottom - ANativeRect.Top));
    NotePicture(FDiag, AGraphic, *data);
  }
  FImages.push_back({nullptr, data});
  FCurrentList->push_back(std::make_unique<TkwRTFPicture>(std::move(data), *FImageSettings, FBrush, ANativeRect,
                                                          static_cast<int>(FImages.size()) - 1));
}

void TkwRTFDoc::PlacePicture(const TkwRect& ANativeRect, int AImageIndex) {
  if (AImageIndex < 0 || AImageIndex >= static_cast<int>(FImages.size())) return;
  TkwImageEntry& entry = FImages[static_cast<std::size_t>(AImageIndex)];
  if (entry.Graphic) {
    entry.Data = std::make_shared<const TkwPictureData>(
        RenderPictureData(*entry.Graphic, *FImageSettings, FBrush, ANativeRect.Right - ANativeRect.Left,
                          ANativeRect.Bottom - ANativeRect.Top));
    NotePicture(FDiag, *entry.Graphic, *entry.Data);
  }
  FCurrentList->push_back(
      std::make_unique<TkwRTFPicture>(entry.Data, *FImageSettings, FBrush, ANativeRect, AImageIndex));
}

void TkwRTFDoc::DrawGraphic(const TGraphic& AGraphic, double AX, double AY) {
  const double scale = kScreenDpi / 96.0;
  PlaceNewGraphic({AX, AY, AX + AGraphic.GetWidth() * scale, AY + AGraphic.GetHeight() * scale}, AGraphic);
}

void TkwRTFDoc::AddImage(const TkwRect& ARect, const TGraphic& AGraphic) {
  if (!FDocBegun) return;
  const TkwRect rect = ToNative(ARect);
  if (FLastPictureRect && *FLastPictureRect == rect) return;  // the same picture drawn twice
  const std::size_t before = FImages.size();
  // The frame's width comes in the measurement unit, as the rectangle does.
  const double borderWidth = FImageSettings->Border.Width;
  FImageSettings->Border.Width *= FUnitFactor;
  PlaceNewGraphic(rect, AGraphic);
  FImageSettings->Border.Width = borderWidth;
  if (FImages.size() == before) return;
  FLastPictureRect = rect;
}

void TkwRTFDoc::DrawGraphicIndex(const TkwRect& ARect, int AImageIndex) {
  if (!FDocBegun) return;
  PlacePicture(ToNative(ARect), AImageIndex);
}

// ---------------------------------------------------------------------------------------
// Shapes

void TkwRTFDoc::AddShape(int AKind, const TkwPoints& APoints, bool AFilled) {
  if (!FDocBegun) return;
  FCurrentList->push_back(std::make_unique<TkwRTFShapes>(AKind, APoints, FPen, AFilled, FBrush, *FRandom));
}

void TkwRTFDoc::DrawLine(const TkwPoint& AP1, const TkwPoint& AP2) { AddShape(kShapeLine, {AP1, AP2}, false); }
void TkwRTFDoc::DrawRectangle(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) {
  AddShape(kShapeRectangle, {AP1, AP2}, AFilled);
}
void TkwRTFDoc::DrawRoundRect(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2, const TkwPoint& ACorner) {
  AddShape(kShapeRoundRect, {AP1, AP2, ACorner}, AFilled);
}
void TkwRTFDoc::DrawEllipse(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) {
  AddShape(kShapeEllipse, {AP1, AP2}, AFilled);
}
void TkwRTFDoc::DrawPolygon(const TkwPoints& APoints, bool AFilled) { AddShape(kShapePolygon, APoints, AFilled); }
void TkwRTFDoc::DrawPolyline(const TkwPoints& APoints) { AddShape(kShapePolyline, APoints, false); }
void TkwRTFDoc::DrawArc(const TkwPoint& AP1, const TkwPoint& AP2, const TkwPoint& AStart, const TkwPoint& AEnd) {
  AddShape(kShapeArc, {AP1, AP2, AStart, AEnd}, false);
}

// ---------------------------------------------------------------------------------------
// Tables

int TkwRTFDoc::BeginTable(int AColumnCount, double ALeftOffset, double ATop) {
  if (FTable) EndTable();
  FTable = std::make_unique<TkwRTFTableItem>(*FHeader, ALeftOffset * FUnitFactor, ATop * FUnitFactor);
  FColumnCount = AColumnCount;
  FInTable = true;
  return 0;
}

int TkwRTFDoc::AddRow(double AHeight) {
  try {
    if (!FTable) return kWriterOperationFailed;
    FTable->AddRow(FColumnCount, AHeight * FUnitFactor);
    return 0;
  } catch (const std::exception&) {
    return kWriterOperationFailed;
  }
}

int TkwRTFDoc::AddAutoRow() {
  try {
    if (!FTable) return kWriterOperationFailed;
    FTable->AddRow(FColumnCount, kAutoRowHeight);
    return 0;
  } catch (const std::exception&) {
    return kWriterOperationFailed;
  }
}

void TkwRTFDoc::SetCellWidth(int ACellIndex, double AWidth) {
  if (!FTable) return;
  if (TkwRTFCell* cell = FTable->LastRowCell(ACellIndex)) {
    cell->Width = AWidth * FUnitFactor;
    cell->Brush = FBrush;
    cell->Pen = FPen;
  }
}

void TkwRTFDoc::SetCellRight(int ACellIndex, double APosition) {
  if (!FTable) return;
  if (TkwRTFCell* cell = FTable->LastRowCell(ACellIndex)) {
    cell->RightBoundary = APosition * FUnitFactor;
    cell->Brush = FBrush;
    cell->Pen = FPen;
    const TkwTableSettings& ts = *FTableSettings;
    for (int i = 0; i < 4; ++i) {
      cell->Borders[i] = ts.CellBorders[i];
      cell->Borders[i].Width *= FUnitFactor;
    }
    cell->Shading = ts.CellShading;
    cell->MergeAcross = ts.CellMergeAcross;
    cell->MergeDown = ts.CellMergeDown;
  }
}

void TkwRTFDoc::EndTable() {
  if (!FTable) return;
  if (FOpenPara && FInTable) EndPara();
  FCurrentList->push_back(std::move(FTable));
  FInTable = false;
}

// ---------------------------------------------------------------------------------------
// Header and footer

void TkwRTFDoc::BeginHeader() { FCurrentList = &FCurrentSection->GetHeaderList(); }
void TkwRTFDoc::EndHeader() { FCurrentList = &FCurrentSection->GetBody(); }
void TkwRTFDoc::BeginFooter() { FCurrentList = &FCurrentSection->GetFooterList(); }
void TkwRTFDoc::EndFooter() { FCurrentList = &FCurrentSection->GetBody(); }

// ---------------------------------------------------------------------------------------
// Saved states

int TkwRTFDoc::SaveState() {
  if (!FDocBegun) return -1;
  auto state = std::make_unique<TkwEngineState>();
  state->Font = FFont;
  state->Brush = FBrush;
  state->Pen = FPen;
  state->TextFormatting.Assign(*FTextFormatting);
  state->TextEffects.Assign(FTextEffects);
  state->PageSettings.Assign(*FCurrentPageSettings);
  FStates.push_back(std::move(state));
  return static_cast<int>(FStates.size()) - 1;
}

void TkwRTFDoc::RestoreState(int AStateIndex) {
  if (!FDocBegun) return;
  if (AStateIndex == -1) AStateIndex = static_cast<int>(FStates.size()) - 1;
  if (AStateIndex < 0 || AStateIndex >= static_cast<int>(FStates.size())) {
    try {
      throw EInvalidEngineState();
    } catch (const EInvalidEngineState& e) {
      Fail(e);
    }
    return;
  }
  const TkwEngineState& state = *FStates[static_cast<std::size_t>(AStateIndex)];
  FFont = state.Font;
  FPen = state.Pen;
  FBrush = state.Brush;
  FTextFormatting->Assign(state.TextFormatting);
  FCurrentPageSettings->Assign(state.PageSettings);
  FTextEffects.Assign(state.TextEffects);
}

void TkwRTFDoc::ClearStates() { FStates.clear(); }

}  // namespace qm
