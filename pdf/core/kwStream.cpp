#include "pdf/core/kwStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pdf/core/kwASCII85Decode.h"
#include "pdf/core/kwASCIIHexDecode.h"
#include "pdf/core/kwFlateDecode.h"
#include "pdf/core/ImageFilters.h"
#include "pdf/core/kwLZWDecode.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwStreamPredictor.h"
#include "pdf/core/kwRunLengthDecode.h"

namespace qm {

// --- TkwStream -----------------------------------------------------------------------------

bool TkwStream::Fill() {
  if (!FStarted) {
    FStarted = true;
    StartUp();
  }
  if (FAtEnd) return false;
  if (FDelivered >= FCap) {
    // Output that ends exactly at the cap was not cut: only a byte beyond it counts.
    if (!FCapReached) {
      bool more = false;
      while (!more && Refill()) more = FCur < FEnd;
      FCapReached = more;
      if (more) NoteCap();
    }
    SetAtEnd();
    return false;
  }
  // Refill either gives bytes or consumes input, so this loop ends with the input.
  for (;;) {
    if (!Refill()) {
      SetAtEnd();
      return false;
    }
    if (FCur < FEnd) break;
  }
  std::int64_t got = FEnd - FCur;
  if (got > FCap - FDelivered) {
    FEnd = FCur + (FCap - FDelivered);
    got = FCap - FDelivered;
    FCapReached = true;
    NoteCap();
  }
  FDelivered += got;
  return true;
}

std::size_t TkwStream::Read(std::span<std::uint8_t> ABuffer) {
  if (FLookBlind) return 0;
  std::size_t done = 0;
  while (done < ABuffer.size()) {
    if (FCur == FEnd && !Fill()) break;
    const std::size_t n = std::min(ABuffer.size() - done, static_cast<std::size_t>(FEnd - FCur));
    std::memcpy(ABuffer.data() + done, FCur, n);
    FCur += n;
    done += n;
  }
  return done;
}

std::size_t TkwStream::Read(std::string& AOut, std::int64_t ACount) {
  if (FLookBlind) return 0;
  std::size_t done = 0;
  const std::uint64_t want = ACount < 0 ? UINT64_MAX : static_cast<std::uint64_t>(ACount);
  while (done < want) {
    if (FCur == FEnd && !Fill()) break;
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(want - done, static_cast<std::uint64_t>(FEnd - FCur)));
    AOut.append(reinterpret_cast<const char*>(FCur), n);
    FCur += n;
    done += n;
  }
  return done;
}

std::string TkwStream::ReadLine(std::int64_t ACount) {
  std::string line;
  while (static_cast<std::int64_t>(line.size()) < ACount) {
    const int c = GetChar();
    if (c < 0 || c == '\n') break;
    if (c == '\r') {
      if (LookChar() == '\n') {
        GetChar();
        break;
      }
    }
    line += static_cast<char>(c);
  }
  return line;
}

std::int64_t TkwStream::Skip(std::int64_t ACount) {
  std::int64_t done = 0;
  while (done < ACount) {
    if (FCur == FEnd && !Fill()) break;
    const std::int64_t n = std::min<std::int64_t>(ACount - done, FEnd - FCur);
    FCur += n;
    done += n;
  }
  return done;
}

void TkwStream::SetPosition(std::int64_t APosition, TSeekOrigin ADirection) {
  // Decoders can only move forward, by decoding.
  std::int64_t target = APosition;
  if (ADirection == TSeekOrigin::soCurrent) target = GetPosition() + APosition;
  if (ADirection == TSeekOrigin::soEnd) throw ExInvalidStream();
  const std::int64_t now = GetPosition();
  if (target < now) {
    Reset();
    Skip(target);
  } else {
    Skip(target - now);
  }
}

// --- byte sources --------------------------------------------------------------------------

