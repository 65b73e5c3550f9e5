#include "flash/render/renderer.h"

#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "flash/character/shape.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/scale_grid.h"
#include "flash/display/text_field.h"
#include "flash/render/draw_pool.h"
#include "flash/render/effects.h"
#include "flash/render/layer_image.h"
#include "flash/raster/target.h"

namespace vantrel::flash {

namespace {

QTransform ToQt(const Matrix& m) { return QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty); }

// Masks draw their coverage only: every drawn pixel counts as opaque.
ColorTransform MaskColor() {
  ColorTransform mask;
  mask.mulA = 0;
  mask.addA = 255;
  return mask;
}

// Masks that stay where they are from frame to frame (most clip layers) draw the same
// coverage each time. A mask that is one shape of the movie's dictionary (those never
// change) keeps the runs it drew and the pixels of their partial stretches, by shape,
// transform, quality and coverage size: from the second time it is drawn alike on, the
// pixels are put back instead of drawn. Per thread, like the drawing itself.
struct KeptMask {
  std::weak_ptr<const Character> shape;
  QTransform toDevice;
  Quality quality = Quality::High;
  QSize size;
  std::uint64_t lastUse = 0;
  bool seen = false;      // drawn alike once before
  bool filled = false;    // runs and partial hold the drawing
  bool tooLarge = false;  // more than is kept
  render::CoverageRuns runs;
  std::vector<render::Pixel> partial;  // the pixels of the partial runs, one run after another

  // Puts the partial runs' pixels back into a clear coverage image.
  void Restore(QImage& coverage) const {
    auto* bits = coverage.bits();
    const qsizetype stride = coverage.bytesPerLine();
    std::size_t at = 0;
    for (int y = 0; y < size.height(); ++y) {
      auto* row = reinterpret_cast<render::Pixel*>(bits + stride * y);
      for (const render::CoverageRuns::Run& run : runs.Row(y)) {
        if (run.whole) continue;
        std::copy_n(partial.begin() + static_cast<std::ptrdiff_t>(at), run.to - run.from, row + run.from);
        at += static_cast<std::size_t>(run.to - run.from);
      }
    }
  }
  // Keeps drawn, the runs of what was drawn into coverage, unless it is too large.
  void Keep(const render::CoverageRuns& drawn, const QImage& coverage) {
    std::size_t pixels = 0;
    for (const render::CoverageRuns::Run& run : drawn.runs)
      if (!run.whole) pixels += static_cast<std::size_t>(run.to - run.from);
    if (drawn.runs.size() > kMaxRuns || pixels > kMaxPixels) {
      tooLarge = true;
      return;
    }
    runs = drawn;
    partial.clear();
    partial.reserve(pixels);
    for (int y = 0; y < size.height(); ++y) {
      const auto* row = reinterpret_cast<const render::Pixel*>(coverage.constScanLine(y));
      for (const render::CoverageRuns::Run& run : runs.Row(y))
        if (!run.whole) partial.insert(partial.end(), row + run.from, row + run.to);
    }
    filled = true;
  }
  // At most about 2 MB a mask.
  static constexpr std::size_t kMaxRuns = 1u << 16, kMaxPixels = 1u << 18;
};

// The kept masks of this thread (a few: masks of a frame, which rarely are many).
KeptMask& FindKeptMask(const std::shared_ptr<const Character>& shape, const QTransform& toDevice, Quality quality,
                       QSize size) {
  constexpr std::size_t kKept = 8;
  thread_local std::vector<KeptMask> kept;
  thread_local std::uint64_t uses = 0;
  ++uses;
  KeptMask* pick = nullptr;
  for (KeptMask& mask : kept) {
    if (mask.shape.expired()) mask = KeptMask{};  // its movie is gone
    if (mask.toDevice == toDevice && mask.quality == quality && mask.size == size && !mask.shape.owner_before(shape) &&
        !shape.owner_before(mask.shape)) {
      mask.lastUse = uses;
      return mask;
    }
    if (!pick || mask.lastUse < pick->lastUse) pick = &mask;
  }
  if (kept.size() < kKept) pick = &kept.emplace_back();
  *pick = KeptMask{};
  pick->shape = shape;
  pick->toDevice = toDevice;
  pick->quality = quality;
  pick->size = size;
  pick->lastUse = uses;
  return *pick;
}

class Walker {
 public:
  // stageScale: device pixels per stage pixel, which filter distances scale by.
  Walker(const ViewOptions& options, const QTransform& stage)
      : effectsLeft_(options.smallEffectsBudget ? kEffectsWork / 16 : kEffectsWork),
        options_(options),
        stage_(stage),
        stageScale_(std::sqrt(std::abs(stage.determinant())) * 20) {}

  // Draws the objects from first to end (depth order); clip layers take the objects up
  // to their clip depth with them.
  using Iterator = std::map<std::int32_t, DisplayObject*>::const_iterator;
  // Draws object's own content (its subtree) with transform, without its placement.
  // The object's own filters apply and its mask masks it, the mask placed by its own
  // matrix in the drawing's space; the object's blend mode does not.
  void DrawAlone(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                 const ColorTransform& color) {
    const bool filtered = !object.filters.empty();
    const auto draw = [&](QPainter& target, const QTransform& shift) {
      if (filtered) {
        DrawLayered(target, object, transform * shift, color, 0, static_cast<std::uint8_t>(BlendMode::Normal));
        return;
      }
      DrawContent(target, object, transform * shift, color, false, 0);
    };
    const DisplayObject* mask = object.maskClip;
    if (mask && !mask->Removed() && mask != &object) {
      DrawThrough(painter, *mask, transform, 0, !filtered && DrawsAlone(object, 0, true), draw);
      return;
    }
    draw(painter, QTransform());
  }

  // Whether some objects were drawn without their filters and blend mode (the budget).
  bool EffectsLeftOut() const { return effectsLeftOut_; }

  // Draws only the rows of band on device: layers and masks drawn straight onto it
  // are made for those rows (and a filter's reach around them), not the whole image.
  void RestrictTo(const QPaintDevice* device, const QRect& band) {
    bandDevice_ = device;
    band_ = band;
  }

