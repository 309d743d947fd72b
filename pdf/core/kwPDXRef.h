#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "base/kwRef.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

enum class TkwPDXRefEntrytype : std::uint8_t { xeFree, xeUnCompressed, xeCompressed };

// One cross-reference entry. For compressed objects FOffset is the object stream's number
// and FGenNum the index within it. An entry whose offset is still -1 is unset: later
// (older) sections may fill it.
struct TkwPDXRefEntry {
  std::int64_t FOffset = -1;
  std::uint32_t FGenNum = 0xFFFFFFFFu;
  TkwPDXRefEntrytype FEntryType = TkwPDXRefEntrytype::xeFree;
  [[nodiscard]] bool IsUnset() const { return FOffset == -1; }
};

// Why a fetch gave no object; the document repairs on fsBadHeader.
enum class TkwFetchStatus : std::uint8_t {
  fsOk,
  fsNoEntry,     // number out of range or never listed
  fsFree,        // listed as free
  fsBadHeader,   // the offset does not lead to "N G obj"
  fsBadObject,   // the header is right but the body cannot be read
  fsBadObjStm,   // the object stream is missing or does not hold the object
};

class TkwPDXRef;

// The parsed objects of one object stream (all N at once), served as clones.
class TkwObjectStream : public TkwObject {
public:
  // Fetches stream AObjStreamNum through AXRef (decrypted when the document is) and parses
  // its objects. A stream that is missing or malformed holds no objects.
  TkwObjectStream(TkwPDXRef& AXRef, std::uint32_t AObjStreamNum);
  // A clone of object AObjectIndex when its recorded number is AObjNumber, else TkwPDError.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> GetObject(std::uint32_t AObjectIndex,
                                                           std::uint32_t AObjNumber) const;
  [[nodiscard]] std::uint32_t GetObjStrNum() const { return FObjStrNum; }
  [[nodiscard]] std::size_t GetCount() const { return FPDFObjects.size(); }
  [[nodiscard]] bool GetLoaded() const { return FLoaded; }
  // Object numbers in the stream's order (for the repair pass).
  [[nodiscard]] const std::vector<std::uint32_t>& GetObjNumbers() const { return FObjNumbers; }

private:
  std::uint32_t FObjStrNum;
  std::int32_t FNoObjects = 0;
  bool FLoaded = false;  // the stream itself was fetched
  std::vector<std::unique_ptr<TkwPDBaseObject>> FPDFObjects;
  std::vector<std::uint32_t> FObjNumbers;
};

// The cross-reference table of one file: finds startxref, reads classic tables,
// cross-reference streams and hybrid files along the Prev chain, and fetches objects.
// With a repair scan it can also be rebuilt from the object headers found in the file.
class TkwPDXRef : public TkwObject {
public:
  // AParentDoc (not owned) becomes the parent document of every object read; it also says
  // whether strings and streams are to be decrypted. AStream is the whole file.
  TkwPDXRef(TkwPDObjectResolver* AParentDoc, TkwRef<TkwBaseStream> AStream);
  ~TkwPDXRef() override;

  // Reads the chain from startxref. Throws ExInvalidPDFFile (empty input),
  // ExStartXrefNotFound, ExInvalidCatalog (a cross-reference stream without object header)
  // and ExImproperCrossRefTableOrStream (no trailer). Returns FOk: false when a section after
  // the first trailer could not be read (the entries read so far are kept).
  bool GenerateTable();
  // The startxref value (throws as GenerateTable). A value followed on its line by other
  // text is its leading integer.
  std::int64_t GetStartXref();

  // Replaces the table by one rebuilt from every "N G obj" header in the file (the last
  // definition wins) and the trailer from the last trailer dictionary with a Root (classic
  // trailers and cross-reference stream dictionaries). False when the file holds no object.
  bool Rebuild();
  // After Rebuild: adds the objects of the object streams found (those not defined later
  // in the file) and, when the trailer still has no Root, a catalog found among them. Runs
  // once the document knows its encryption, because object streams are decrypted.
  void IndexObjectStreams();
  [[nodiscard]] bool GetRebuilt() const { return FRebuilt; }
  // Adds, from a scan of the object headers in the file, the objects that the table does
  // not list at all (numbered past a Size that is too small, or left out); entries read
  // from the table stay. Scans once; false when it found none to add.
  bool AddUnlistedObjects();
  // The numbers of the objects in use, in the order they stand in the file (objects of an
  // object stream where the stream stands, in their order in it).
  [[nodiscard]] std::vector<std::uint32_t> GetObjectNumbersInFileOrder() const;

  // Object ANum (generation ignored), owned by the caller; TkwPDError when unreadable, with
  // the reason in AStatus. Throws ExInvalidStream without a stream.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Fetch(std::uint32_t ANum,
                                                       TkwFetchStatus* AStatus = nullptr);

  [[nodiscard]] TkwPDDictionary* GetTrailorDict() const { return FTrailerDict.get(); }
  [[nodiscard]] std::size_t GetSize() const { return FEntries.size(); }
  // Entry AIndex, or nullptr out of range.
  [[nodiscard]] const TkwPDXRefEntry* GetEntry(std::size_t AIndex) const;
  void SetEntry(std::size_t AIndex, const TkwPDXRefEntry& AValue);
  // Grows the list (unset entries) to hold ATillCount entries; false beyond the limit.
  bool AddDefaultEntries(std::size_t ATillCount);
  [[nodiscard]] std::uint32_t GetStartObjectNumber() const { return FStartObjectNumber; }
  void SetStartObjectNumber(std::uint32_t AValue) { FStartObjectNumber = AValue; }
  [[nodiscard]] std::uint32_t GetLastObjectNumber() const { return FLastObjectNumber; }
  void SetLastObjectNumber(std::uint32_t AValue) { FLastObjectNumber = AValue; }
  // Highest object number that has an entry in use (0 when none).
  [[nodiscard]] std::uint32_t GetHighestObjectNumber() const;
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FParentDoc; }
  [[nodiscard]] const TkwRef<TkwBaseStream>& GetStream() const { return FStream; }
  [[nodiscard]] bool GetOk() const { return FOk; }
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }

private:
  // Reads the section at AOffset; returns the next offset of the chain or -1.
  std::int64_t ReadSection(std::int64_t AOffset);
  std::int64_t ReadTable(class TkwPDParser& AParser);
  std::int64_t ReadXRefStream(TkwPDStream& AStream);
  bool Grow(std::int64_t ACount);
  void CaptureTrailer(const TkwPDDictionary& ADict);
  std::shared_ptr<TkwObjectStream> GetObjectStream(std::uint32_t ANum);

  TkwPDObjectResolver* FParentDoc;  // not owned
  TkwRef<TkwBaseStream> FStream;
  std::vector<TkwPDXRefEntry> FEntries;
  std::int64_t FStartXref = 0;
  std::unique_ptr<TkwPDDictionary> FTrailerDict;
  bool FOk = true;
  bool FChanged = false;
  bool FRebuilt = false;
  bool FBeyondScanned = false;
  std::uint32_t FStartObjectNumber = 0;
  std::uint32_t FLastObjectNumber = 0;
  std::set<std::int64_t> FVisited;  // section offsets read
  int FSections = 0;
  // A few recently used object streams: pages usually alternate between a handful.
  std::vector<std::shared_ptr<TkwObjectStream>> FObjectStreams;
  std::vector<std::uint32_t> FObjStmCandidates;  // object streams found by Rebuild
  TkwDiagnostics* FDiag = nullptr;  // not owned
};

}  // namespace qm
