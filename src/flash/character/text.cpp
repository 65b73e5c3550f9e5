#include "flash/character/text.h"

#include "flash/raster/target.h"

#include "flash/character/shape.h"
#include "flash/character/style.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

constexpr std::size_t kMaxGlyphsPerText = 1u << 20;

std::shared_ptr<const Font> FindFont(const DefinitionContext& context, std::uint16_t id) {
  if (!context.dictionary) return nullptr;
  auto character = context.dictionary->Find(id);
  if (!character || character->Kind() != CharacterKind::Font) return nullptr;
  return std::static_pointer_cast<const Font>(character);
}

// Maps glyph outlines (font units) to text space for one glyph.
QTransform GlyphTransform(const TextRecord& record, double x) {
  const double scale = record.font ? record.height / record.font->emSize : 0;
  return QTransform(scale, 0, 0, scale, x, record.y);
}

}  // namespace

std::shared_ptr<StaticText> ParseStaticText(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                            DefinitionContext& context, std::string* error) {
  SwfStream in(body);
  auto text = std::make_shared<StaticText>();
  text->id = in.U16();
  text->bounds = in.ReadRect();
  text->matrix = in.ReadMatrix();
  const unsigned glyphBits = in.U8();
  const unsigned advanceBits = in.U8();
  if (in.Overrun() || glyphBits > 32 || advanceBits > 32) {
    if (error) *error = "bad header in text " + std::to_string(text->id);
    return nullptr;
  }
  TextRecord state;
  std::size_t total = 0;
  // Every record takes at least two bytes, so the data bounds the loop.
  while (!in.Overrun() && !in.AtEnd()) {
    const std::uint8_t flags = in.U8();
    if (flags == 0) break;
    TextRecord record;
    record.font = state.font;
    record.fontId = state.fontId;
    record.color = state.color;
    record.height = state.height;
    record.y = state.y;
    record.x = state.x;
    if (flags & 0x08) {
      record.fontId = in.U16();
      record.font = FindFont(context, record.fontId);
    }
    if (flags & 0x04) record.color = tagCode == 33 ? in.ReadRgba() : in.ReadRgb();
    if (flags & 0x01) record.x = in.S16();
    if (flags & 0x02) record.y = in.S16();
    if (flags & 0x08) record.height = in.U16();
    const std::size_t count = in.U8();
    for (std::size_t i = 0; i < count && !in.Overrun(); ++i) {
      TextRecord::Glyph glyph;
      glyph.index = in.UBits(glyphBits);
      glyph.advance = in.SBits(advanceBits);
      record.glyphs.push_back(glyph);
    }
    in.AlignBits();
    if (in.Overrun()) break;
    total += record.glyphs.size();
    if (total > kMaxGlyphsPerText) break;
    state = record;
    for (const auto& glyph : record.glyphs) state.x += glyph.advance;
    state.glyphs.clear();
    text->records.push_back(std::move(record));
  }
  for (const auto& record : text->records) {
    if (!record.font && record.fontId) {
      context.awaitingFonts.push_back(text);
      break;
    }
  }
  return text;
}

void StaticText::AttachFont(const std::shared_ptr<const Font>& font) {
  for (auto& record : records) {
    if (!record.font && record.fontId == font->id) record.font = font;
  }
  outlineBuilt_.Set(false);
}

void AttachFontToWaitingTexts(const std::shared_ptr<const Font>& font, DefinitionContext& context) {
  auto& waiting = context.awaitingFonts;
  for (const auto& weak : waiting) {
    const auto character = weak.lock();
    if (!character) continue;
    if (character->Kind() == CharacterKind::Text) static_cast<StaticText&>(*character).AttachFont(font);
    if (character->Kind() == CharacterKind::EditText) static_cast<EditText&>(*character).AttachFont(font);
  }
  std::erase_if(waiting, [](const std::weak_ptr<Character>& weak) { return weak.expired(); });
}

void StaticText::Render(const RenderContext& context) const {
  QPainter* painter = context.painter;
  if (!painter) return;
  const QTransform toDevice = ToQTransform(matrix) * context.transform;
  const render::PainterTarget target(*painter, toDevice.mapRect(Bounds()) | context.transform.mapRect(Bounds()));
  if (!target.Valid()) return;
  const auto colors = render::FixedColorTransform::From(context.colorTransform);
  const int samples = render::SamplesPerAxis(static_cast<int>(context.quality));
  for (const TextRecord& record : records) {
    if (!record.font) continue;
    // One pass per record: its glyphs share a colour and never need to blend together.
    render::EdgeList edges(toDevice * target.FromDevice());
    bool nonZero = false;
    double x = record.x;
    for (const auto& glyph : record.glyphs) {
      if (glyph.index < record.font->glyphs.size()) {
        const QPainterPath& path = record.font->glyphs[glyph.index];
        if (!path.isEmpty()) {
          // Glyph outlines are cut in the font's own units, as shapes are in twips.
          const QTransform glyph = GlyphTransform(record, x);
          edges.AddPath(path, glyph, render::ShapeCurveTolerance(glyph * toDevice));
          nonZero = nonZero || path.fillRule() == Qt::WindingFill;
        }
      }
      x += glyph.advance;
    }
    if (edges.Empty()) continue;
    const render::SolidPaint paint(render::Premultiply(colors.Apply(record.color)));
    const render::Paint* paints[] = {&paint};
    render::FillEdges(target.Get(), edges.Edges(), paints,
                      nonZero ? render::FillRule::NonZero : render::FillRule::EvenOdd, samples);
  }
}

QRectF StaticText::Bounds(std::uint16_t) const { return ToQRectF(bounds); }

bool StaticText::HitTest(QPointF point, std::uint16_t) const {
  if (!Bounds().contains(point)) return false;
  if (advancedRendering) return true;
  bool invertible = false;
  const QPointF inText = ToQTransform(matrix).inverted(&invertible).map(point);
  if (!invertible) return false;
  for (const TextRecord& record : records) {
    if (!record.font) continue;
    double x = record.x;
    for (const auto& glyph : record.glyphs) {
      if (glyph.index < record.font->glyphs.size()) {
        const QPainterPath& path = record.font->glyphs[glyph.index];
        const QTransform toText = GlyphTransform(record, x);
        const QPointF inGlyph = toText.inverted(&invertible).map(inText);
        if (invertible && !path.isEmpty() && path.contains(inGlyph)) return true;
      }
      x += glyph.advance;
    }
  }
  return false;
}

QPainterPath StaticText::Outline(std::uint16_t) const {
  render::BuildOnce(this, outlineBuilt_, [&] { outline_ = BuildOutline(); });
  return outline_;
}

QPainterPath StaticText::BuildOutline() const {
  QPainterPath outline;
  outline.setFillRule(Qt::WindingFill);
  for (const TextRecord& record : records) {
    if (!record.font) continue;
    double x = record.x;
    for (const auto& glyph : record.glyphs) {
      if (glyph.index < record.font->glyphs.size()) {
        outline.addPath(GlyphTransform(record, x).map(record.font->glyphs[glyph.index]));
      }
      x += glyph.advance;
    }
  }
  return ToQTransform(matrix).map(outline);
}

}  // namespace vantrel::flash