  void DrawRange(QPainter& painter, Iterator first, Iterator end, const QTransform& parent,
                 const ColorTransform& color, bool asMask, int nesting) {
    for (auto it = first; it != end;) {
      const DisplayObject& object = *it->second;
      if (object.clipDepth == 0 || asMask) {
        DrawObject(painter, object, parent, color, asMask, nesting);
        ++it;
        continue;
      }
      // A clip layer: the objects up to its clip depth are drawn through its shape.
      auto maskedEnd = std::next(it);
      // Clip depths are the file's depths; children are kept at the scripts' (16384 lower).
      while (maskedEnd != end && maskedEnd->first <= object.clipDepth - 16384) ++maskedEnd;
      DrawMasked(painter, object, std::next(it), maskedEnd, parent, color, nesting);
      it = maskedEnd;
    }
  }

 private:
  void DrawMasked(QPainter& painter, const DisplayObject& mask, Iterator first, Iterator end, const QTransform& parent,
                  const ColorTransform& color, int nesting) {
    if (first == end) return;  // a mask over nothing draws nothing
    DrawThrough(painter, mask, parent, nesting, RangeDrawsAlone(first, end, nesting),
                [&](QPainter& target, const QTransform& shift) {
                  DrawRange(target, first, end, parent * shift, color, false, nesting);
                });
  }

  // An object masked by setMask: drawn so that only what the mask, placed where it
  // stands on the stage, covers shows.
  void DrawThroughMask(QPainter& painter, const DisplayObject& object, const QTransform& parent,
                       const ColorTransform& color, int nesting) {
    const DisplayObject& mask = *object.maskClip;
    // A blending object blends what the mask leaves of it with what lies beneath, not
    // with the empty layer it is masked in.
    const std::uint8_t mode = object.blendMode;
    const bool blends = mode > static_cast<std::uint8_t>(BlendMode::Layer) &&
                        mode <= static_cast<std::uint8_t>(BlendMode::HardLight) &&
                        mode != static_cast<std::uint8_t>(BlendMode::Alpha) &&
                        mode != static_cast<std::uint8_t>(BlendMode::Erase) && TargetImage(painter);
    DrawThrough(painter, mask, ParentTransform(mask), 0, !blends && DrawsAlone(object, nesting, true),
                [&](QPainter& target, const QTransform& shift) {
                  const DisplayObject* outer = maskedNow_;
                  const DisplayObject* outerBlend = blendLater_;
                  maskedNow_ = &object;
                  if (blends) blendLater_ = &object;
                  DrawObject(target, object, parent * shift, color, false, nesting);
                  maskedNow_ = outer;
                  blendLater_ = outerBlend;
                },
                blends ? mode : static_cast<std::uint8_t>(BlendMode::Normal));
  }

  // Draws what draw(painter, shift) draws through mask (drawn with maskParent). The
  // mask is drawn as coverage (its alpha) by the same rasterizer as everything else,
  // so its edges sample exactly like a shape's at every quality; only the mask's own
  // area needs pictures. When the content goes straight through the rasterizer
  // (direct), it applies the coverage as it draws (shift is the identity); otherwise
  // the content is drawn into a layer (shift moves device pixels into it) that keeps
  // only what the coverage covers.
  template <typename DrawFn>
  void DrawThrough(QPainter& painter, const DisplayObject& mask, const QTransform& maskParent, int maskNesting,
                   bool direct, DrawFn&& draw, std::uint8_t blendMode = static_cast<std::uint8_t>(BlendMode::Normal)) {
    const QRect area =
        render::PaddedPixelRect(MaskArea(mask, maskParent, maskNesting), 1).intersected(Visible(painter));
    if (area.isEmpty()) return;
    const QTransform shift = QTransform::fromTranslate(-area.x(), -area.y());
    render::LayerImage coverageImage(area.size());
    QImage& coverage = coverageImage.Image();
    if (coverage.isNull()) return;
    const auto drawMask = [&] {
      QPainter maskPainter(&coverage);
      maskPainter.setRenderHints(painter.renderHints());
      DrawObject(maskPainter, mask, maskParent * shift, MaskColor(), true, maskNesting);
    };
    // A mask the rasterizer draws alone gets its runs from what it drew, without
    // looking at every pixel of its area. Applied as the content is drawn, only its
    // runs and partly covered pixels are looked at: its opaque stretches are noted,
    // not painted, and a mask that is one shape drawn alike before is put back.
    const bool applied = direct && CoverageTarget(painter);
    bool recorded = MaskDrawsAlone(mask, maskNesting);
    KeptMask* kept = nullptr;
    if (applied && recorded && !mask.IsContainer() && !mask.scrollRect && mask.character &&
        mask.character->Kind() == CharacterKind::Shape)
      kept = &FindKeptMask(mask.character, ToQt(mask.GetMatrix()) * maskParent * shift, options_.quality,
                           coverage.size());
    render::DrawnStretches drawn(recorded && !(kept && kept->filled) ? coverage.height() : 0, recorded && applied);
    render::CoverageRuns drawnRuns;
    const render::CoverageRuns* runs = nullptr;  // of what the mask drew, when known
    if (kept && kept->filled) {
      kept->Restore(coverage);
      runs = &kept->runs;
    } else {
      {
        const render::DrawnScope scope(recorded ? &coverage : nullptr, drawn);
        drawMask();
        recorded = recorded && !scope.Spoiled();
      }
      if (!recorded && drawn.SkipsOpaque()) {
        // Something was drawn otherwise after all: the pixels are wanted in full.
        coverage.fill(0);
        drawMask();
      }
      if (recorded && applied) {
        drawnRuns = drawn.Runs(coverage);
        runs = &drawnRuns;
        // Drawn alike the time before too: kept from now on.
        if (kept && !kept->tooLarge) {
          if (kept->seen) kept->Keep(drawnRuns, coverage);
          kept->seen = true;
        }
      }
    }
    if (applied) {
      const render::CoverageScope scope(CoverageTarget(painter), coverage, area.topLeft(), runs);
      draw(painter, QTransform());
      // Only the mask's drawing and the scope touched the coverage: clearing that much
      // leaves the kept buffer clean for the next mask.
      if (runs) {
        if (runs == &drawnRuns) {
          drawn.Erase(coverage);
        } else {
          render::ClearPartialRuns(coverage, *runs);
        }
        render::ClearPartialRuns(coverage, scope.Runs());
        coverageImage.MarkClean();
      }
      return;
    }
    render::LayerImage layerImage(area.size());
    QImage& layer = layerImage.Image();
    if (layer.isNull()) return;
    {
      QPainter layerPainter(&layer);
      layerPainter.setRenderHints(painter.renderHints());
      draw(layerPainter, shift);
    }
    {
      QPainter combine(&layer);
      combine.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      combine.drawImage(0, 0, coverage);
    }
    painter.save();
    painter.resetTransform();
    QImage* targetImage = TargetImage(painter);
    if (blendMode != static_cast<std::uint8_t>(BlendMode::Normal) && targetImage) {
      BlendRegion(painter, *targetImage, layer, area.topLeft(), area, blendMode);
    } else {
      painter.drawImage(area.topLeft(), layer);
    }
    painter.restore();
  }

