// The paints of a shape's fill styles and line styles under a colour transform.
#pragma once

#include <QTransform>
#include <array>
#include <memory>

#include "flash/character/style.h"
#include "flash/raster/paints.h"
#include "flash/raster/drawable.h"

namespace vantrel::flash::render {

// The 256 premultiplied colours of a gradient, the colour transform applied to its
// stops: entry p takes the first segment whose end ratio is not below p, stops with
// equal ratios make a hard edge, ratios that go backwards skip their segment, entries
// outside the stops take the nearest stop's colour.
std::array<Pixel, 256> GradientTable(const Gradient& gradient, const FixedColorTransform& colors);

// The paint of fill under colors, drawn with toDevice (shape twips to device pixels).
// A bitmap fill whose bitmap is missing paints nothing (transparent).
std::unique_ptr<Paint> MakeFillPaint(const FillStyle& fill, const FixedColorTransform& colors,
                                     const QTransform& toDevice, Quality quality);

}  // namespace vantrel::flash::render
