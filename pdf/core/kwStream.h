#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/kwDiagnostics.h"
#include "base/Limits.h"
#include "base/kwObject.h"
#include "base/kwRef.h"

namespace qm {

class TkwPDDictionary;
class TkwPDStream;
class TkwPDBaseObject;
class TkwBaseStream;

enum class TkwStreamType : std::uint8_t {
  stFile,
  stASCIIHex,
  stASCII85,
  stLZW,
  stRunLength,
  stCCITTFax,
  stDCT,
  stFlate,
  stJBIG2,
  stJPX,
  stCrypt,
  stWeird
};

enum class TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

// A pull byte stream. GetChar and LookChar read an inline window [FCur, FEnd); the virtual
// Refill is called only when the window is empty, so a consumer pays one virtual call per
// block, not per byte. Reset must be called before the first read of a chain.
// Streams are shared by reference count: hold them in TkwRef<TkwStream>.
class TkwStream : public TkwRefCounted {
public:
  TkwStream() = default;
  ~TkwStream() override = default;

  // Next byte (0..255) consumed, or -1 at the end. Corrupt data never throws here:
  // decoders end their output at the last good byte.
  int GetChar() {
    if (FCur == FEnd && !Fill()) return -1;
    return *FCur++;
  }
  // Next byte without consuming it, or -1 at the end.
  int LookChar() {
    if (FLookBlind) return -1;
    if (FCur == FEnd && !Fill()) return -1;
    return *FCur;
  }
  // Up to ABuffer.size() bytes; returns the count read (less only at the end).
  std::size_t Read(std::span<std::uint8_t> ABuffer);
  // Appends up to ACount bytes (all when negative) to AOut; returns the count appended.
  std::size_t Read(std::string& AOut, std::int64_t ACount);
  // Up to ACount bytes, stopping after LF, after CR LF, or at the end; the line end is
  // consumed and not returned.
  std::string ReadLine(std::int64_t ACount);
  // Skips up to ACount bytes; returns the count skipped.
  std::int64_t Skip(std::int64_t ACount);
  // The bytes already buffered, for readers that take several at once; Consume(n) takes n of
  // them. Empty does not mean the end: GetChar refills.
  [[nodiscard]] std::span<const std::uint8_t> Buffered() const {
    return FLookBlind ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(FCur, FEnd);
  }
  void Consume(std::size_t ACount) { FCur += ACount; }

  // Back to the beginning of the data; every stream down the chain is reset.
  virtual void Reset() = 0;
  // Position of the next byte: absolute in the file for base streams, the count of bytes
  // delivered since Reset for decoders.
  [[nodiscard]] virtual std::int64_t GetPosition() const = 0;
  // Seeking is for base streams; decoders support only skipping forward.
  virtual void SetPosition(std::int64_t APosition, TSeekOrigin ADirection = TSeekOrigin::soBeginning);
  [[nodiscard]] virtual std::int64_t GetSize() const { return 0; }
  // The file or memory stream at the bottom of the chain (this for base streams).
  [[nodiscard]] virtual TkwBaseStream* GetBaseStream() { return nullptr; }
  // The stream below the decoders (the data window, possibly decrypting).
  [[nodiscard]] virtual TkwStream* GetUndecodedStream() { return this; }
  // The byte before prediction; streams without a predictor give GetChar.
  virtual int ReadRawChar() { return GetChar(); }
  [[nodiscard]] virtual TkwStreamType GetType() const = 0;
  virtual void Close() {}

  // Stops decoding once ACap bytes have been delivered since Reset (kMaxDecodedBytes by
  // default for decoders). The document tightens it for large files.
  void SetDecodeCap(std::int64_t ACap) { FCap = ACap < 0 ? 0 : ACap; }
  [[nodiscard]] std::int64_t GetDecodeCap() const { return FCap; }
  // True once the cap cut the output short.
  [[nodiscard]] bool GetCapReached() const { return FCapReached; }
  // Where the cap and damaged data are noted (once per stream each, however often it is
  // read); not owned, may be null. Set on the top of a chain, it reaches every stream below.
  virtual void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }

protected:
  // Makes a new window available through SetWindow. Returns false at the end of the data.
  // A call that returns true must either give bytes or consume input, so that a caller
  // looping over empty windows always ends.
  virtual bool Refill() = 0;
  void SetWindow(const std::uint8_t* ABegin, const std::uint8_t* AEnd) {
    FCur = ABegin;
    FEnd = AEnd;
  }
  // Empties the window and restarts the end and cap bookkeeping (for Reset).
  void ClearWindow() {
    FCur = FEnd = nullptr;
    FAtEnd = false;
    FDelivered = 0;
    FCapReached = false;
  }
  // Bytes still in the window.
  [[nodiscard]] std::size_t WindowLeft() const { return static_cast<std::size_t>(FEnd - FCur); }
  [[nodiscard]] const std::uint8_t* WindowCur() const { return FCur; }
  void Advance(std::size_t ACount) { FCur += ACount; }
  // Bytes handed out by Refill since the last ClearWindow (decoder positions use it).
  [[nodiscard]] std::int64_t Delivered() const { return FDelivered; }
  // Marks the end: later reads return -1 until the next Reset.
  void SetAtEnd() {
    FAtEnd = true;
    FCur = FEnd = nullptr;
  }
  [[nodiscard]] bool GetAtEnd() const { return FAtEnd; }