  // The pixels of painter's device this drawing shows.
  QRect Visible(QPainter& painter) const {
    const QRect device(0, 0, painter.device()->width(), painter.device()->height());
    return painter.device() == bandDevice_ ? device.intersected(band_) : device;
  }

  // The image the painter draws on, when masks can be applied as coverage there.
  static const QImage* CoverageTarget(QPainter& painter) {
    QPaintDevice* device = painter.device();
    return device && device->devType() == QInternal::Image ? static_cast<const QImage*>(device) : nullptr;
  }

  // True for an object that is no container and that the rasterizer draws itself
  // (shapes, morph shapes, static text, bitmaps; nothing at all counts too).
  static bool RasterizedLeaf(const DisplayObject& object) {
    if (!object.character) return true;
    const CharacterKind kind = object.character->Kind();
    return kind == CharacterKind::Shape || kind == CharacterKind::MorphShape || kind == CharacterKind::Text ||
           kind == CharacterKind::Bitmap;
  }

  // True when everything object draws goes through the rasterizer straight onto the
  // target (shapes, morph shapes, static text, bitmaps, in plain sprites), so a mask's
  // coverage can be applied as it draws. Layers, caches, backgrounds, scroll
  // rectangles, script masks, text fields and video are drawn otherwise.
  static bool DrawsAlone(const DisplayObject& object, int nesting, bool ownMask = false) {
    if (NeedsLayer(object.blendMode) || !object.filters.empty() || object.cacheAsBitmap || object.opaqueBackground ||
        object.scrollRect || (object.maskClip && !ownMask) || object.maskedBy)
      return false;
    if (!object.IsContainer()) return RasterizedLeaf(object);
    if (nesting > MovieClip::kMaxNesting) return false;
    const auto& list = static_cast<const MovieClip&>(object).Children();
    return RangeDrawsAlone(list.begin(), list.end(), nesting + 1);
  }

  // True when everything a mask draws goes through the rasterizer straight onto its
  // coverage (drawn as a mask, an object's layers, filters and backgrounds are left out).
  static bool MaskDrawsAlone(const DisplayObject& object, int nesting) {
    if (!object.IsContainer()) return RasterizedLeaf(object);
    if (nesting > MovieClip::kMaxNesting) return false;
    for (const auto& [depth, child] : static_cast<const MovieClip&>(object).Children())
      if (!MaskDrawsAlone(*child, nesting + 1)) return false;
    return true;
  }

  static bool RangeDrawsAlone(Iterator first, Iterator end, int nesting) {
    for (auto it = first; it != end; ++it)
      if (!DrawsAlone(*it->second, nesting)) return false;
    return true;
  }

  static bool IsScriptMask(const DisplayObject& object) {
    return object.maskedBy && object.clipDepth == 0 && object.maskedBy->clipDepth == 0;
  }

  // The transform from object's parent's space to device pixels.
  QTransform ParentTransform(const DisplayObject& object) const {
    std::vector<const MovieClip*> chain;
    for (const MovieClip* p = object.Parent(); p && chain.size() <= MovieClip::kMaxNesting; p = p->Parent())
      chain.push_back(p);
    QTransform world = stage_;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) world = ToQt((*it)->GetMatrix()) * world;
    return world;
  }

  // Device pixels a mask may cover. A text field masks with its glyphs, which its box
  // does not crop, so a mask holding text may cover the whole target.
  QRectF MaskArea(const DisplayObject& mask, const QTransform& parent, int nesting) const {
    if (HasEditText(mask, 0)) return QRectF(-1e7, -1e7, 2e7, 2e7);
    return MaskBounds(mask, parent, nesting);
  }

  static bool HasEditText(const DisplayObject& object, int nesting) {
    if (!object.IsContainer()) return object.character && object.character->Kind() == CharacterKind::EditText;
    if (nesting > MovieClip::kMaxNesting) return false;
    for (const auto& [depth, child] : static_cast<const MovieClip&>(object).Children())
      if (HasEditText(*child, nesting + 1)) return true;
    return false;
  }

  // Device-pixel bounds of what a mask draws.
  // cropped: the bounds of what shows, where a scroll rectangle crops (its own box
  // whatever its content); otherwise a mask's, where scrolled content moves uncropped.
  QRectF MaskBounds(const DisplayObject& object, const QTransform& parent, int nesting, bool cropped = false) const {
    QTransform transform = ToQt(object.GetMatrix()) * parent;
    if (cropped && object.scrollRect)
      return transform.mapRect(QRectF(0, 0, object.scrollRect->width(), object.scrollRect->height()));
    if (object.scrollRect) transform = QTransform::fromTranslate(-object.scrollRect->x(), -object.scrollRect->y()) * transform;
    if (!object.IsContainer()) {
      const Drawable* drawn = object.Drawn();
      return drawn ? transform.mapRect(drawn->Bounds(object.ratio)) : QRectF();
    }
    const auto& clip = static_cast<const MovieClip&>(object);
    QRectF bounds;
    if (clip.drawing) bounds = transform.mapRect(clip.drawing->Bounds(0));
    if (nesting > MovieClip::kMaxNesting) return bounds;
    for (const auto& [depth, child] : clip.Children()) bounds |= MaskBounds(*child, transform, nesting + 1, cropped);
    return bounds;
  }

