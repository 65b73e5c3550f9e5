// Fill and line styles of shapes, morph shapes and fonts, and their conversion to the
// brushes and pens QPainter draws with.
#pragma once

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QTransform>
#include <cstdint>
#include <memory>
#include <vector>

#include "flash/swf/types.h"

namespace vantrel::flash {

class Bitmap;

enum class FillType : std::uint8_t {
  Solid = 0x00,
  LinearGradient = 0x10,
  RadialGradient = 0x12,
  FocalGradient = 0x13,
  RepeatingBitmap = 0x40,
  ClippedBitmap = 0x41,
  RepeatingBitmapHard = 0x42,  // not smoothed
  ClippedBitmapHard = 0x43,
};

enum class SpreadMode : std::uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class InterpolationMode : std::uint8_t { Rgb = 0, LinearRgb = 1 };

struct GradientStop {
  std::uint8_t ratio = 0;
  Rgba color;
};

struct Gradient {
  SpreadMode spread = SpreadMode::Pad;
  InterpolationMode interpolation = InterpolationMode::Rgb;
  std::vector<GradientStop> stops;
  double focalPoint = 0;  // -1..1, focal gradients only
};

struct FillStyle {
  FillType type = FillType::Solid;
  Rgba color;
  Matrix matrix;  // gradient square or bitmap pixels to shape twips
  Gradient gradient;
  std::uint16_t bitmapId = 0;
  std::shared_ptr<const Bitmap> bitmap;  // resolved when the shape was parsed
  mutable std::shared_ptr<const QBrush> plainBrush;  // the brush without a colour transform, once made (under BuildLock(this))

  bool IsGradient() const {
    return type == FillType::LinearGradient || type == FillType::RadialGradient || type == FillType::FocalGradient;
  }
  bool IsBitmap() const { return static_cast<std::uint8_t>(type) >= 0x40 && static_cast<std::uint8_t>(type) <= 0x43; }
  bool IsClipped() const { return type == FillType::ClippedBitmap || type == FillType::ClippedBitmapHard; }
  bool IsSmoothed() const { return type == FillType::RepeatingBitmap || type == FillType::ClippedBitmap; }
};

enum class CapStyle : std::uint8_t { Round = 0, None = 1, Square = 2 };
enum class JoinStyle : std::uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct LineStyle {
  std::uint16_t width = 0;  // twips
  Rgba color;
  CapStyle startCap = CapStyle::Round;
  CapStyle endCap = CapStyle::Round;
  JoinStyle join = JoinStyle::Round;
  double miterLimit = 3;
  bool noHScale = false;
  bool noVScale = false;
  bool pixelHinting = false;
  bool noClose = false;
  bool hasFill = false;
  FillStyle fill;  // when hasFill
};

// One set of styles: the shape's first arrays, or a set brought in by a NewStyles record.
struct StyleSet {
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
};

// A colour channel after a transform, as a byte: a script's transform can hold NaN (0)
// or numbers far past the range.
inline int ChannelByte(double value) { return value > 0 ? (value < 255 ? static_cast<int>(value) : 255) : 0; }

// The colour transform applied to one colour, clamped to 0..255.
QColor TransformColor(const Rgba& color, const ColorTransform& transform);

// SWF matrix as a QTransform.
QTransform ToQTransform(const Matrix& m);

// True when the transform only scales alpha, which QPainter's opacity can do for us.
bool IsAlphaOnly(const ColorTransform& transform);

// The brush for a fill under a colour transform; bitmap fills get the bitmap as texture
// (with the colour transform applied per pixel). Returns Qt::NoBrush for a missing bitmap.
QBrush MakeBrush(const FillStyle& fill, const ColorTransform& transform);

// The gradient brush in the shape's twips (the gradient square is 32768 twips wide and
// placed by the fill matrix).
QBrush MakeGradientBrush(const FillStyle& fill, const ColorTransform& transform);

}  // namespace vantrel::flash
