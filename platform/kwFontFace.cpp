#include "platform/kwFontFace.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

#include <algorithm>

namespace qm {
namespace {

// FreeType's library object is not thread-safe for creating and destroying faces; one
// process-wide instance behind a lock serves every face.
struct TkwFtLibrary {
  FT_Library Lib = nullptr;
  std::mutex Mutex;
  TkwFtLibrary() {
    if (FT_Init_FreeType(&Lib) != 0) Lib = nullptr;
  }
  ~TkwFtLibrary() {
    if (Lib != nullptr) FT_Done_FreeType(Lib);
  }
};

// Faces hold the library too: faces cached in other statics may be destroyed after it
// at exit, and FT_Done_Face needs a live library.
const std::shared_ptr<TkwFtLibrary>& FtLibrary() {
  static const std::shared_ptr<TkwFtLibrary> lib = std::make_shared<TkwFtLibrary>();
  return lib;
}

}  // namespace

struct TkwFontFace::TkwImpl {
  std::shared_ptr<TkwFtLibrary> Library = FtLibrary();
  FT_Face Face = nullptr;
  std::string Bytes;  // the font program of a memory face; FreeType reads it in place
  ~TkwImpl() {
    if (Face != nullptr) {
      std::lock_guard lock(Library->Mutex);
      FT_Done_Face(Face);
    }
  }
};

TkwFontFace::TkwFontFace(TkwKey, std::unique_ptr<TkwImpl> AImpl) : FImpl(std::move(AImpl)) { ReadMetrics(); }

TkwFontFace::~TkwFontFace() = default;

std::shared_ptr<TkwFontFace> TkwFontFace::OpenFile(const std::string& APath, int AIndex) {
  if (APath.empty() || AIndex < 0) return nullptr;
  auto impl = std::make_unique<TkwImpl>();
  auto& lib = *impl->Library;
  if (lib.Lib == nullptr) return nullptr;
  {
    std::lock_guard lock(lib.Mutex);
    if (FT_New_Face(lib.Lib, APath.c_str(), AIndex, &impl->Face) != 0) {
      impl->Face = nullptr;
      return nullptr;
    }
  }
  return std::make_shared<TkwFontFace>(TkwKey{}, std::move(impl));
}

std::shared_ptr<TkwFontFace> TkwFontFace::OpenMemory(std::string ABytes, int AIndex) {
  if (ABytes.empty() || AIndex < 0) return nullptr;
  auto impl = std::make_unique<TkwImpl>();
  auto& lib = *impl->Library;
  if (lib.Lib == nullptr) return nullptr;
  impl->Bytes = std::move(ABytes);
  {
    std::lock_guard lock(lib.Mutex);
    if (FT_New_Memory_Face(lib.Lib, reinterpret_cast<const FT_Byte*>(impl->Bytes.data()),
                           static_cast<FT_Long>(impl->Bytes.size()), AIndex, &impl->Face) != 0) {
      impl->Face = nullptr;
      return nullptr;
    }
  }
  return std::make_shared<TkwFontFace>(TkwKey{}, std::move(impl));
}

void TkwFontFace::ReadMetrics() {
  FT_Face f = FImpl->Face;
  if (f->charmap == nullptr && f->num_charmaps > 0) FT_Set_Charmap(f, f->charmaps[0]);
  FSymbolMap = f->charmap != nullptr && f->charmap->encoding == FT_ENCODING_MS_SYMBOL;
  // Bitmap-only and damaged faces may report 0 units per em.
  FUnitsPerEm = f->units_per_EM > 0 ? f->units_per_EM : 1000;
  FCellAscent = f->ascender;
  FCellDescent = -f->descender;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
      os2 != nullptr && os2->version != 0xFFFF && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
    FCellAscent = os2->usWinAscent;
    FCellDescent = os2->usWinDescent;
  }
  if (FCellAscent == 0 && FCellDescent == 0) {
    FCellAscent = FUnitsPerEm * 95 / 100;
    FCellDescent = FUnitsPerEm - FCellAscent;
  }
  FLineSpacing = f->height > 0 ? f->height : FCellAscent + FCellDescent;
  FGlyphCount = f->num_glyphs > 0 ? static_cast<unsigned>(f->num_glyphs) : 0;
  FBold = (f->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  FItalic = (f->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  // Subsetters often clear the OS/2 style bits that FreeType reads and keep the header's.
  if (auto* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(f, FT_SFNT_HEAD)); head != nullptr) {
    FBold = FBold || (head->Mac_Style & 1) != 0;
    FItalic = FItalic || (head->Mac_Style & 2) != 0;
  }
  if (f->family_name != nullptr) FFamilyName = f->family_name;
}

unsigned TkwFontFace::GlyphIndexLocked(char32_t ACode) const {
  FT_Face f = FImpl->Face;
  if (f->charmap == nullptr) return 0;
  unsigned g = FT_Get_Char_Index(f, ACode);
  if (g == 0 && FSymbolMap && ACode < 0x100) g = FT_Get_Char_Index(f, 0xF000 + ACode);
  return g;
}

unsigned TkwFontFace::GetGlyphIndex(char32_t ACode) const {
  std::lock_guard lock(FMutex);
  return GlyphIndexLocked(ACode);
}

unsigned TkwFontFace::GetGlyphIndexByName(std::string_view AName) const {
  if (AName.empty()) return 0;
  std::lock_guard lock(FMutex);
  if (!FT_HAS_GLYPH_NAMES(FImpl->Face)) return 0;
  std::string name(AName);
  return FT_Get_Name_Index(FImpl->Face, name.c_str());
}

int TkwFontFace::GlyphAdvanceLocked(unsigned AGlyph) const {
  if (AGlyph >= FGlyphCount) return 0;
  FT_Fixed adv = 0;
  if (FT_Get_Advance(FImpl->Face, AGlyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &adv) != 0) return 0;
  return static_cast<int>(adv);
}

int TkwFontFace::GetGlyphAdvance(unsigned AGlyph) const {
  std::lock_guard lock(FMutex);
  return GlyphAdvanceLocked(AGlyph);
}

int TkwFontFace::CharAdvanceLocked(char32_t ACode) const {
  if (ACode < 0x10000) {
    auto& page = FBmpAdvances[ACode >> 8];
    if (!page) {
      page = std::make_unique<TkwAdvancePage>();
      page->fill(-1);
    }
    std::int32_t& slot = (*page)[ACode & 0xFF];
    if (slot < 0) slot = std::max(0, GlyphAdvanceLocked(GlyphIndexLocked(ACode)));
    return slot;
  }
  auto it = FOtherAdvances.find(ACode);
  if (it != FOtherAdvances.end()) return it->second;
  const int adv = std::max(0, GlyphAdvanceLocked(GlyphIndexLocked(ACode)));
  // A hostile string of distinct astral characters must not grow the cache without end.
  if (FOtherAdvances.size() < 65536) FOtherAdvances.emplace(ACode, adv);
  return adv;
}

int TkwFontFace::GetCharAdvance(char32_t ACode) const {
  std::lock_guard lock(FMutex);
  return CharAdvanceLocked(ACode);
}

std::int64_t TkwFontFace::GetTextAdvance(std::u16string_view AText) const {
  std::lock_guard lock(FMutex);
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    char32_t c = AText[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
        AText[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
      ++i;
    }
    sum += CharAdvanceLocked(c);
  }
  return sum;
}

// The Unicode map AMap read backwards: the value of each glyph (the first one mapped to
// it). Leaves AMap selected; the caller holds the lock.
std::unordered_map<unsigned, char32_t> TkwFontFace::UnicodeByGlyphLocked(::FT_CharMapRec_* AMap) const {
  std::unordered_map<unsigned, char32_t> values;
  FT_Face f = FImpl->Face;
  if (AMap != nullptr && FT_Set_Charmap(f, AMap) == 0) {
    FT_UInt g = 0;
    FT_ULong c = FT_Get_First_Char(f, &g);
    for (std::size_t n = 0; g != 0 && n < 0x110000; ++n) {
      values.emplace(g, static_cast<char32_t>(c));
      c = FT_Get_Next_Char(f, c, &g);
    }
  }
  return values;
}

std::unordered_map<unsigned, char32_t> TkwFontFace::GetUnicodeByGlyph() const {
  std::lock_guard lock(FMutex);
  FT_Face f = FImpl->Face;
  FT_CharMap unicode = nullptr;
  for (FT_Int i = 0; i < f->num_charmaps && unicode == nullptr; ++i) {
    if (f->charmaps[i]->encoding == FT_ENCODING_UNICODE) unicode = f->charmaps[i];
  }
  FT_CharMap previous = f->charmap;
  auto values = UnicodeByGlyphLocked(unicode);
  if (previous != nullptr) FT_Set_Charmap(f, previous);
  return values;
}

std::array<TkwFontFace::TkwCodeGlyph, 256> TkwFontFace::GetBuiltInEncoding() const {
  std::array<TkwCodeGlyph, 256> out{};
  std::lock_guard lock(FMutex);
  FT_Face f = FImpl->Face;
  FT_CharMap own = nullptr, unicode = nullptr;
  for (FT_Int i = 0; i < f->num_charmaps; ++i) {
    FT_CharMap m = f->charmaps[i];
    switch (m->encoding) {
      case FT_ENCODING_ADOBE_CUSTOM:
      case FT_ENCODING_ADOBE_STANDARD:
      case FT_ENCODING_ADOBE_EXPERT:
      case FT_ENCODING_MS_SYMBOL:
        if (own == nullptr || own->encoding == FT_ENCODING_APPLE_ROMAN) own = m;
        break;
      case FT_ENCODING_APPLE_ROMAN:
        if (own == nullptr) own = m;
        break;
      case FT_ENCODING_UNICODE:
        if (unicode == nullptr) unicode = m;
        break;
      default:
        break;
    }
  }
  if (own == nullptr) return out;
  FT_CharMap previous = f->charmap;
  const std::unordered_map<unsigned, char32_t> values = UnicodeByGlyphLocked(unicode);
  FT_Set_Charmap(f, own);
  const bool symbol = own->encoding == FT_ENCODING_MS_SYMBOL;
  const bool names = FT_HAS_GLYPH_NAMES(f);
  for (unsigned code = 0; code < 256; ++code) {
    // Symbol maps keep single-byte codes at U+F000 (sometimes U+F100 or U+F200) + code.
    unsigned g = FT_Get_Char_Index(f, code);
    for (unsigned base = 0xF000; symbol && g == 0 && base <= 0xF200; base += 0x100) {
      g = FT_Get_Char_Index(f, base + code);
    }
    if (g == 0 || g >= FGlyphCount) continue;
    TkwCodeGlyph& entry = out[code];
    entry.Glyph = g;
    if (names) {
      char name[64] = {};
      if (FT_Get_Glyph_Name(f, g, name, sizeof name) == 0) entry.Name = name;
    }
    if (auto it = values.find(g); it != values.end()) entry.Unicode = it->second;
    // Whether it draws anything only matters for a glyph nothing else names.
    if (entry.Unicode == 0 && FT_Load_Glyph(f, g, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
      entry.Blank = f->glyph->format == FT_GLYPH_FORMAT_OUTLINE && f->glyph->outline.n_contours == 0;
    }
  }
  if (previous != nullptr) FT_Set_Charmap(f, previous);
  return out;
}

namespace {

struct TkwDecomposeTarget {
  TkwPath2D* Path;
  bool Open = false;
};

TkwPoint ToPoint(const FT_Vector* v) { return {double(v->x), double(v->y)}; }

int OnMoveTo(const FT_Vector* to, void* user) {
  auto* t = static_cast<TkwDecomposeTarget*>(user);
  if (t->Open) t->Path->CloseFigure();
  t->Path->MoveTo(ToPoint(to));
  t->Open = true;
  return 0;
}
int OnLineTo(const FT_Vector* to, void* user) {
  static_cast<TkwDecomposeTarget*>(user)->Path->LineTo(ToPoint(to));
  return 0;
}
int OnConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
  static_cast<TkwDecomposeTarget*>(user)->Path->QuadTo(ToPoint(c), ToPoint(to));
  return 0;
}
int OnCubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  static_cast<TkwDecomposeTarget*>(user)->Path->CubicTo(ToPoint(c1), ToPoint(c2), ToPoint(to));
  return 0;
}

}  // namespace

TkwPath2D TkwFontFace::GetGlyphPath(unsigned AGlyph) const {
  TkwPath2D path;
  std::lock_guard lock(FMutex);
  if (AGlyph >= FGlyphCount) return path;
  FT_Face f = FImpl->Face;
  if (FT_Load_Glyph(f, AGlyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return path;
  if (f->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return path;
  FT_Outline_Funcs funcs{};
  funcs.move_to = OnMoveTo;
  funcs.line_to = OnLineTo;
  funcs.conic_to = OnConicTo;
  funcs.cubic_to = OnCubicTo;
  TkwDecomposeTarget target{&path};
  if (FT_Outline_Decompose(&f->glyph->outline, &funcs, &target) != 0) return TkwPath2D{};
  if (target.Open) path.CloseFigure();
  return path;
}

}  // namespace qm