  void DrawObject(QPainter& painter, const DisplayObject& object, const QTransform& parent,
                  const ColorTransform& color, bool asMask, int nesting) {
    if (!object.visible && !asMask) return;
    if (!object.character && !object.IsContainer()) return;
    // A mask set by setMask only shapes what it masks. Masks of the timeline (clip
    // layers) keep their own role: setMask neither hides them nor masks them.
    if (!asMask && IsScriptMask(object)) return;
    if (!asMask && object.maskClip && IsScriptMask(*object.maskClip) && object.maskClip->maskedBy == &object &&
        &object != maskedNow_ && !object.maskClip->Removed()) {
      DrawThroughMask(painter, object, parent, color, nesting);
      return;
    }
    QTransform transform = ToQt(object.GetMatrix()) * parent;
    // The player draws a cached object (cacheAsBitmap, filters) into a bitmap whose
    // corner is the corner of the object's bounds moved to the nearest whole pixel: the
    // object moves with it. An object with only an opaque background stays where it
    // is; its background starts on the whole pixel at or above and left of its corner.
    QPointF snap;
    QRectF bounds;
    // Past the drawing's budget, filters are left out, and so is their snapping: measuring
    // every filtered object of a deep nesting would take time quadratic in its depth.
    const bool filtered = !object.filters.empty() && !effectsLeftOut_;
    if (!asMask && (object.cacheAsBitmap || filtered || object.opaqueBackground)) {
      bounds = MaskBounds(object, parent, nesting, true);
      const double half = object.cacheAsBitmap || filtered ? 0.5 : 0;
      if (bounds.isValid() && std::isfinite(bounds.left()) && std::isfinite(bounds.top())) {
        snap = QPointF(std::floor(bounds.left() + half) - bounds.left(), std::floor(bounds.top() + half) - bounds.top());
        if (half > 0) transform *= QTransform::fromTranslate(snap.x(), snap.y());
      }
    }
    const ColorTransform combined = asMask ? color : color * object.GetColorTransform();
    if (!asMask && object.opaqueBackground && bounds.isValid()) {
      const Rgba& bg = *object.opaqueBackground;
      painter.save();
      painter.resetTransform();
      const QRectF snapped = bounds.translated(snap);
      const QRect pixels(QPoint(static_cast<int>(std::lround(snapped.left())), static_cast<int>(std::lround(snapped.top()))),
                         QPoint(static_cast<int>(std::lround(snapped.right())) - 1,
                                static_cast<int>(std::lround(snapped.bottom())) - 1));
      painter.fillRect(pixels, QColor(bg.r, bg.g, bg.b));
      painter.restore();
    }
    if (object.scrollRect && asMask) {
      // A mask's scroll rectangle moves its content but does not crop it.
      DrawTransformed(painter, object, QTransform::fromTranslate(-object.scrollRect->x(), -object.scrollRect->y()) * transform,
                      combined, asMask, nesting);
      return;
    }
    if (object.scrollRect) {
      DrawScrolled(painter, object, transform, combined, asMask, nesting);
      return;
    }
    DrawTransformed(painter, object, transform, combined, asMask, nesting);
  }

  void DrawTransformed(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                       const ColorTransform& combined, bool asMask, int nesting) {
    // An object whose blend is left to the mask it is drawn through draws normally here.
    const std::uint8_t mode = &object == blendLater_ ? static_cast<std::uint8_t>(BlendMode::Normal) : object.blendMode;
    if (!asMask && (NeedsLayer(mode) || !object.filters.empty())) {
      DrawLayered(painter, object, transform, combined, nesting, mode);
      return;
    }
    DrawContent(painter, object, transform, combined, asMask, nesting);
  }

  // A scroll rectangle crops the object to the rectangle's size at its origin and
  // moves the content so that the rectangle's corner sits there. Unrotated, the crop
  // falls on whole device pixels.
  void DrawScrolled(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                    const ColorTransform& combined, bool asMask, int nesting) {
    const QRectF rect = *object.scrollRect;
    if (!(rect.width() > 0) || !(rect.height() > 0)) return;
    const QRectF crop(0, 0, rect.width(), rect.height());
    painter.save();
    if (transform.type() <= QTransform::TxScale) {
      // To the nearest pixel edge, halves going up and left.
      const QRectF device = transform.mapRect(crop);
      const auto edge = [](double v) { return static_cast<int>(std::ceil(v - 0.5)); };
      const QRect pixels(QPoint(edge(device.left()), edge(device.top())),
                         QPoint(edge(device.right()) - 1, edge(device.bottom()) - 1));
      painter.setClipRect(pixels, Qt::IntersectClip);
    } else {
      QPainterPath path;
      path.addPolygon(transform.map(QPolygonF(crop)));
      path.closeSubpath();
      painter.setClipPath(path, Qt::IntersectClip);
    }
    DrawTransformed(painter, object, QTransform::fromTranslate(-rect.x(), -rect.y()) * transform, combined, asMask,
                    nesting);
    painter.restore();
  }

  // Draws the object itself (its subtree for sprites and buttons) with the final
  // transform and colour transform.
  void DrawContent(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                   const ColorTransform& combined, bool asMask, int nesting) {
    if (object.IsContainer()) {
      if (nesting > MovieClip::kMaxNesting) return;
      const auto& clip = static_cast<const MovieClip&>(object);
      ColorTransform inner = combined;
      if (clip.button && !asMask) inner = combined * clip.button->colorTransform;
      // A clip with a nine-slice grid slices its own drawing and the shapes it holds;
      // whatever else it holds scales as usual.
      const std::optional<GridSlicing> slicing = asMask ? std::nullopt : GridSlicing::Of(clip);
      if (clip.drawing && !DrawSliced(painter, clip, clip.drawing.get(), slicing, transform, inner))
        DrawCharacter(painter, *clip.drawing, 0, transform, inner, asMask);
      const Slicer outer = slicer_;
      if (slicing) slicer_ = {&clip, *slicing, UnscaledTransform(*slicing, transform)};
      const auto& list = clip.Children();
      DrawRange(painter, list.begin(), list.end(), transform, inner, asMask, nesting + 1);
      slicer_ = outer;
      return;
    }
    if (object.Kind() == DisplayKind::EditText && !asMask) {
      const auto& field = static_cast<const TextField&>(object);
      // A field of device text is drawn upright or not at all: turned, skewed or flipped
      // it shows nothing (box included); a skew or turn of less than about a degree is
      // dropped.
      QTransform upright = transform;
      if (!field.Field().useOutlines) {
        constexpr double kTolerance = 1.0 / 64;
        const bool flipped = !(transform.m11() > 0) || !(transform.m22() > 0);
        if (flipped || std::abs(transform.m12()) > kTolerance * transform.m11() ||
            std::abs(transform.m21()) > kTolerance * transform.m22())
          return;
        upright = QTransform(transform.m11(), 0, 0, transform.m22(), transform.dx(), transform.dy());
      }
      DrawFieldBox(painter, field, upright, combined);
      if (const Drawable* drawn = object.Drawn()) DrawCharacter(painter, *drawn, object.ratio, upright, combined, asMask);
      DrawCaret(painter, field, upright, combined);
      return;
    }
    const Drawable* drawn = object.Drawn();
    if (!drawn) return;
    if (!asMask && object.Kind() == DisplayKind::Shape &&
        DrawSliced(painter, object, drawn, GridSlicing::Of(object), transform, combined))
      return;
    DrawCharacter(painter, *drawn, object.ratio, transform, combined, asMask);
  }

