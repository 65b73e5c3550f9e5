// What the renderer asks of a drawable character (shapes, morph shapes, bitmaps, texts,
// video): draw yourself, your bounds, your filled area, whether a point hits you.
// Sprites and buttons are drawn through the display list instead.
#pragma once

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <cstdint>

#include "flash/swf/character.h"
#include "flash/swf/types.h"

namespace vantrel::flash {

// Rendering quality: Low draws without anti-aliasing or bitmap smoothing, Medium
// anti-aliases shapes but does not smooth bitmaps, High does both.
enum class Quality { Low, Medium, High };

struct RenderContext {
  QPainter* painter = nullptr;      // target; the character sets its own transforms
  QTransform transform;             // character space (twips) to device pixels
  ColorTransform colorTransform;    // accumulated down the display tree
  Quality quality = Quality::High;
  std::uint16_t ratio = 0;          // morph ratio from PlaceObject, 0..65535
  bool asMask = false;              // drawn as a mask: fills only (masks ignore lines)
};

class Drawable : public Character {
 public:
  const Drawable* AsDrawable() const final { return this; }
  // Draws the character.
  virtual void Render(const RenderContext& context) const {}
  // Bounds in twips (of the shape at ratio, for morph shapes).
  virtual QRectF Bounds(std::uint16_t ratio = 0) const { return {}; }
  // True when point (twips, character space) lies on a filled area.
  virtual bool HitTest(QPointF point, std::uint16_t ratio = 0) const { return false; }
  // The filled area in twips, character space (empty for characters without one); clip
  // layers use it as their mask.
  virtual QPainterPath Outline(std::uint16_t ratio = 0) const { return {}; }
};

// The drawable form of a dictionary character; null for none, sprites, buttons, fonts
// and embedded data.
inline const Drawable* AsDrawable(const Character* character) { return character ? character->AsDrawable() : nullptr; }

}  // namespace vantrel::flash
