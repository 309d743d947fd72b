#include "pdf/fonts/kwPDCMap.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "base/Limits.h"

namespace qm {
namespace {

bool IsSafeName(std::string_view AName) {
  return !AName.empty() && AName.front() != '.' && AName.find('/') == std::string_view::npos &&
         AName.find('\0') == std::string_view::npos && AName.size() < 256;
}

bool IsFile(const std::string& APath) {
  std::error_code ec;
  return std::filesystem::is_regular_file(APath, ec);
}

// The collection folders under the system root, read once.
const std::vector<std::string>& SystemCollections() {
  static const std::vector<std::string> dirs = [] {
    std::vector<std::string> out;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(std::string(kSystemCMapRoot), ec), end; !ec && it != end;
         it.increment(ec)) {
      if (it->is_directory(ec)) out.push_back(it->path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }();
  return dirs;
}

std::string JoinPath(std::string_view ADir, std::string_view AName) {
  std::string p(ADir);
  if (!p.empty() && p.back() != '/') p += '/';
  p += AName;
  return p;
}

// "Adobe-Japan1-UCS2" → "Adobe-Japan1".
std::string_view CollectionFolder(std::string_view ACollection) {
  if (ACollection.size() > 5 && ACollection.substr(ACollection.size() - 5) == "-UCS2") {
    return ACollection.substr(0, ACollection.size() - 5);
  }
  return ACollection;
}

}  // namespace

std::string FindCMapFile(std::string_view AName, std::string_view ACMapPath, std::string_view AHintCollection) {
  if (!IsSafeName(AName)) return {};
  if (!ACMapPath.empty()) {
    std::string p = JoinPath(ACMapPath, AName);
    if (IsFile(p)) return p;
  }
  const std::string_view hint = CollectionFolder(AHintCollection);
  if (IsSafeName(hint)) {
    std::string p = JoinPath(JoinPath(kSystemCMapRoot, hint), AName);
    if (IsFile(p)) return p;
  }
  for (const auto& dir : SystemCollections()) {
    std::string p = JoinPath(JoinPath(kSystemCMapRoot, dir), AName);
    if (IsFile(p)) return p;
  }
  return {};
}

std::string ReadCMapFile(const std::string& APath) {
  if (APath.empty()) return {};
  std::ifstream in(APath, std::ios::binary);
  if (!in) return {};
  std::string bytes;
  char buf[65536];
  while (in && static_cast<std::int64_t>(bytes.size()) < kMaxCMapBytes) {
    in.read(buf, sizeof buf);
    bytes.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  if (static_cast<std::int64_t>(bytes.size()) > kMaxCMapBytes) bytes.resize(static_cast<std::size_t>(kMaxCMapBytes));
  return bytes;
}

std::shared_ptr<const TkwPDCMapParser> LoadCMapFile(const std::string& APath, std::string_view ACMapPath,
                                                    std::string_view AHintCollection) {
  if (APath.empty()) return nullptr;
  // Shared by every job: a parsed file never changes, and the cache is only reached under the lock.
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const TkwPDCMapParser>> cache;
  // The base of a usecmap depends on the folders searched, so they are part of the key.
  const std::string key = APath + '\n' + std::string(ACMapPath) + '\n' + std::string(AHintCollection);
  {
    std::lock_guard lock(mutex);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
  }
  const std::string bytes = ReadCMapFile(APath);
  if (bytes.empty()) return nullptr;
  const std::string cmapPath(ACMapPath);
  const std::string hint(AHintCollection);
  TkwCMapLoader loader = [cmapPath, hint](std::string_view AName) {
    return ReadCMapFile(FindCMapFile(AName, cmapPath, hint));
  };
  auto parser = std::make_shared<const TkwPDCMapParser>(bytes, loader);
  std::lock_guard lock(mutex);
  if (cache.size() >= 64) cache.clear();
  cache.emplace(key, parser);
  return parser;
}

void TkwPDCMap::LoadUCS(std::string_view ACMapPath) {
  // The UCS2 map is named after the collection the CMap file itself declares, when it does.
  std::string collection = FCollection;
  if (FCMapParser && !FCMapParser->GetRegistry().empty() && !FCMapParser->GetOrdering().empty()) {
    collection = FCMapParser->GetRegistry() + "-" + FCMapParser->GetOrdering() + "-UCS2";
  }
  if (collection.empty()) return;
  FUCSParser = LoadCMapFile(FindCMapFile(collection, ACMapPath, collection), ACMapPath, collection);
}

std::unique_ptr<TkwPDCMap> TkwPDCMap::MakeCMapFromStream(std::string_view ABytes, std::string_view aCollection,
                                                         std::string_view acMapName, std::string_view acMapPath) {
  auto cmap = std::make_unique<TkwPDCMap>();
  cmap->FcMapName = acMapName;
  cmap->FCollection = aCollection;
  const std::string cmapPath(acMapPath);
  const std::string hint(aCollection);
  TkwCMapLoader loader = [cmapPath, hint](std::string_view AName) {
    return ReadCMapFile(FindCMapFile(AName, cmapPath, hint));
  };
  cmap->FCMapParser = std::make_shared<const TkwPDCMapParser>(ABytes.substr(0, std::min<std::size_t>(ABytes.size(), kMaxCMapBytes)), loader);
  cmap->FWMode = cmap->FCMapParser->GetWMode() == 1 ? TkwWritingMode::wmVertical : TkwWritingMode::wmHorizontal;
  cmap->LoadUCS(acMapPath);
  return cmap;
}

std::unique_ptr<TkwPDCMap> TkwPDCMap::MakeCMap(std::string_view aCollection, std::string_view acMapName,
                                               std::string_view acMapPath) {
  const bool identity = acMapName == "Identity" || acMapName == "Identity-H" || acMapName == "Identity-V";
  auto cmap = std::make_unique<TkwPDCMap>();
  cmap->FcMapName = acMapName;
  cmap->FCollection = aCollection;
  if (!identity) {
    const std::string path = FindCMapFile(acMapName, acMapPath, aCollection);
    if (path.empty()) return nullptr;
    cmap->FCMapParser = LoadCMapFile(path, acMapPath, aCollection);
    if (!cmap->FCMapParser) return nullptr;
    cmap->FWMode = cmap->FCMapParser->GetWMode() == 1 ? TkwWritingMode::wmVertical : TkwWritingMode::wmHorizontal;
  } else {
    cmap->FWMode = acMapName == "Identity-V" ? TkwWritingMode::wmVertical : TkwWritingMode::wmHorizontal;
  }
  cmap->LoadUCS(acMapPath);
  return cmap;
}

std::uint32_t TkwPDCMap::CodeToCID(std::uint32_t ACode) const {
  if (!FCMapParser) return ACode;
  const std::int64_t cid = FCMapParser->MapCode(ACode);
  return cid < 0 ? 0 : static_cast<std::uint32_t>(cid & 0xFFFF);
}

std::uint16_t TkwPDCMap::CIDToUnicode(std::uint32_t ACID) const {
  if (!FUCSParser) return 0;
  const std::int64_t u = FUCSParser->MapCode(ACID);
  return u < 0 ? 0 : static_cast<std::uint16_t>(u & 0xFFFF);
}

std::uint16_t TkwPDCMap::GetCID(std::u16string_view AStr, std::size_t AIndex, int& AProcessed, bool AIsEmbeded,
                                std::uint32_t* ACharCode) const {
  AProcessed = 1;
  if (AIndex >= AStr.size()) {
    if (ACharCode) *ACharCode = 0;
    return 0;
  }
  std::uint32_t code = 0;
  const std::u16string_view rest = AStr.substr(AIndex);
  if (rest[0] > 0xFF) {
    code = rest[0];  // a two-byte code from a hex string
  } else if (FCMapParser) {
    // Only byte elements take part in a multi-byte code.
    std::size_t n = 0;
    while (n < rest.size() && n < 4 && rest[n] <= 0xFF) ++n;
    const auto m = FCMapParser->MatchCode(rest.substr(0, n));
    AProcessed = m.Bytes;
    code = m.Code;
  } else {
    AProcessed = 2;
    code = (rest.size() >= 2 && rest[1] <= 0xFF) ? ((rest[0] & 0xFFu) << 8) | (rest[1] & 0xFFu) : rest[0];
  }
  if (ACharCode) *ACharCode = code;
  std::uint32_t value = CodeToCID(code);
  if (!AIsEmbeded && FUCSParser) value = CIDToUnicode(value);
  return static_cast<std::uint16_t>(value & 0xFFFF);
}

}  // namespace qm