  // The shapes a nine-slice grid reaches: its owner's own, the shapes the owner holds, and
  // for a button the shapes of a state that holds several.
  struct Slicer {
    const DisplayObject* owner = nullptr;
    std::optional<GridSlicing> slicing;
    QTransform transform;  // the owner's, without its scale
  };

  // Draws a shape sliced by its own grid (own), or by the grid of the clip that holds it;
  // false when no grid reaches it.
  bool DrawSliced(QPainter& painter, const DisplayObject& object, const Drawable* drawn,
                  const std::optional<GridSlicing>& own, const QTransform& transform, const ColorTransform& color) {
    const auto* shape = dynamic_cast<const Shape*>(drawn);
    if (!shape) return false;
    Matrix toOwner;
    const GridSlicing* slicing = nullptr;
    QTransform unscaled;
    if (own) {
      slicing = &*own;
      unscaled = UnscaledTransform(*own, transform);
    } else if (slicer_.owner && (!object.IsContainer() || object.scriptShape)) {
      // Of the clips a grid's owner holds, only a script's Shape has its drawing sliced.
      const DisplayObject* parent = object.Parent();
      if (parent == slicer_.owner) {
        toOwner = object.GetMatrix();
      } else if (parent && parent->Parent() == slicer_.owner && slicer_.owner->Kind() == DisplayKind::Button &&
                 !parent->character) {
        toOwner = parent->GetMatrix() * object.GetMatrix();
      } else {
        return false;
      }
      slicing = &*slicer_.slicing;
      unscaled = slicer_.transform;
    } else {
      return false;
    }
    if (color.mulA <= 0 && color.addA <= 0) return true;
    const QTransform pre = ToQTransform(toOwner);
    const QTransform scale = slicing->Scale();
    const Matrix fillSpace = Matrix{scale.m11(), 0, 0, scale.m22(), 0, 0} * toOwner;
    const ShapeGeometry sliced =
        MapGeometry(shape->Geometry(), [&](QPointF p) { return slicing->Map(pre.map(p)); }, fillSpace);
    RenderContext context;
    context.painter = &painter;
    context.transform = unscaled;
    context.colorTransform = color;
    context.quality = options_.quality;
    painter.save();
    DrawGeometry(context, sliced);
    painter.restore();
    return true;
  }

  // The caret of the focused input field while nothing is selected: one device pixel
  // wide, its left edge on the whole pixel at or left of its place, as tall as its line
  // (its ends sampled like a shape's), in the text's colour.
  void DrawCaret(QPainter& painter, const TextField& field, const QTransform& transform, const ColorTransform& color) {
    if (field.GetPlayer().Focus() != &field || field.Field().readOnly) return;
    if (field.selectionBegin < 0 || field.selectionBegin != field.selectionEnd) return;
    const auto* drawn = dynamic_cast<const EditText*>(field.character.get());
    if (!drawn) return;
    const EditText::Caret caret = drawn->CaretAt(drawn->initialText, field.selectionEnd);
    if (caret.height <= 0) return;
    const QRectF box = field.Field().Bounds(0);
    if (caret.top.y() >= box.bottom()) return;
    const QPointF top = transform.map(caret.top);
    const QPointF bottom = transform.map(caret.top + QPointF(0, std::min(caret.height, box.bottom() - caret.top.y())));
    const double x = std::floor(top.x()) - top.x();
    const QPointF shift(x, 0), right(1 + x, 0);
    QPainterPath bar;
    bar.moveTo(top + shift);
    bar.lineTo(top + right);
    bar.lineTo(bottom + right);
    bar.lineTo(bottom + shift);
    bar.closeSubpath();
    painter.save();
    painter.resetTransform();
    const render::PainterTarget target(painter, bar.boundingRect());
    if (target.Valid()) {
      render::EdgeList edges(target.FromDevice());
      edges.AddPath(bar);
      const render::SolidPaint paint(render::Premultiply(render::FixedColorTransform::From(color).Apply(caret.color)));
      const render::Paint* paints[] = {&paint};
      render::FillEdges(target.Get(), edges.Edges(), paints, render::FillRule::NonZero,
                        render::SamplesPerAxis(static_cast<int>(options_.quality)));
    }
    painter.restore();
  }

