#include "flash/character/device_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

namespace vantrel::flash {
namespace {

// Collects a glyph outline in font units, y pointing down as in the movie's shapes.
struct OutlineSink {
  QPainterPath path;
  static QPointF P(const FT_Vector* v) { return {static_cast<double>(v->x), -static_cast<double>(v->y)}; }
  static int Move(const FT_Vector* to, void* user) {
    auto* self = static_cast<OutlineSink*>(user);
    if (self->path.elementCount() > 0) self->path.closeSubpath();
    self->path.moveTo(P(to));
    return 0;
  }
  static int Line(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path.lineTo(P(to));
    return 0;
  }
  static int Conic(const FT_Vector* control, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path.quadTo(P(control), P(to));
    return 0;
  }
  static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path.cubicTo(P(c1), P(c2), P(to));
    return 0;
  }
};

struct Library {
  FT_Library handle = nullptr;
  Library() {
    if (FT_Init_FreeType(&handle) != 0) handle = nullptr;
  }
  ~Library() {
    if (handle) FT_Done_FreeType(handle);
  }
};

// The font files of each family by style (regular, bold, italic, bold italic), in the
// order they are tried.
struct Family {
  const char* name;
  std::array<const char*, 4> files;
};

constexpr const char* kNoto = "/usr/share/fonts/truetype/noto/";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/";

const Family kSans{"Noto Sans", {"NotoSans-Regular.ttf", "NotoSans-Bold.ttf", "NotoSans-Italic.ttf", "NotoSans-BoldItalic.ttf"}};
const Family kSerif{"Noto Serif",
                    {"NotoSerif-Regular.ttf", "NotoSerif-Bold.ttf", "NotoSerif-Italic.ttf", "NotoSerif-BoldItalic.ttf"}};
const Family kMono{"DejaVu Sans Mono", {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf",
                                        "DejaVuSansMono-BoldOblique.ttf"}};

std::string PathOf(const Family& family, int style) {
  const char* dir = &family == &kMono ? kDejaVu : kNoto;
  return std::string(dir) + family.files[static_cast<std::size_t>(style)];
}

const Family& FamilyFor(const QString& face) {
  const QString name = face.trimmed();
  if (name.compare("_serif", Qt::CaseInsensitive) == 0 || name.compare(kSerif.name, Qt::CaseInsensitive) == 0)
    return kSerif;
  if (name.compare("_typewriter", Qt::CaseInsensitive) == 0 || name.compare(kMono.name, Qt::CaseInsensitive) == 0)
    return kMono;
  return kSans;
}

}  // namespace

std::shared_ptr<Font> LoadFontFile(const std::string& path, std::string* error) {
  static Library library;
  static std::mutex mutex;
  const std::lock_guard lock(mutex);
  const auto fail = [&](const std::string& why) -> std::shared_ptr<Font> {
    if (error) *error = why + ": " + path;
    return nullptr;
  };
  if (!library.handle) return fail("FreeType could not start");
  FT_Face face = nullptr;
  if (FT_New_Face(library.handle, path.c_str(), 0, &face) != 0) return fail("cannot read font file");
  const std::unique_ptr<std::remove_pointer_t<FT_Face>, decltype(&FT_Done_Face)> owner(face, &FT_Done_Face);
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return fail("not an outline font");
  auto font = std::make_shared<Font>();
  font->device = true;
  font->name = QString::fromUtf8(face->family_name ? face->family_name : "");
  font->bold = face->style_flags & FT_STYLE_FLAG_BOLD;
  font->italic = face->style_flags & FT_STYLE_FLAG_ITALIC;
  font->wideCodes = true;
  font->emSize = face->units_per_EM;
  font->hasLayout = true;
  font->ascent = face->ascender;
  font->descent = -face->descender;
  font->leading = std::max(0, face->height - face->ascender + face->descender);
  const FT_Outline_Funcs funcs{OutlineSink::Move, OutlineSink::Line, OutlineSink::Conic, OutlineSink::Cubic, 0, 0};
  std::map<FT_UInt, int> loaded;  // glyph index -> our index (several characters may share a glyph)
  FT_UInt glyphIndex = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &glyphIndex); glyphIndex != 0;
       code = FT_Get_Next_Char(face, code, &glyphIndex)) {
    if (code > 0xFFFF) break;
    if (FT_Load_Glyph(face, glyphIndex, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) continue;
    OutlineSink sink;
    if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
      FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink);
      if (sink.path.elementCount() > 0) sink.path.closeSubpath();
    }
    // TrueType contours wind by the non-zero rule.
    sink.path.setFillRule(Qt::WindingFill);
    // A path works out its bounds on first use and keeps them; every drawing thread
    // reads these shared glyphs, so the bounds are made here, before any of them can.
    (void)sink.path.boundingRect();
    (void)sink.path.controlPointRect();
    font->glyphs.push_back(std::move(sink.path));
    font->codes.push_back(static_cast<std::uint16_t>(code));
    font->advances.push_back(static_cast<double>(face->glyph->metrics.horiAdvance));
    loaded.emplace(glyphIndex, static_cast<int>(font->glyphs.size() - 1));
  }
  if (FT_HAS_KERNING(face)) {
    // Pairs of the printable Latin range only: a full table would be millions of pairs.
    for (std::uint16_t left = 32; left < 256; ++left) {
      const FT_UInt a = FT_Get_Char_Index(face, left);
      if (!a) continue;
      for (std::uint16_t right = 32; right < 256; ++right) {
        const FT_UInt b = FT_Get_Char_Index(face, right);
        FT_Vector kern{};
        if (b && FT_Get_Kerning(face, a, b, FT_KERNING_UNSCALED, &kern) == 0 && kern.x != 0)
          font->kerning[{left, right}] = static_cast<std::int16_t>(kern.x);
      }
    }
  }
  return font;
}

std::shared_ptr<const Font> DeviceFont(const QString& faceName, bool bold, bool italic) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const Font>> cache;  // by file
  const Family& family = FamilyFor(faceName);
  const int wanted = (bold ? 1 : 0) + (italic ? 2 : 0);
  // The wanted style, then regular, then the sans-serif family's.
  const std::array<std::pair<const Family*, int>, 4> tries{
      {{&family, wanted}, {&family, 0}, {&kSans, wanted}, {&kSans, 0}}};
  const std::lock_guard lock(mutex);
  for (const auto& [candidate, style] : tries) {
    const std::string path = PathOf(*candidate, style);
    if (const auto it = cache.find(path); it != cache.end()) {
      if (it->second) return it->second;
      continue;
    }
    std::shared_ptr<const Font> font;
    if (std::filesystem::exists(path)) font = LoadFontFile(path, nullptr);
    cache[path] = font;
    if (font) return font;
  }
  return nullptr;
}

namespace {
// A font-unit distance at a size, in whole twips (truncated).
double Twips(double units, const Font& font, double size) { return std::trunc(units * size / font.emSize); }
}  // namespace

double DeviceTextMetrics::Advance(const Font& font, std::size_t glyph, double size) {
  return std::round(Twips(font.Advance(glyph), font, size) / 20) * 20;
}

double DeviceTextMetrics::Ascent(const Font& font, double size) {
  return std::round(font.ascent * size / font.emSize / 20) * 20;
}

double DeviceTextMetrics::Descent(const Font& font, double size) {
  return std::round(font.descent * size / font.emSize / 20) * 20;
}

}  // namespace vantrel::flash
