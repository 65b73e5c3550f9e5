#include "flash/render/bitmap_ops.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "flash/render/effects.h"

namespace vantrel::flash {

namespace {

std::uint32_t Channel(std::uint32_t argb, int shift) { return (argb >> shift) & 255; }

// Premultiplied source over premultiplied destination, the destination's share rounded
// down as the player does.
std::uint32_t Over(std::uint32_t dst, std::uint32_t src) {
  const std::uint32_t inverse = 255 - (src >> 24);
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t v = Channel(src, shift) + Channel(dst, shift) * inverse / 255;
    out |= std::min<std::uint32_t>(v, 255) << shift;
  }
  return out;
}

// The source area clipped to source and the destination clipped to target: calls
// visit(sx, sy, dx, dy) for every pixel that both contain.
template <typename Visit>
void ForOverlap(const BitmapPixels& source, PixelArea rect, int destX, int destY, const BitmapPixels& target,
                Visit&& visit) {
  if (rect.x < 0) {
    rect.width += rect.x;
    destX -= rect.x;
    rect.x = 0;
  }
  if (rect.y < 0) {
    rect.height += rect.y;
    destY -= rect.y;
    rect.y = 0;
  }
  rect.width = std::min(rect.width, source.Width() - rect.x);
  rect.height = std::min(rect.height, source.Height() - rect.y);
  if (destX < 0) {
    rect.width += destX;
    rect.x -= destX;
    destX = 0;
  }
  if (destY < 0) {
    rect.height += destY;
    rect.y -= destY;
    destY = 0;
  }
  rect.width = std::min(rect.width, target.Width() - destX);
  rect.height = std::min(rect.height, target.Height() - destY);
  for (int y = 0; y < rect.height; ++y) {
    for (int x = 0; x < rect.width; ++x) visit(rect.x + x, rect.y + y, destX + x, destY + y);
  }
}

QRect Clipped(const BitmapPixels& p, PixelArea a) {
  return QRect(a.x, a.y, std::max(a.width, 0), std::max(a.height, 0)).intersected(QRect(0, 0, p.Width(), p.Height()));
}

// The player's colour transform of one straight channel: 8.8 fixed-point multiplier.
// A script's transform can hold NaN (taken as 0) or numbers far past what changes the
// result (held at a billion).
std::uint32_t TransformChannel(std::uint32_t c, double multiplier, double offset) {
  const auto whole = [](double v) { return std::isnan(v) ? 0 : static_cast<std::int64_t>(std::clamp(v, -1e9, 1e9)); };
  const std::int64_t mul = whole(multiplier * 256);
  const std::int64_t v = ((static_cast<std::int64_t>(c) * mul) >> 8) + whole(offset);
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, 255));
}

std::uint32_t TransformArgb(std::uint32_t argb, const ColorTransform& ct) {
  return (TransformChannel(Channel(argb, 24), ct.mulA, ct.addA) << 24) |
         (TransformChannel(Channel(argb, 16), ct.mulR, ct.addR) << 16) |
         (TransformChannel(Channel(argb, 8), ct.mulG, ct.addG) << 8) | TransformChannel(Channel(argb, 0), ct.mulB, ct.addB);
}

bool OpaqueAt(const BitmapPixels& b, int x, int y, std::uint32_t limit) {
  // A fully transparent pixel never hits, whatever the threshold.
  const std::uint32_t alpha = b.Raw(x, y) >> 24;
  return b.Contains(x, y) && alpha != 0 && alpha >= limit;
}

constexpr std::string_view kThresholdOperations[] = {"<", "<=", ">", ">=", "==", "!="};

}  // namespace

void CopyPixelsInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                    const BitmapPixels* alpha, int ax, int ay, bool merge) {
  if (alpha && (alpha->Disposed() || !alpha->Transparent())) alpha = nullptr;  // an opaque one changes nothing
  const BitmapPixels copy = &source == &target ? source : BitmapPixels(1, 1, true, 0);
  const BitmapPixels& from = &source == &target ? copy : source;
  ForOverlap(from, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    std::uint32_t src = from.Raw(sx, sy);
    if (!from.Transparent()) src |= 0xff000000u;
    if (alpha) {
      // The alpha bitmap's alpha scales the source, at the same offset into both; only
      // where the alpha bitmap reaches.
      const int px = ax + sx - rect.x, py = ay + sy - rect.y;
      if (!alpha->Contains(px, py)) return;
      const std::uint32_t a = alpha->Raw(px, py) >> 24;
      std::uint32_t scaled = 0;
      if (!from.Transparent()) {
        // An opaque source is scaled as it is, every channel times the alpha over 256.
        for (int shift = 0; shift < 32; shift += 8) scaled |= ((Channel(src, shift) * a) >> 8) << shift;
      } else {
        // A transparent one's alpha is scaled so (rounded down) and its straight colour
        // (halves rounding up) multiplied by the new alpha to the nearest value.
        const std::uint32_t sourceAlpha = src >> 24;
        const std::uint32_t scaledAlpha = sourceAlpha * a >> 8;
        scaled = scaledAlpha << 24;
        for (int shift = 0; shift < 24; shift += 8) {
          const std::uint32_t c = Channel(src, shift);
          const std::uint32_t straight =
              sourceAlpha == 0 ? 0 : std::min<std::uint32_t>(255, (c * 255 + sourceAlpha / 2) / sourceAlpha);
          scaled |= ((straight * scaledAlpha + 127) / 255) << shift;
        }
      }
      src = scaled;
    }
    std::uint32_t out = merge && target.Transparent() ? Over(target.Raw(tx, ty), src) : src;
    if (!target.Transparent()) out = Over(target.Raw(tx, ty), src) | 0xff000000u;
    target.SetRaw(tx, ty, out);
  });
  target.Changed();
}

bool CopyChannelInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy, int sourceChannel,
                     int destChannel) {
  const auto shiftOf = [](int channel) {
    switch (channel) {
      case 1: return 16;
      case 2: return 8;
      case 4: return 0;
      case 8: return 24;
      default: return -1;
    }
  };
  const int from = shiftOf(sourceChannel), to = shiftOf(destChannel);
  if (to < 0) return false;
  const BitmapPixels copy = source;
  ForOverlap(copy, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t value = from < 0 ? 0 : Channel(copy.GetPixel32(sx, sy), from);
    std::uint32_t pixel = target.GetPixel32(tx, ty);
    pixel = (pixel & ~(0xffu << to)) | (value << to);
    target.SetRaw(tx, ty, target.Store(pixel));
  });
  target.Changed();
  return true;
}

void TransformArea(BitmapPixels& p, PixelArea a, const ColorTransform& ct) {
  // The player leaves the pixels alone when the transform only raises alpha by a
  // multiplier: it takes such a transform for one that changes nothing.
  if (ct.mulR == 1 && ct.mulG == 1 && ct.mulB == 1 && ct.addR == 0 && ct.addG == 0 && ct.addB == 0 && ct.addA == 0 &&
      ct.mulA > 1)
    return;
  const QRect area = Clipped(p, a);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) p.SetRaw(x, y, p.Store(TransformArgb(p.GetPixel32(x, y), ct)));
  }
  p.Changed();
}

std::shared_ptr<BitmapPixels> ComparePixels(const BitmapPixels& p, const BitmapPixels& other) {
  auto diff = std::make_shared<BitmapPixels>(p.Width(), p.Height(), true, 0);
  bool same = true;
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      const std::uint32_t a = p.GetPixel32(x, y), b = other.GetPixel32(x, y);
      if (a == b) continue;
      same = false;
      std::uint32_t out;
      if ((a & 0xffffff) != (b & 0xffffff)) {
        out = 0xff000000u;
        for (int shift = 0; shift < 24; shift += 8) out |= ((Channel(a, shift) - Channel(b, shift)) & 255) << shift;
      } else {
        out = (((Channel(a, 24) - Channel(b, 24)) & 255) << 24) | 0xffffff;
      }
      diff->SetRaw(x, y, diff->Store(out));
    }
  }
  return same ? nullptr : diff;
}

bool IsThresholdOperation(std::string_view operation) {
  return std::find(std::begin(kThresholdOperations), std::end(kThresholdOperations), operation) !=
         std::end(kThresholdOperations);
}

int ThresholdInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                  std::string_view operation, std::uint32_t threshold, std::uint32_t color, std::uint32_t mask,
                  bool copySource) {
  int op = 0;  // an unknown operation tests "<"
  for (int i = 0; i < 6; ++i) {
    if (operation == kThresholdOperations[i]) op = i;
  }
  const std::uint32_t limit = threshold & mask;
  const BitmapPixels copy = source;
  int count = 0;
  ForOverlap(copy, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    // The test reads the stored (premultiplied) pixel; the player writes both colours as
    // they are, premultiplied, even into an opaque bitmap.
    const std::uint32_t v = copy.Raw(sx, sy) & mask;
    bool hit = false;
    switch (op) {
      case 0: hit = v < limit; break;
      case 1: hit = v <= limit; break;
      case 2: hit = v > limit; break;
      case 3: hit = v >= limit; break;
      case 4: hit = v == limit; break;
      default: hit = v != limit; break;
    }
    if (hit) {
      target.SetRaw(tx, ty, PremultiplyArgb(color));
      ++count;
    } else if (copySource) {
      target.SetRaw(tx, ty, copy.Raw(sx, sy));
    }
  });
  target.Changed();
  return count;
}

void MergeInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
               const std::array<std::int64_t, 4>& multipliers) {
  // Alpha, red, green, blue from the top byte down.
  // Multipliers beyond 0 to 256 count as the nearest end.
  std::int64_t mul[4] = {multipliers[3], multipliers[0], multipliers[1], multipliers[2]};
  for (std::int64_t& m : mul) m = std::clamp<std::int64_t>(m, 0, 256);
  const BitmapPixels copy = source;
  ForOverlap(copy, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t s = copy.GetPixel32(sx, sy), d = target.GetPixel32(tx, ty);
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
      const int shift = 24 - 8 * i;
      const std::int64_t sc = Channel(s, shift), dc = Channel(d, shift);
      out |= (static_cast<std::uint32_t>((sc * mul[i] + dc * (256 - mul[i])) / 256) & 255) << shift;
    }
    target.SetRaw(tx, ty, target.Store(out));
  });
  target.Changed();
}

PaletteTables IdentityPalette() {
  PaletteTables tables;
  const int shifts[4] = {16, 8, 0, 24};
  for (int t = 0; t < 4; ++t)
    for (std::uint32_t i = 0; i < 256; ++i) tables[t][i] = i << shifts[t];
  return tables;
}

void PaletteMapInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                    const PaletteTables& tables) {
  const int shifts[4] = {16, 8, 0, 24};
  const BitmapPixels copy = source;
  ForOverlap(copy, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t s = copy.GetPixel32(sx, sy);
    std::uint32_t out = 0;
    for (int t = 0; t < 4; ++t) out += tables[t][Channel(s, shifts[t])];
    target.SetRaw(tx, ty, target.Store(out));
  });
  target.Changed();
}

QRect ColorBounds(const BitmapPixels& p, std::uint32_t mask, std::uint32_t color, bool find) {
  // The player keeps its far edges from 0, so a match at the origin alone reads as none.
  // The masked stored pixel is compared with the whole colour, premultiplied as a
  // transparent bitmap stores it: bits the mask drops still count on the colour's side.
  // An opaque bitmap has no alpha to compare on either side.
  const std::uint32_t wanted = p.Transparent() ? PremultiplyArgb(color) : color & 0xffffffu;
  if (!p.Transparent()) mask &= 0xffffffu;
  int left = p.Width(), top = p.Height(), right = 0, bottom = 0;
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      if (((p.Raw(x, y) & mask) == wanted) != find) continue;
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x);
      bottom = std::max(bottom, y);
    }
  }
  if (right == 0 && bottom == 0) return QRect(0, 0, 0, 0);
  return QRect(left, top, right - left + 1, bottom - top + 1);
}