  // A text field's background and border, in the colours scripts give them. Unrotated,
  // the background fills the box's whole pixels and the border is a one-pixel line on
  // the pixels of the box's edges (the right and bottom ones included). The right line
  // ends half a pixel into the bottom right corner pixel and the bottom line a quarter
  // pixel into it, so that pixel is partly covered (10 of 16 samples at high quality,
  // none at low) when the field shows embedded glyphs.
  void DrawFieldBox(QPainter& painter, const TextField& field, const QTransform& transform,
                    const ColorTransform& color) {
    const bool border = field.Field().border;
    if (!border && !field.background) return;
    if (color.mulA <= 0 && color.addA <= 0) return;
    const auto colors = render::FixedColorTransform::From(color);
    const auto qt = [&](const Rgba& c) {
      const Rgba t = colors.Apply(c);
      return QColor(t.r, t.g, t.b, t.a);
    };
    const QRectF box = field.Field().Bounds(0);
    painter.save();
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (transform.type() <= QTransform::TxScale) {
      const QRectF device = transform.mapRect(box);
      const int x0 = static_cast<int>(std::lround(device.left())), x1 = static_cast<int>(std::lround(device.right()));
      const int y0 = static_cast<int>(std::lround(device.top())), y1 = static_cast<int>(std::lround(device.bottom()));
      if (field.background) painter.fillRect(QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)), qt(field.backgroundColor));
      if (border) {
        const QColor line = qt(field.borderColor);
        painter.fillRect(QRect(x0, y0, x1 - x0 + 1, 1), line);
        painter.fillRect(QRect(x0, y1, x1 - x0, 1), line);
        painter.fillRect(QRect(x0, y0 + 1, 1, std::max(0, y1 - y0 - 1)), line);
        painter.fillRect(QRect(x1, y0 + 1, 1, std::max(0, y1 - y0 - 1)), line);
        // (A field of device text has its box drawn on whole pixels: no such corner.)
        if (y1 > y0 && x1 > x0 && field.Field().useOutlines) {
          QPainterPath corner;
          corner.addRect(QRectF(x1, y1, 1, 0.5));
          corner.addRect(QRectF(x1, y1 + 0.5, 0.25, 0.5));
          const render::PainterTarget target(painter, QRectF(x1, y1, 1, 1));
          if (target.Valid()) {
            render::EdgeList edges(target.FromDevice());
            edges.AddPath(corner);
            const render::SolidPaint paint(render::Premultiply(colors.Apply(field.borderColor)));
            const render::Paint* paints[] = {&paint};
            render::FillEdges(target.Get(), edges.Edges(), paints, render::FillRule::NonZero,
                              render::SamplesPerAxis(static_cast<int>(options_.quality)));
          }
        }
      }
    } else {
      const QPolygonF quad = transform.map(QPolygonF(box));
      if (field.background) {
        // Turned or skewed, the background is covered like a shape at the quality drawn.
        QPainterPath path;
        path.addPolygon(quad);
        path.closeSubpath();
        const render::PainterTarget target(painter, path.boundingRect());
        if (target.Valid()) {
          render::EdgeList edges(target.FromDevice());
          edges.AddPath(path);
          const render::SolidPaint paint(render::Premultiply(colors.Apply(field.backgroundColor)));
          const render::Paint* paints[] = {&paint};
          render::FillEdges(target.Get(), edges.Edges(), paints, render::FillRule::NonZero,
                            render::SamplesPerAxis(static_cast<int>(options_.quality)));
        }
      }
      if (border) {
        QPen pen(qt(field.borderColor), 0);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(quad);
      }
    }
    painter.restore();
  }

  void DrawCharacter(QPainter& painter, const Drawable& character, std::uint16_t ratio, const QTransform& transform,
                     const ColorTransform& combined, bool asMask) {
    if (!asMask && combined.mulA <= 0 && combined.addA <= 0) return;  // fully transparent
    RenderContext context;
    context.painter = &painter;
    context.transform = transform;
    context.colorTransform = combined;
    context.quality = options_.quality;
    context.ratio = ratio;
    context.asMask = asMask;
    painter.save();
    character.Render(context);
    painter.restore();
  }

  // Objects with a blend mode or filters are drawn into a layer of their device bounds
  // (plus what the filters reach, clipped to the target and that reach), filtered, and
  // blended into the target.
  void DrawLayered(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                   const ColorTransform& combined, int nesting, std::uint8_t mode) {
    const bool erasing = mode == static_cast<std::uint8_t>(BlendMode::Alpha) ||
                         mode == static_cast<std::uint8_t>(BlendMode::Erase);
    if (erasing && layerDepth_ == 0) return;  // alpha and erase act on an enclosing layer only
    // Once the budget has run out, the rest of the drawing goes without effects and without
    // measuring each object's bounds (in a deep nesting, measuring alone is quadratic).
    if (effectsLeftOut_) {
      if (!erasing) DrawContent(painter, object, transform, combined, false, nesting);
      return;
    }
    std::vector<FilterParams> filters;
    for (const Filter& filter : object.filters) {
      FilterParams params;
      if (DecodeFilter(filter, params)) filters.push_back(std::move(params));
    }
    QMargins margins = FilterMargins(filters, stageScale_);
    margins = QMargins(std::min(margins.left(), kMaxMargin), std::min(margins.top(), kMaxMargin),
                       std::min(margins.right(), kMaxMargin), std::min(margins.bottom(), kMaxMargin));
    const QRect own = render::PaddedPixelRect(ContentBounds(object, transform, nesting), 2);
    // A band of the frame needs the layer's rows that its own rows' filtered pixels
    // depend on, and filters only the rows it shows.
    const QRect visible = Visible(painter);
    const int reach = std::max(margins.top(), FilterRowReach(filters, stageScale_));
    const QRect area =
        own.marginsAdded(margins).intersected(visible.marginsAdded(QMargins(margins.left(), reach, margins.right(), reach)));
    if (area.isEmpty()) return;
    // Nested sprites can each ask for a layer of the whole target plus the filters' reach
    // (a movie of a few kilobytes can make thousands); past the drawing's budget the
    // objects are drawn as if they had no effects, and erasing ones not at all.
    const std::uint64_t work =
        static_cast<std::uint64_t>(area.width()) * static_cast<std::uint64_t>(area.height()) *
            (1 + FilterWorkPerPixel(filters)) +
        kLayerWork;
    if (work > effectsLeft_) {
      effectsLeftOut_ = true;
      if (!erasing) DrawContent(painter, object, transform, combined, false, nesting);
      return;
    }
    effectsLeft_ -= work;
    // The layer's pixels this drawing shows (a band may need a layer only for the rows
    // its neighbour's filters reach into).
    const QRect shown = area.intersected(visible).translated(-area.topLeft());
    if (shown.isEmpty()) return;
    // A layer's alpha applies to the layer as a whole.
    double opacity = 1;
    ColorTransform inner = combined;
    if (combined.addA == 0 && combined.mulA < 1) {
      opacity = std::max(0.0, combined.mulA);
      inner.mulA = 1;
    }
    if (opacity <= 0) return;
    render::LayerImage layerImage(area.size());
    QImage& layer = layerImage.Image();
    if (layer.isNull()) return;
    {
      QPainter layerPainter(&layer);
      layerPainter.setRenderHints(painter.renderHints());
      ++layerDepth_;
      DrawContent(layerPainter, object, transform * QTransform::fromTranslate(-area.x(), -area.y()), inner, false,
                  nesting);
      --layerDepth_;
    }
    ApplyFilters(layer, filters, stageScale_, shown.top(), shown.bottom() + 1);
    if (opacity < 1) {
      QPainter fade(&layer);
      fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      fade.fillRect(shown, QColor(0, 0, 0, static_cast<int>(std::lround(opacity * 255))));
    }
    painter.save();
    painter.resetTransform();
    if (mode <= static_cast<std::uint8_t>(BlendMode::Layer) || mode > static_cast<std::uint8_t>(BlendMode::HardLight)) {
      painter.drawImage(area.topLeft() + shown.topLeft(), layer, shown);
    } else if (QImage* target = TargetImage(painter)) {
      // Only the pixels this drawing shows: a band leaves the others to their own threads.
      BlendRegion(painter, *target, layer, area.topLeft(), shown.translated(area.topLeft()), mode);
    } else {
      painter.setCompositionMode(QtMode(mode));
      painter.drawImage(area.topLeft(), layer);
    }
    painter.restore();
  }

  // Blends layer (its corner at layerAt on target) into the pixels of region of the
  // painter's target image; the blended pixels replace the target's, still inside the
  // painter's clip.
  static void BlendRegion(QPainter& painter, QImage& target, const QImage& layer, QPoint layerAt, QRect region,
                          std::uint8_t mode) {
    region = region.intersected(target.rect());
    if (region.isEmpty()) return;
    QImage result = target.copy(region);
    BlendInto(result, layerAt - region.topLeft(), layer, mode);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(region.topLeft(), result);
  }

  // The painter's target when it is an image the blend loop can read and write.
  static QImage* TargetImage(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const auto format = image->format();
    return format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB32 ? image : nullptr;
  }

  // Qt's nearest composition mode, for targets that are not images.
  static QPainter::CompositionMode QtMode(std::uint8_t mode) {
    switch (static_cast<BlendMode>(mode)) {
      case BlendMode::Multiply: return QPainter::CompositionMode_Multiply;
      case BlendMode::Screen: return QPainter::CompositionMode_Screen;
      case BlendMode::Lighten: return QPainter::CompositionMode_Lighten;
      case BlendMode::Darken: return QPainter::CompositionMode_Darken;
      case BlendMode::Difference: return QPainter::CompositionMode_Difference;
      case BlendMode::Add: return QPainter::CompositionMode_Plus;
      case BlendMode::Overlay: return QPainter::CompositionMode_Overlay;
      case BlendMode::HardLight: return QPainter::CompositionMode_HardLight;
      case BlendMode::Alpha: return QPainter::CompositionMode_DestinationIn;
      case BlendMode::Erase: return QPainter::CompositionMode_DestinationOut;
      default: return QPainter::CompositionMode_SourceOver;
    }
  }

  // Device-pixel bounds of the object drawn with transform (its own, already applied).
  QRectF ContentBounds(const DisplayObject& object, const QTransform& transform, int nesting) const {
    if (!object.IsContainer()) {
      const Drawable* drawn = object.Drawn();
      return drawn ? transform.mapRect(drawn->Bounds(object.ratio)) : QRectF();
    }
    const auto& clip = static_cast<const MovieClip&>(object);
    QRectF bounds;
    if (clip.drawing) bounds = transform.mapRect(clip.drawing->Bounds(0));
    if (nesting > MovieClip::kMaxNesting) return bounds;
    for (const auto& [depth, child] : clip.Children()) bounds |= DeviceBounds(*child, transform, nesting + 1);
    return bounds;
  }

  QRectF DeviceBounds(const DisplayObject& object, const QTransform& parent, int nesting) const {
    return MaskBounds(object, parent, nesting);
  }

  static constexpr int kMaxMargin = 512;  // device pixels a filter may reach past the target
  // Work one drawing may spend on layers and their filters, in blur passes over a pixel
  // (a layer costs one pass and its filters FilterWorkPerPixel): about two seconds of a
  // core; a dozen full-screen glows at 1080p fit. Fuzzing builds allow a 128th.