namespace {

class TOwnedBytes final : public TkwByteSource {
public:
  explicit TOwnedBytes(std::string ABytes) : FBytes(std::move(ABytes)) {}
  std::span<const std::uint8_t> Bytes() const override {
    return {reinterpret_cast<const std::uint8_t*>(FBytes.data()), FBytes.size()};
  }

private:
  std::string FBytes;
};

// A file's bytes in pages of their own rather than on the heap: the pages are neither
// cleared twice (the system hands them out zeroed) nor faulted in one by one (large pages
// where the system allows them), and they go back to the system when the document closes.
class TMappedBytes final : public TkwByteSource {
public:
  // Room for ASize bytes, or nullptr when the system has no pages for them.
  static TMappedBytes* Allocate(std::size_t ASize) {
    void* p = ::mmap(nullptr, ASize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    (void)::madvise(p, ASize, MADV_HUGEPAGE);  // advice only: small pages do as well
#endif
    return new TMappedBytes(static_cast<std::uint8_t*>(p), ASize);
  }
  ~TMappedBytes() override { ::munmap(FData, FSize); }
  TMappedBytes(const TMappedBytes&) = delete;
  TMappedBytes& operator=(const TMappedBytes&) = delete;
  std::span<const std::uint8_t> Bytes() const override { return {FData, FSize}; }
  [[nodiscard]] std::uint8_t* Data() const { return FData; }

private:
  TMappedBytes(std::uint8_t* AData, std::size_t ASize) : FData(AData), FSize(ASize) {}
  std::uint8_t* FData;
  std::size_t FSize;
};

class TBorrowedBytes final : public TkwByteSource {
public:
  explicit TBorrowedBytes(std::span<const std::uint8_t> ABytes) : FBytes(ABytes) {}
  std::span<const std::uint8_t> Bytes() const override { return FBytes; }

private:
  std::span<const std::uint8_t> FBytes;
};

}  // namespace

// --- TkwBaseStream -------------------------------------------------------------------------

TkwBaseStream::TkwBaseStream(TkwRef<TkwByteSource> ASource, std::int64_t AOrigin,
                             std::int64_t AStart, std::int64_t ALength, bool ALimited)
    : FSource(std::move(ASource)),
      FOrigin(AOrigin),
      FStart(AStart < 0 ? 0 : AStart),
      FLength(ALength < 0 ? 0 : ALength),
      FLimited(ALimited),
      FPosition(FStart) {}

std::int64_t TkwBaseStream::WindowEnd() const {
  const std::int64_t size = static_cast<std::int64_t>(FSource->Bytes().size()) - FOrigin;
  if (!FLimited) return std::max<std::int64_t>(size, 0);
  // Overflow-safe FStart + FLength.
  const std::int64_t end = FLength > size - FStart ? size : FStart + FLength;
  return std::max<std::int64_t>(end, 0);
}

std::span<const std::uint8_t> TkwBaseStream::View(std::int64_t APosition) const {
  const std::int64_t end = WindowEnd();
  if (APosition < 0 || APosition >= end || APosition + FOrigin < 0) return {};
  return FSource->Bytes().subspan(static_cast<std::size_t>(APosition + FOrigin),
                                  static_cast<std::size_t>(end - APosition));
}

bool TkwBaseStream::Refill() {
  // The whole window is in memory: one refill hands out the rest of it.
  const std::int64_t end = WindowEnd();
  if (FPosition >= end) return false;
  auto bytes = View(FPosition);
  if (bytes.empty()) return false;
  SetWindow(bytes.data(), bytes.data() + bytes.size());
  FPosition = end;
  return true;
}

void TkwBaseStream::Reset() {
  ClearWindow();
  FPosition = FStart;
}

std::int64_t TkwBaseStream::GetPosition() const {
  return FPosition - static_cast<std::int64_t>(WindowLeft());
}

void TkwBaseStream::SetPosition(std::int64_t APosition, TSeekOrigin ADirection) {
  std::int64_t target = APosition;
  if (ADirection == TSeekOrigin::soCurrent) target = GetPosition() + APosition;
  if (ADirection == TSeekOrigin::soEnd) target = WindowEnd() + APosition;
  target = std::clamp<std::int64_t>(target, 0, std::max<std::int64_t>(WindowEnd(), 0));
  ClearWindow();
  FPosition = target;
}

std::int64_t TkwBaseStream::GetSize() const {
  return std::max<std::int64_t>(static_cast<std::int64_t>(FSource->Bytes().size()) - FOrigin, 0);
}

void TkwBaseStream::MoveStart(std::int64_t ADelta) {
  const std::int64_t pos = GetPosition();
  FOrigin += ADelta;
  ClearWindow();
  FPosition = std::max<std::int64_t>(pos - ADelta, 0);
  FStart = std::max<std::int64_t>(FStart - ADelta, 0);
}

namespace {

// Closes a descriptor however Open ends.
struct TFileDescriptor {
  int Fd = -1;
  ~TFileDescriptor() {
    if (Fd >= 0) ::close(Fd);
  }
};

bool SameFileState(const struct stat& A, const struct stat& B) {
  return A.st_size == B.st_size && A.st_mtim.tv_sec == B.st_mtim.tv_sec && A.st_mtim.tv_nsec == B.st_mtim.tv_nsec;
}

}  // namespace

TkwRef<TkwFileStream> TkwFileStream::Open(const std::string& AFileName) {
  struct stat info {};
  if (::stat(AFileName.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw ExFileNotFound();
    throw ExFileOpenError();
  }
  if (S_ISDIR(info.st_mode)) throw ExIsDirectory();
  TFileDescriptor file;
  file.Fd = ::open(AFileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.Fd < 0) throw ExFileOpenError();
  if (::fstat(file.Fd, &info) != 0) throw ExFileOpenError();
  std::string bytes;
  if (S_ISREG(info.st_mode)) {
    // The file is read whole, by offset, rather than mapped: a file that a download or a
    // sync is still writing may shrink under a mapping, which ends the process. A read that
    // comes up short, or a size or time that moved meanwhile, is reported instead.
    const auto size = static_cast<std::size_t>(info.st_size);
    // Files of a few pages and more are read into pages of their own.
    constexpr std::size_t kMappedFrom = 256 * 1024;
    TkwRef<TMappedBytes> mapped(size >= kMappedFrom ? TMappedBytes::Allocate(size) : nullptr);
    std::uint8_t* data = nullptr;
    if (mapped) {
      data = mapped->Data();
    } else {
      bytes.resize(size);
      data = reinterpret_cast<std::uint8_t*>(bytes.data());
    }
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pread(file.Fd, data + done, size - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw ExFileOpenError();
      if (n == 0) throw ExFileChanged();
      done += static_cast<std::size_t>(n);
    }
    struct stat after {};
    if (::fstat(file.Fd, &after) != 0 || !SameFileState(info, after)) throw ExFileChanged();
    if (mapped) {
      return TkwRef<TkwFileStream>(new TkwFileStream(TkwRef<TkwByteSource>(mapped), 0, 0, 0, false));
    }
  } else {
    // A pipe or a terminal (standard input given as "-"): everything until its end.
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(file.Fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw ExFileOpenError();
      if (n == 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }
  TkwRef<TkwByteSource> source(new TOwnedBytes(std::move(bytes)));
  return TkwRef<TkwFileStream>(new TkwFileStream(std::move(source), 0, 0, 0, false));
}

TkwRef<TkwBaseStream> TkwFileStream::MakeSubStream(std::int64_t AStart, std::int64_t ALength,
                                                   bool ALimited) const {
  return TkwRef<TkwBaseStream>(new TkwFileStream(FSource, FOrigin, AStart, ALength, ALimited));
}

TkwRef<TkwMemoryStream> TkwMemoryStream::FromString(std::string ABytes) {
  TkwRef<TkwByteSource> source(new TOwnedBytes(std::move(ABytes)));
  return TkwRef<TkwMemoryStream>(new TkwMemoryStream(std::move(source), 0, 0, 0, false));
}
TkwRef<TkwMemoryStream> TkwMemoryStream::View(std::span<const std::uint8_t> ABytes) {
  TkwRef<TkwByteSource> source(new TBorrowedBytes(ABytes));
  return TkwRef<TkwMemoryStream>(new TkwMemoryStream(std::move(source), 0, 0, 0, false));
}
TkwRef<TkwMemoryStream> TkwMemoryStream::View(std::string_view ABytes) {
  return View(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(ABytes.data()),
                                            ABytes.size()));
}
TkwRef<TkwBaseStream> TkwMemoryStream::MakeSubStream(std::int64_t AStart, std::int64_t ALength,
                                                     bool ALimited) const {
  return TkwRef<TkwBaseStream>(new TkwMemoryStream(FSource, FOrigin, AStart, ALength, ALimited));
}

// --- TkwFilterStream -----------------------------------------------------------------------

TkwFilterStream::TkwFilterStream(TkwRef<TkwStream> ASource) : FSource(std::move(ASource)) {
  if (!FSource) throw ExInvalidStream();
}

void TkwFilterStream::Reset() {
  if (!FSource) throw ExInvalidStream();
  FSource->Reset();
  ClearWindow();
  MarkStarted();
  ResetDecoder();
}

std::int64_t TkwFilterStream::GetPosition() const {
  return Delivered() - static_cast<std::int64_t>(WindowLeft());
}

TkwBaseStream* TkwFilterStream::GetBaseStream() {
  return FSource ? FSource->GetBaseStream() : nullptr;
}

TkwStream* TkwFilterStream::GetUndecodedStream() {
  // Below the decoders lies the data window or the decrypting stream over it.
  if (!FSource) return this;
  if (FSource->GetType() == TkwStreamType::stFile || FSource->GetType() == TkwStreamType::stCrypt) {
    return FSource.Get();
  }
  return FSource->GetUndecodedStream();
}

void TkwFilterStream::Close() {
  if (FSource) FSource->Close();
}

// --- TkwEOFStream --------------------------------------------------------------------------

TkwEOFStream::TkwEOFStream(TkwRef<TkwStream> ASource) : TkwDecode(std::move(ASource)) {
  FLookBlind = true;
  FCap = INT64_MAX;
}

bool TkwEOFStream::Refill() {
  if (!FSource) throw ExInvalidStream();
  const int c = FSource->GetChar();
  if (c < 0) return false;
  // Hand on the rest of the source's block as well: it stays valid until the source refills,
  // which only this stream asks for, and a per-byte pass made long chains crawl.
  const auto rest = FSource->Buffered();
  if (!rest.empty()) {
    const std::uint8_t* begin = rest.data() - 1;
    FSource->Consume(rest.size());
    SetWindow(begin, rest.data() + rest.size());
    return true;
  }
  FByte = static_cast<std::uint8_t>(c);
  SetWindow(&FByte, &FByte + 1);
  return true;
}

// --- TkwPDFilterManager --------------------------------------------------------------------

namespace {

const TkwPDDictionary* AsDict(const TkwPDBaseObject* AObj) {
  return AObj != nullptr && AObj->IsDict() ? static_cast<const TkwPDDictionary*>(AObj) : nullptr;
}

template <class T, class... Args>
TkwRef<TkwStream> Make(Args&&... AArgs) {
  return TkwRef<TkwStream>(new T(std::forward<Args>(AArgs)...));
}

}  // namespace

TkwRef<TkwStream> TkwPDFilterManager::MakeFilterStream(std::string_view AName,
                                                       const TkwPDDictionary* AParms,
                                                       const TkwPDDictionary* AStreamDict,
                                                       TkwRef<TkwStream> ASource) {
  if (AName == "FlateDecode" || AName == "Fl") {
    return TkwStreamPredictor::Wrap(Make<TkwFlateDecode>(std::move(ASource)), AParms);
  }
  if (AName == "LZWDecode" || AName == "LZW") {
    const int early = AParms != nullptr ? AParms->LookUpInt("EarlyChange", 1) : 1;
    return TkwStreamPredictor::Wrap(Make<TkwLZWDecode>(std::move(ASource), early), AParms);
  }
  if (AName == "ASCIIHexDecode" || AName == "AHx") return Make<TkwASCIIHexDecode>(std::move(ASource));
  if (AName == "ASCII85Decode" || AName == "A85") return Make<TkwASCII85Decode>(std::move(ASource));
  if (AName == "RunLengthDecode" || AName == "RL") {
    return Make<TkwRunLengthDecode>(std::move(ASource));
  }
  if (AName == "CCITTFaxDecode" || AName == "CCF") {
    return MakeCCITTFaxDecode(std::move(ASource), AParms, AStreamDict);
  }
  if (AName == "DCTDecode" || AName == "DCT") {
    return MakeDCTDecode(std::move(ASource), AParms, AStreamDict);
  }
  if (AName == "JPXDecode") return MakeJPXDecode(std::move(ASource), AParms, AStreamDict);
  if (AName == "JBIG2Decode") return MakeJBIG2Decode(std::move(ASource), AParms, AStreamDict);
  // The document decrypts below the chain, with the crypt filter this entry names (its
  // /Name in DecodeParms), so by now the data is plain.
  if (AName == "Crypt") return ASource;
  return Make<TkwEOFStream>(std::move(ASource));
}

TkwRef<TkwStream> TkwPDFilterManager::BuildChain(const TkwPDDictionary& ADict,
                                                 TkwRef<TkwStream> AStream) {
  const TkwPDBaseObject* filter = ADict.LookUp("Filter");
  if (filter == nullptr || filter->IsNull()) filter = ADict.LookUp("F");
  const TkwPDBaseObject* parms = ADict.LookUp("DecodeParms");
  if (parms == nullptr || parms->IsNull()) parms = ADict.LookUp("DP");
  if (parms != nullptr && parms->IsArray()) {
    const auto& array = static_cast<const TkwPDArray&>(*parms);
    const TkwPDDictionary* first = AsDict(array.Get(0));
    if (array.GetLength() == 0 || (first != nullptr && first->GetLength() == 0)) parms = nullptr;
  }
  if (filter == nullptr) return AStream;

  if (filter->IsName()) {
    const TkwPDDictionary* p = AsDict(parms);
    if (p == nullptr && parms != nullptr && parms->IsArray()) {
      p = AsDict(static_cast<const TkwPDArray&>(*parms).Get(0));
    }
    return MakeFilterStream(static_cast<const TkwPDName&>(*filter).GetValue(), p, &ADict,
                            std::move(AStream));
  }
  if (!filter->IsArray()) return AStream;

  const auto& names = static_cast<const TkwPDArray&>(*filter);
  const TkwPDArray* parmsArray =
      parms != nullptr && parms->IsArray() ? static_cast<const TkwPDArray*>(parms) : nullptr;
  TkwRef<TkwStream> chain = std::move(AStream);
  for (std::size_t i = 0; i < names.GetLength(); ++i) {
    const TkwPDBaseObject* name = names.Get(i);
    if (name == nullptr || !name->IsName() || i >= static_cast<std::size_t>(kMaxFilters)) {
      return Make<TkwEOFStream>(std::move(chain));
    }
    const TkwPDDictionary* p = nullptr;
    if (parmsArray != nullptr) {
      p = AsDict(parmsArray->Get(i));
    } else if (names.GetLength() == 1) {
      // Seen in the wild: a one-element Filter array with a plain parameter dictionary.
      p = AsDict(parms);
    }
    chain = MakeFilterStream(static_cast<const TkwPDName&>(*name).GetValue(), p, &ADict,
                             std::move(chain));
  }
  return chain;
}

std::unique_ptr<TkwPDStream> TkwPDFilterManager::GetFilter(std::unique_ptr<TkwPDDictionary> ADict,
                                                           TkwRef<TkwStream> AStream) {
  if (!ADict) throw ExInvalidObject();
  if (!AStream) throw ExInvalidStream();
  TkwRef<TkwStream> chain = BuildChain(*ADict, std::move(AStream));
  return std::make_unique<TkwPDStream>(std::move(chain), std::move(ADict));
}

}  // namespace qm