std::int32_t DissolveInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                          std::int32_t seed, std::int64_t numPixels, std::uint32_t fill) {
  // The area both bitmaps have, as copyPixels clips it.
  int left = 0, top = 0, width = 0, height = 0, sourceLeft = 0, sourceTop = 0;
  bool first = true;
  ForOverlap(source, rect, dx, dy, target, [&](int sx, int sy, int tx, int ty) {
    if (first) {
      left = tx;
      top = ty;
      sourceLeft = sx;
      sourceTop = sy;
      first = false;
    }
    width = std::max(width, tx - left + 1);
    height = std::max(height, ty - top + 1);
  });
  if (width <= 0 || height <= 0) return seed;
  const bool self = &source == &target;
  const std::uint32_t count = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
  const DissolveSequence sequence(count);
  const BitmapPixels copy = self ? BitmapPixels(1, 1, true, 0) : source;
  const auto write = [&](std::uint32_t position) {
    const int x = static_cast<int>(position % static_cast<std::uint32_t>(width));
    const int y = static_cast<int>(position / static_cast<std::uint32_t>(width));
    // Source pixels go over as stored, alpha and all, even into an opaque bitmap.
    target.SetRaw(left + x, top + y, self ? target.Store(fill) : copy.Raw(sourceLeft + x, sourceTop + y));
  };
  // The area's first pixel is always written; then every step writes the register's
  // position and moves on. The register keeps stepping past a full cycle, so only the
  // answer, not the pixels, depends on steps beyond it.
  write(0);
  if (numPixels == 0 || count < 2) {
    target.Changed();
    return seed;
  }
  std::uint32_t position = sequence.Start(static_cast<std::uint32_t>(seed));
  const std::uint64_t cycle = count - 1;
  const std::uint64_t steps = numPixels < static_cast<std::int64_t>(cycle)
                                  ? static_cast<std::uint64_t>(numPixels)
                                  : cycle + static_cast<std::uint64_t>(numPixels) % cycle;
  for (std::uint64_t i = 0; i < steps; ++i) {
    write(position);
    position = sequence.Next(position);
  }
  target.Changed();
  return static_cast<std::int32_t>(position);
}

bool HitBitmaps(const BitmapPixels& p, int fx, int fy, std::uint32_t threshold, const BitmapPixels& other, int sx, int sy,
                std::uint32_t secondThreshold) {
  const QRect a(fx, fy, p.Width(), p.Height()), b(sx, sy, other.Width(), other.Height());
  const QRect both = a.intersected(b);
  for (int y = both.top(); y <= both.bottom(); ++y) {
    for (int x = both.left(); x <= both.right(); ++x) {
      // Between two bitmaps a threshold of 0 counts transparent pixels too.
      if ((p.Raw(x - fx, y - fy) >> 24) >= threshold && (other.Raw(x - sx, y - sy) >> 24) >= secondThreshold) return true;
    }
  }
  return false;
}

bool HitArea(const BitmapPixels& p, int fx, int fy, std::uint32_t threshold, PixelArea r) {
  const QRect area = Clipped(p, {r.x - fx, r.y - fy, r.width, r.height});
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if ((p.Raw(x, y) >> 24) >= threshold) return true;
    }
  }
  return false;
}

bool HitPoint(const BitmapPixels& p, int fx, int fy, std::uint32_t threshold, int px, int py) {
  return OpaqueAt(p, px - fx, py - fy, threshold);
}

Quality DrawQuality(std::string_view name) {
  const auto is = [&](std::string_view want) {
    return name.size() == want.size() &&
           std::equal(name.begin(), name.end(), want.begin(), [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
  };
  if (is("LOW")) return Quality::Low;
  if (is("MEDIUM")) return Quality::Medium;
  return Quality::High;
}

bool BitmapDrawShows(std::uint8_t blendMode) {
  return blendMode != static_cast<std::uint8_t>(BlendMode::Alpha) && blendMode != static_cast<std::uint8_t>(BlendMode::Erase);
}

void DrawLayerInto(BitmapPixels& target, const QImage& layer, QRect clip, std::uint8_t blendMode) {
  clip = clip.intersected(QRect(0, 0, target.Width(), target.Height())).intersected(layer.rect());
  QImage& pixels = target.MutableImage();
  for (int y = clip.top(); y <= clip.bottom(); ++y) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y));
    auto* dst = reinterpret_cast<std::uint32_t*>(pixels.scanLine(y));
    for (int x = clip.left(); x <= clip.right(); ++x) {
      if (src[x] == 0) continue;
      std::uint32_t out = BlendPixel(blendMode, src[x], dst[x]);
      if (!target.Transparent()) out = target.Store(UnmultiplyArgb(out));
      dst[x] = out;
    }
  }
  target.Changed();
}

std::array<std::array<double, 256>, 4> Histogram(const BitmapPixels& p, PixelArea a) {
  std::array<std::array<double, 256>, 4> counts{};
  const QRect area = Clipped(p, a);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const std::uint32_t argb = p.GetPixel32(x, y);
      counts[0][Channel(argb, 16)] += 1;
      counts[1][Channel(argb, 8)] += 1;
      counts[2][Channel(argb, 0)] += 1;
      counts[3][Channel(argb, 24)] += 1;
    }
  }
  return counts;
}

void ApplyFilterInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                     const FilterParams& filter) {
  const QRect area =
      QRect(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0)).intersected(QRect(0, 0, source.Width(), source.Height()));
  if (area.isEmpty()) return;
  QImage layer = source.Image().copy(area);
  ApplyFilters(layer, {filter}, 1.0);
  for (int y = 0; y < layer.height(); ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y));
    for (int x = 0; x < layer.width(); ++x) {
      const int tx = dx + x, ty = dy + y;
      if (!target.Contains(tx, ty)) continue;
      target.SetRaw(tx, ty, target.Transparent() ? line[x] : target.Store(UnmultiplyArgb(line[x])));
    }
  }
  target.Changed();
}

namespace {

std::uint32_t MapChannel(std::uint32_t argb, int channel) {
  switch (channel) {
    case 1: return Channel(argb, 16);
    case 2: return Channel(argb, 8);
    case 4: return Channel(argb, 0);
    case 8: return Channel(argb, 24);
    default: return 128;
  }
}

double Offset(std::uint32_t value, double scale) { return (static_cast<double>(value) - 128) * scale / 256; }

int Wrap(int v, int size) { return ((v % size) + size) % size; }

}  // namespace

void DisplaceInto(BitmapPixels& target, const BitmapPixels& source, PixelArea rect, int dx, int dy,
                  const Displacement& d) {
  const QRect area = Clipped(source, rect);
  if (area.isEmpty()) return;
  const BitmapPixels from = source;  // the source may be the target
  const std::uint32_t substitute = PremultiplyArgb(d.color);
  for (int j = 0; j < area.height(); ++j) {
    for (int i = 0; i < area.width(); ++i) {
      const int tx = dx + i, ty = dy + j;
      if (!target.Contains(tx, ty)) continue;
      double ox = 0, oy = 0;
      const int mx = i - d.mapX, my = j - d.mapY;
      if (d.map && d.map->Contains(mx, my)) {
        const std::uint32_t m = d.map->GetPixel32(mx, my);
        ox = Offset(MapChannel(m, d.componentX), d.scaleX);
        oy = Offset(MapChannel(m, d.componentY), d.scaleY);
      }
      // The pixel pointed to, between four pixels of the area: their mix by how near each is.
      const double px = i + ox, py = j + oy;
      const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
      const double fx = px - x0, fy = py - y0;
      const bool outside = x0 < 0 || y0 < 0 || x0 >= area.width() || y0 >= area.height();
      std::uint32_t pixel = 0;
      if (outside && d.mode == Displacement::Mode::Ignore) {
        pixel = from.Raw(area.x() + i, area.y() + j);
      } else {
        const auto at = [&](int x, int y) -> std::uint32_t {
          if (x < 0 || y < 0 || x >= area.width() || y >= area.height()) {
            switch (d.mode) {
              case Displacement::Mode::Wrap:
                x = Wrap(x, area.width());
                y = Wrap(y, area.height());
                break;
              case Displacement::Mode::Color: return substitute;
              default:
                x = std::clamp(x, 0, area.width() - 1);
                y = std::clamp(y, 0, area.height() - 1);
                break;
            }
          }
          return from.Raw(area.x() + x, area.y() + y);
        };
        const std::uint32_t p00 = at(x0, y0), p10 = at(x0 + 1, y0), p01 = at(x0, y0 + 1), p11 = at(x0 + 1, y0 + 1);
        for (int shift = 0; shift < 32; shift += 8) {
          const double top = Channel(p00, shift) * (1 - fx) + Channel(p10, shift) * fx;
          const double bottom = Channel(p01, shift) * (1 - fx) + Channel(p11, shift) * fx;
          const auto v = static_cast<std::uint32_t>(std::lround(top * (1 - fy) + bottom * fy));
          pixel |= std::min<std::uint32_t>(v, 255) << shift;
        }
      }
      if (!from.Transparent()) pixel |= 0xff000000u;
      target.SetRaw(tx, ty, target.Transparent() ? pixel : target.Store(UnmultiplyArgb(pixel)));
    }
  }
  target.Changed();
}

PixelArea FilterRect(PixelArea area, const FilterParams& filter) {
  const QMargins margins = FilterMargins({filter}, 1.0);
  return PixelArea{area.x - margins.left(), area.y - margins.top(), area.width + margins.left() + margins.right(),
                   area.height + margins.top() + margins.bottom()};
}

}  // namespace vantrel::flash