#ifdef VANTREL_FUZZ_LIMITS
  static constexpr std::uint64_t kEffectsWork = std::uint64_t{1} << 20;
#else
  static constexpr std::uint64_t kEffectsWork = std::uint64_t{1} << 27;
#endif
  // Setting up a layer and blending it back costs about as much as a blur pass over a
  // thousand pixels (some 20 microseconds), however small the layer.
  static constexpr std::uint64_t kLayerWork = 1024;
  std::uint64_t effectsLeft_;
  bool effectsLeftOut_ = false;
  const ViewOptions& options_;
  QTransform stage_;
  double stageScale_ = 1;
  const DisplayObject* maskedNow_ = nullptr;  // drawn through its setMask mask right now
  Slicer slicer_;  // the grid of the clip whose children are being drawn
  const DisplayObject* blendLater_ = nullptr;  // its blend mode applies once its mask has cut it
  int layerDepth_ = 0;  // layers being drawn into; alpha and erase need one
  const QPaintDevice* bandDevice_ = nullptr;  // see RestrictTo
  QRect band_;
};

}  // namespace

namespace {

// Fills rows (a rectangle of image) with an opaque colour. Where the rectangle is whole
// rows of an image whose lines follow one another, the rows are one run of pixels,
// written in blocks with the processor's string store: it writes whole cache lines
// without reading them first, which is a quarter faster than line-by-line vector
// stores in a warm cache and several times faster in a cold one (the first fill after
// a frame of filters). Blocks stay well under the size at which the store turns into
// an uncached one. Anything else goes through the painter.
void FillOpaque(QPainter& painter, QImage* target, const QRect& rect, const Rgba& color) {
  if (target == nullptr) {
    painter.fillRect(rect, QColor(color.r, color.g, color.b));
    return;
  }
  QImage& image = *target;
  const QRect rows = rect.intersected(image.rect());
  if (rows.isEmpty()) return;
  const bool packed = (image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32 ||
                       image.format() == QImage::Format_ARGB32) &&
                      image.bytesPerLine() == image.width() * 4 && rows.left() == 0 && rows.width() == image.width();
  if (!packed) {
    painter.fillRect(rows, QColor(color.r, color.g, color.b));
    return;
  }
  const std::uint32_t pixel = 0xFF000000u | std::uint32_t{color.r} << 16 | std::uint32_t{color.g} << 8 | color.b;
  auto* to = reinterpret_cast<std::uint32_t*>(image.scanLine(rows.top()));
  std::size_t left = static_cast<std::size_t>(rows.height()) * static_cast<std::size_t>(image.width());
  static constexpr std::size_t kBlock = std::size_t{1} << 16;  // pixels (256 KB)
  while (left > 0) {
    std::size_t count = std::min(left, kBlock);
    left -= count;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    asm volatile("rep stosl" : "+D"(to), "+c"(count) : "a"(pixel) : "memory");
#else
    to = std::fill_n(to, count, pixel);
#endif
  }
}

// Fills the viewport of image (painter's device) with the background and draws the
// levels on it in bands of rows, one per drawing thread, each band filling its own rows
// first. False, with nothing drawn, when it did not: one thread asked for, a viewport
// too small to split, the pool busy with another drawing, or a band that ran out of
// the effects budget (the caller then fills and draws the frame whole, so that what is
// left out is what one thread leaves out).
bool DrawLevelsInBands(QPainter& painter, QImage& image, QSize viewport, const std::map<std::int32_t, DisplayObject*>& levels,
                 const QTransform& stage, const ViewOptions& options, bool* whole) {
  static constexpr int kMinBandRows = 16;
  const QRect shown = QRect(QPoint(0, 0), viewport).intersected(image.rect());
  const int threads = std::min(options.threads > 0 ? options.threads : render::DefaultDrawingThreads(),
                               shown.height() / kMinBandRows);
  if (threads <= 1) return false;
  uchar* const bits = image.bits();
  std::vector<char> overBudget(static_cast<std::size_t>(threads), 0);
  const bool drawn = render::DrawInBands(shown.height(), threads, [&](int part, int top, int bottom) {
    // Each band paints the same pixels through an image of its own, clipped to its rows.
    QImage band(bits, image.width(), image.height(), image.bytesPerLine(), image.format());
    QPainter bandPainter(&band);
    const QRect rows(shown.left(), shown.top() + top, shown.width(), bottom - top);
    FillOpaque(bandPainter, &band, rows, options.background);
    bandPainter.setRenderHints(painter.renderHints());
    bandPainter.setClipRect(rows);
    Walker walker(options, stage);
    walker.RestrictTo(&band, rows);
    walker.DrawRange(bandPainter, levels.begin(), levels.end(), stage, ColorTransform{}, false, 0);
    overBudget[static_cast<std::size_t>(part)] = walker.EffectsLeftOut();
  });
  if (!drawn) return false;
  if (std::find(overBudget.begin(), overBudget.end(), 1) != overBudget.end()) return false;
  *whole = true;
  return true;
}

}  // namespace

