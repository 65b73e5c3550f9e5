#include "flash/character/fill_paint.h"

#include "flash/character/bitmap.h"

namespace vantrel::flash::render {

std::unique_ptr<Paint> MakeFillPaint(const FillStyle& fill, const FixedColorTransform& colors,
                                     const QTransform& toDevice, Quality quality) {
  if (fill.IsGradient()) {
    const GradientShape shape = fill.type == FillType::LinearGradient   ? GradientShape::Linear
                                : fill.type == FillType::RadialGradient ? GradientShape::Radial
                                                                        : GradientShape::Focal;
    const GradientSpread spread = fill.gradient.spread == SpreadMode::Reflect  ? GradientSpread::Reflect
                                  : fill.gradient.spread == SpreadMode::Repeat ? GradientSpread::Repeat
                                                                               : GradientSpread::Pad;
    if (fill.gradient.stops.empty()) return std::make_unique<SolidPaint>(0);
    return std::make_unique<GradientPaint>(GradientTable(fill.gradient, colors), ToQTransform(fill.matrix) * toDevice,
                                           shape, spread, fill.gradient.focalPoint);
  }
  if (fill.IsBitmap()) {
    if (!fill.bitmap || fill.bitmap->image.isNull()) return std::make_unique<SolidPaint>(0);
    // The fill matrix places bitmap pixels in twips; smoothing needs high quality and a
    // fill type that asks for it.
    const bool smooth = fill.IsSmoothed() && quality == Quality::High;
    return std::make_unique<BitmapPaint>(fill.bitmap->image, ToQTransform(fill.matrix) * toDevice, !fill.IsClipped(),
                                         smooth, colors);
  }
  return std::make_unique<SolidPaint>(Premultiply(colors.Apply(fill.color)));
}

}  // namespace vantrel::flash::render