  // Called once before the first refill when the stream was read without a Reset.
  virtual void StartUp() {}
  void MarkStarted() { FStarted = true; }

  void NoteCap() {
    if (FDiag && !FCapNoted) FDiag->Note(TkwDiagCode::dcDecodeCapReached);
    FCapNoted = true;
  }
  // A decoder met damaged data and ends its output at the last good byte.
  void NoteDamage() {
    if (FDiag && !FDamageNoted) FDiag->Note(TkwDiagCode::dcFilterError);
    FDamageNoted = true;
  }

  bool FLookBlind = false;  // LookChar answers -1 (TkwEOFStream)
  std::int64_t FCap = INT64_MAX;
  TkwDiagnostics* FDiag = nullptr;  // not owned

private:
  bool Fill();
  bool FStarted = false;
  const std::uint8_t* FCur = nullptr;
  const std::uint8_t* FEnd = nullptr;
  std::int64_t FDelivered = 0;
  bool FDamageNoted = false;
  bool FCapNoted = false;
  bool FAtEnd = false;
  bool FCapReached = false;
};

// Bytes under a base stream: an owned string (a file read whole) or a borrowed view.
class TkwByteSource : public TkwRefCounted {
public:
  [[nodiscard]] virtual std::span<const std::uint8_t> Bytes() const = 0;
};

// A window on a byte source. Positions are absolute offsets in the source, shifted by the
// source origin that MoveStart moves (so that bytes before a "%PDF-" header can be hidden
// from every offset).
class TkwBaseStream : public TkwStream {
public:
  TkwBaseStream(TkwRef<TkwByteSource> ASource, std::int64_t AOrigin, std::int64_t AStart,
                std::int64_t ALength, bool ALimited);

  void Reset() override;
  [[nodiscard]] std::int64_t GetPosition() const override;
  void SetPosition(std::int64_t APosition, TSeekOrigin ADirection = TSeekOrigin::soBeginning) override;
  // Size of the whole source (less the origin).
  [[nodiscard]] std::int64_t GetSize() const override;
  [[nodiscard]] TkwBaseStream* GetBaseStream() override { return this; }
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stFile; }

  // A new window on the same bytes starting at AStart; with ALimited it ends after ALength
  // bytes (and at the end of the source in any case).
  [[nodiscard]] virtual TkwRef<TkwBaseStream> MakeSubStream(std::int64_t AStart, std::int64_t ALength,
                                                            bool ALimited) const = 0;
  [[nodiscard]] std::int64_t GetStart() const { return FStart; }
  [[nodiscard]] std::int64_t GetLength() const { return FLength; }
  [[nodiscard]] bool GetLimited() const { return FLimited; }
  // Moves the origin of all offsets by ADelta bytes: positions, the start and sub-streams
  // made afterwards all count from the new origin (a file with junk before its header).
  void MoveStart(std::int64_t ADelta);
  // The bytes of the source from absolute position APosition (origin applied) to the end of
  // the window; empty when out of range. The view lives as long as the stream.
  [[nodiscard]] std::span<const std::uint8_t> View(std::int64_t APosition) const;
  [[nodiscard]] const TkwRef<TkwByteSource>& GetSource() const { return FSource; }
  [[nodiscard]] std::int64_t GetOrigin() const { return FOrigin; }

protected:
  bool Refill() override;
  [[nodiscard]] std::int64_t WindowEnd() const;  // absolute (origin applied)

  TkwRef<TkwByteSource> FSource;
  std::int64_t FOrigin;  // physical offset of logical position 0
  std::int64_t FStart;
  std::int64_t FLength;
  bool FLimited;
  std::int64_t FPosition;  // logical position of the window start
};

// A window on a file. The file is read once into memory and shared by every window made
// from it, so windows can be read interleaved and a file changed afterwards cannot reach
// them.
class TkwFileStream final : public TkwBaseStream {
public:
  // Opens the whole file (start 0, unlimited). ExFileNotFound when it does not exist,
  // ExIsDirectory for a folder, ExFileOpenError when it cannot be opened or read, and
  // ExFileChanged when it shrank or changed while it was read. A pipe is read to its end.
  [[nodiscard]] static TkwRef<TkwFileStream> Open(const std::string& AFileName);
  TkwFileStream(TkwRef<TkwByteSource> ASource, std::int64_t AOrigin, std::int64_t AStart,
                std::int64_t ALength, bool ALimited)
      : TkwBaseStream(std::move(ASource), AOrigin, AStart, ALength, ALimited) {}
  [[nodiscard]] TkwRef<TkwBaseStream> MakeSubStream(std::int64_t AStart, std::int64_t ALength,
                                                    bool ALimited) const override;
};