QTransform StageTransform(const Rect& frameSize, QSize viewport, ScaleMode mode, int alignMode) {
  const double width = std::max(1.0, frameSize.Width() / 20.0);
  const double height = std::max(1.0, frameSize.Height() / 20.0);
  const double viewWidth = viewport.width();
  const double viewHeight = viewport.height();
  double scaleX = 1, scaleY = 1;
  switch (mode) {
    case ScaleMode::ShowAll: scaleX = scaleY = std::min(viewWidth / width, viewHeight / height); break;
    case ScaleMode::NoBorder: scaleX = scaleY = std::max(viewWidth / width, viewHeight / height); break;
    case ScaleMode::ExactFit:
      scaleX = viewWidth / width;
      scaleY = viewHeight / height;
      break;
    case ScaleMode::NoScale: break;
  }
  const double contentWidth = width * scaleX;
  const double contentHeight = height * scaleY;
  const double x = (alignMode & kAlignLeft) ? 0 : (alignMode & kAlignRight) ? viewWidth - contentWidth
                                                                             : (viewWidth - contentWidth) / 2;
  const double y = (alignMode & kAlignTop) ? 0 : (alignMode & kAlignBottom) ? viewHeight - contentHeight
                                                                             : (viewHeight - contentHeight) / 2;
  return QTransform::fromTranslate(-frameSize.xMin, -frameSize.yMin) * QTransform::fromScale(scaleX / 20, scaleY / 20) *
         QTransform::fromTranslate(x, y);
}

bool RenderMovie(QPainter& painter, QSize viewport, const MovieRuntime& player, const ViewOptions& options) {
  // The rasterizer writes into images; a painter on anything else (a widget) gets the
  // frame drawn into one first, so every shape does not need its own offscreen image.
  QPaintDevice* device = painter.device();
  const bool direct = device && device->devType() == QInternal::Image &&
                      (static_cast<QImage*>(device)->format() == QImage::Format_ARGB32_Premultiplied ||
                       static_cast<QImage*>(device)->format() == QImage::Format_RGB32) &&
                      painter.transform().isIdentity();
  if (!direct && !viewport.isEmpty()) {
    // On a screen with more device pixels than logical ones (a full-screen window on a
    // high-density display), the frame is drawn at the screen's own resolution.
    const double ratio = device ? std::clamp(device->devicePixelRatioF(), 1.0, 4.0) : 1.0;
    const QSize pixels = ratio > 1 ? (QSizeF(viewport) * ratio).toSize() : viewport;
    QImage frame(pixels, QImage::Format_ARGB32_Premultiplied);
    if (frame.isNull()) return true;
    bool whole = true;
    {
      QPainter framePainter(&frame);
      whole = RenderMovie(framePainter, pixels, player, options);
    }
    frame.setDevicePixelRatio(static_cast<qreal>(pixels.width()) / viewport.width());
    painter.drawImage(QPointF(0, 0), frame);
    return whole;
  }
  painter.save();
  painter.setClipRect(QRect(QPoint(0, 0), viewport));
  painter.setRenderHint(QPainter::Antialiasing, options.quality != Quality::Low);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, options.quality == Quality::High);
  const QTransform stage =
      StageTransform(player.GetMovie().header.frameSize, viewport, options.scaleMode, options.alignMode);
  // Levels draw in their order, each like a child of the stage.
  std::map<std::int32_t, DisplayObject*> levels;
  for (const auto& [number, clip] : player.Levels()) levels[number] = clip;
  bool whole = true;
  QImage* const image = direct ? static_cast<QImage*>(device) : nullptr;
  if (!image || !DrawLevelsInBands(painter, *image, viewport, levels, stage, options, &whole)) {
    FillOpaque(painter, image, QRect(QPoint(0, 0), viewport), options.background);
    Walker walker(options, stage);
    walker.DrawRange(painter, levels.begin(), levels.end(), stage, ColorTransform{}, false, 0);
    whole = !walker.EffectsLeftOut();
  }
  // The focused object's yellow rectangle: 3 stage pixels wide, inside its bounds.
  const QRectF focus = player.FocusHighlight();
  if (!focus.isEmpty()) {
    const double width = 3 * 20;
    QPainterPath ring;
    ring.addRect(focus);
    ring.addRect(focus.adjusted(width, width, -width, -width));
    ring.setFillRule(Qt::OddEvenFill);
    painter.fillPath(stage.map(ring), QColor(255, 255, 0));
  }
  if (options.cropToStage && options.scaleMode == ScaleMode::ShowAll) {
    const Rect& frame = player.GetMovie().header.frameSize;
    const QRect shown = stage.mapRect(QRectF(frame.xMin, frame.yMin, frame.Width(), frame.Height())).toRect();
    const QRegion stripes = QRegion(QRect(QPoint(0, 0), viewport)).subtracted(QRegion(shown));
    for (const QRect& stripe : stripes) painter.fillRect(stripe, Qt::black);
  }
  painter.restore();
  return whole;
}

void RenderDisplayObject(QPainter& painter, const DisplayObject& object, const QTransform& transform,
                         const ColorTransform& color, Quality quality) {
  ViewOptions options;
  options.quality = quality;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, quality != Quality::Low);
  Walker walker(options, transform);  // the drawing's own space is its stage
  walker.DrawAlone(painter, object, transform, color);
  painter.restore();
}

}  // namespace vantrel::flash