// A window on bytes in memory.
class TkwMemoryStream final : public TkwBaseStream {
public:
  // Owns a copy of the bytes.
  [[nodiscard]] static TkwRef<TkwMemoryStream> FromString(std::string ABytes);
  // Borrows the bytes: the caller keeps them alive as long as the stream and its windows.
  [[nodiscard]] static TkwRef<TkwMemoryStream> View(std::span<const std::uint8_t> ABytes);
  [[nodiscard]] static TkwRef<TkwMemoryStream> View(std::string_view ABytes);
  TkwMemoryStream(TkwRef<TkwByteSource> ASource, std::int64_t AOrigin, std::int64_t AStart,
                  std::int64_t ALength, bool ALimited)
      : TkwBaseStream(std::move(ASource), AOrigin, AStart, ALength, ALimited) {}
  [[nodiscard]] TkwRef<TkwBaseStream> MakeSubStream(std::int64_t AStart, std::int64_t ALength,
                                                    bool ALimited) const override;
};

// A stream over another stream; the source is owned (shared) by the filter. A nil source
// raises ExInvalidStream.
class TkwFilterStream : public TkwStream {
public:
  explicit TkwFilterStream(TkwRef<TkwStream> ASource);
  // Resets the source, then the decoder state.
  void Reset() override;
  // Bytes delivered since Reset.
  [[nodiscard]] std::int64_t GetPosition() const override;
  [[nodiscard]] TkwBaseStream* GetBaseStream() override;
  [[nodiscard]] TkwStream* GetUndecodedStream() override;
  void Close() override;
  [[nodiscard]] TkwStream* GetSource() const { return FSource.Get(); }
  void SetDiagnostics(TkwDiagnostics* ADiag) override {
    TkwStream::SetDiagnostics(ADiag);
    FSource->SetDiagnostics(ADiag);
  }

protected:
  // Restarts the decoder after the source has been reset.
  virtual void ResetDecoder() {}
  // A chain read without Reset starts its decoders where their sources stand.
  void StartUp() override { ResetDecoder(); }
  TkwRef<TkwStream> FSource;
};

// Base of every decoding filter (Flate, LZW, the image filters, Crypt). Parameters are read
// from AParms in the constructor; the dictionary is not kept. AParms may be nullptr.
class TkwDecode : public TkwFilterStream {
public:
  explicit TkwDecode(TkwRef<TkwStream> ASource) : TkwFilterStream(std::move(ASource)) {
    FCap = kMaxDecodedBytes;
  }
  // The decrypting filter overrides it; false here. ASettings is the document's settings
  // object of the decryption classes.
  virtual bool CheckPassword(void* ASettings, std::string_view APassword) {
    (void)ASettings;
    (void)APassword;
    return false;
  }
};

// The top of a chain stopped by an unknown filter: LookChar and Read see the end at once,
// while GetChar and Reset reach the stream below, so GetChar yields the undecoded bytes.
class TkwEOFStream final : public TkwDecode {
public:
  explicit TkwEOFStream(TkwRef<TkwStream> ASource);
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stWeird; }
  [[nodiscard]] std::int64_t GetSize() const override { return 0; }

protected:
  bool Refill() override;

private:
  std::uint8_t FByte = 0;
};

// Builds the decoding chain of stream dictionaries. The only place that knows filter names.
class TkwPDFilterManager {
public:
  // The stream object for ADict over the (possibly decrypting) data AStream.
  // ExInvalidObject for a nil dictionary, ExInvalidStream for a nil stream.
  [[nodiscard]] static std::unique_ptr<TkwPDStream> GetFilter(std::unique_ptr<TkwPDDictionary> ADict,
                                                              TkwRef<TkwStream> AStream);
  // The chain alone: Filter/F and DecodeParms/DP of ADict applied over AStream.
  [[nodiscard]] static TkwRef<TkwStream> BuildChain(const TkwPDDictionary& ADict,
                                                    TkwRef<TkwStream> AStream);
  // One filter by name (full or abbreviated) over ASource; a TkwEOFStream for an unknown
  // name. AParms may be nullptr; AStreamDict is the dictionary of the stream (JBIG2 reads
  // its globals from it) and may be nullptr.
  [[nodiscard]] static TkwRef<TkwStream> MakeFilterStream(std::string_view AName,
                                                          const TkwPDDictionary* AParms,
                                                          const TkwPDDictionary* AStreamDict,
                                                          TkwRef<TkwStream> ASource);
};

}  // namespace qm
