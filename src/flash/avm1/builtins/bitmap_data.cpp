// flash.display.BitmapData: a script's own bitmap with real pixels (premultiplied, as
// the player keeps them), its pixel operations, drawing display objects into it, and
// showing it on the stage through MovieClip.attachBitmap. Methods of a disposed bitmap
// answer -1, as the player does.
#include "flash/avm1/builtins/bitmap_data.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/filters.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/render/effects.h"
#include "flash/render/renderer.h"

namespace vantrel::flash::avm1 {

namespace {

constexpr const char* kBitmapData = "flash.display.BitmapData";

class BitmapDataData final : public NativeData {
 public:
  std::shared_ptr<BitmapPixels> pixels;
  std::size_t Bytes() const override {
    return pixels && !pixels->Disposed() ? static_cast<std::size_t>(pixels->Width()) * pixels->Height() * 4 : 0;
  }
};

Value Num(double n) { return Value::Number(n); }
Value Int(std::int32_t n) { return Value::Number(n); }
const Value kInvalid = Value::Number(-1);

std::int32_t IntOf(MachineInterface& m, const Value& v) { return ToInt32(m.ToNumber(v)); }

BitmapPixels* PixelsOf(const Value& value) {
  Object* object = value.AsObject();
  BitmapDataData* data = object ? object->Data<BitmapDataData>() : nullptr;
  return data ? data->pixels.get() : nullptr;
}

// The bitmap of `this` when it is a live BitmapData.
BitmapPixels* Live(Call& call) {
  BitmapPixels* pixels = PixelsOf(call.thisValue);
  return pixels && !pixels->Disposed() ? pixels : nullptr;
}

struct IntRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// A rectangle argument: any object with x, y, width and height.
bool RectArg(MachineInterface& m, const Value& value, IntRect& out) {
  if (!value.AsObject()) return false;
  out.x = IntOf(m, m.GetMember(value, "x"));
  out.y = IntOf(m, m.GetMember(value, "y"));
  out.width = IntOf(m, m.GetMember(value, "width"));
  out.height = IntOf(m, m.GetMember(value, "height"));
  return true;
}

bool PointArg(MachineInterface& m, const Value& value, int& x, int& y) {
  if (!value.AsObject()) return false;
  x = IntOf(m, m.GetMember(value, "x"));
  y = IntOf(m, m.GetMember(value, "y"));
  return true;
}

// A rectangle argument that has all four of x, y, width and height.
bool FullRectArg(MachineInterface& m, const Value& value, IntRect& out) {
  Object* object = value.AsObject();
  if (!object) return false;
  for (const char* name : {"x", "y", "width", "height"}) {
    if (!m.Has(object, name)) return false;
  }
  return RectArg(m, value, out);
}

// The player's answers to bad arguments of the methods that read another bitmap:
// -2 for a source that is no bitmap, -3 for a disposed one, -4 for a bad rectangle.
constexpr double kNoBitmap = -2, kDisposedSource = -3, kBadRect = -4;

// The source bitmap argument, or the code to answer.
BitmapPixels* SourceArg(const Value& value, double& code) {
  BitmapPixels* source = PixelsOf(value);
  if (!source) {
    code = kNoBitmap;
    return nullptr;
  }
  if (source->Disposed()) {
    code = kDisposedSource;
    return nullptr;
  }
  return source;
}

Object* MakeRectangle(MachineInterface& m, double x, double y, double width, double height) {
  Object* rect = data::NewInstance(m, "flash.geom.Rectangle");
  rect->Define("x", Num(x));
  rect->Define("y", Num(y));
  rect->Define("width", Num(width));
  rect->Define("height", Num(height));
  return rect;
}

// The source rectangle clipped to source and the destination clipped to target: calls
// visit(sx, sy, dx, dy) for every pixel that both contain.
template <typename Visit>
void ForOverlap(const BitmapPixels& source, IntRect rect, int destX, int destY, const BitmapPixels& target,
                Visit&& visit) {
  // Clip the source rectangle to the source.
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
  // Then the destination to the target.
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

// ---- construction and properties ----

Value Construct(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self || call.Count() < 2) return Value();
  const std::int32_t width = IntOf(m, call.Arg(0)), height = IntOf(m, call.Arg(1));
  const bool transparent = call.Count() > 2 ? m.ToBoolean(call.Arg(2)) : true;
  const std::uint32_t fill = call.Count() > 3 ? ToUint32(m.ToNumber(call.Arg(3))) : 0xffffffffu;
  // Movies before SWF 10 are limited to 2880 pixels a side; later ones to 8191 a side
  // and 16777215 pixels in all.
  const bool valid = m.Version() <= 9 ? width > 0 && height > 0 && width <= 2880 && height <= 2880
                                      : width > 0 && height > 0 && width <= 8191 && height <= 8191 &&
                                            static_cast<std::int64_t>(width) * height <= 16777215;
  if (!valid) return Value();
  auto native = std::make_unique<BitmapDataData>();
  native->pixels = std::make_shared<BitmapPixels>(width, height, transparent, fill);
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(native);
  return Value::Obj(call.self);
}

Value Width(Call& call) {
  BitmapPixels* p = Live(call);
  return p ? Int(p->Width()) : kInvalid;
}

Value Height(Call& call) {
  BitmapPixels* p = Live(call);
  return p ? Int(p->Height()) : kInvalid;
}

Value Transparent(Call& call) {
  BitmapPixels* p = Live(call);
  return p ? Value::Bool(p->Transparent()) : kInvalid;
}

Value Rectangle(Call& call) {
  BitmapPixels* p = Live(call);
  return p ? Value::Obj(MakeRectangle(call.machine, 0, 0, p->Width(), p->Height())) : kInvalid;
}

// ---- pixels ----

Value GetPixel(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 2) return kInvalid;
  MachineInterface& m = call.machine;
  return Int(static_cast<std::int32_t>(p->GetPixel32(IntOf(m, call.Arg(0)), IntOf(m, call.Arg(1))) & 0xffffff));
}

Value GetPixel32(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 2) return kInvalid;
  MachineInterface& m = call.machine;
  return Int(static_cast<std::int32_t>(p->GetPixel32(IntOf(m, call.Arg(0)), IntOf(m, call.Arg(1)))));
}

Value SetPixel(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 3) return kInvalid;
  MachineInterface& m = call.machine;
  const int x = IntOf(m, call.Arg(0)), y = IntOf(m, call.Arg(1));
  const std::uint32_t rgb = ToUint32(m.ToNumber(call.Arg(2))) & 0xffffff;
  if (!p->Contains(x, y)) return Num(0);
  p->SetPixel32(x, y, (p->Raw(x, y) & 0xff000000u) | rgb);
  return Num(0);
}

Value SetPixel32(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 3) return kInvalid;
  MachineInterface& m = call.machine;
  const int x = IntOf(m, call.Arg(0)), y = IntOf(m, call.Arg(1));
  p->SetPixel32(x, y, ToUint32(m.ToNumber(call.Arg(2))));
  return Num(0);
}

Value FillRect(Call& call) {
  BitmapPixels* p = Live(call);
  IntRect r;
  if (!p || call.Count() < 2 || !FullRectArg(call.machine, call.Arg(0), r)) return kInvalid;
  // A negative width or height reaches back from x or y.
  const auto flip = [](int& at, int& size) {
    if (size >= 0) return;
    constexpr std::int64_t lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    at = static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(at) + size, lo, hi));
    size = static_cast<int>(std::min<std::int64_t>(-static_cast<std::int64_t>(size), hi));
  };
  flip(r.x, r.width);
  flip(r.y, r.height);
  p->FillRect(r.x, r.y, r.width, r.height, ToUint32(call.machine.ToNumber(call.Arg(1))));
  return Num(0);
}

Value FloodFill(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 3) return kInvalid;
  MachineInterface& m = call.machine;
  const int x = IntOf(m, call.Arg(0)), y = IntOf(m, call.Arg(1));
  const std::uint32_t color = ToUint32(m.ToNumber(call.Arg(2)));
  // 1 when something was filled.
  const std::uint64_t before = p->Version();
  p->FloodFill(x, y, color);
  return Num(p->Version() != before ? 1 : 0);
}

Value Clone(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p) return kInvalid;
  return Value::Obj(MakeBitmapDataObject(call.machine, std::make_shared<BitmapPixels>(*p)));
}

Value Dispose(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p) return kInvalid;
  p->Dispose();
  return Value();
}

Value Scroll(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 2) return kInvalid;
  const int dx = IntOf(call.machine, call.Arg(0)), dy = IntOf(call.machine, call.Arg(1));
  p->Scroll(dx, dy);
  return Num(0);
}

Value Noise(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 1) return kInvalid;
  MachineInterface& m = call.machine;
  const int low = call.Count() > 1 ? std::clamp(IntOf(m, call.Arg(1)), 0, 255) : 0;
  const int high = call.Count() > 2 ? std::clamp(IntOf(m, call.Arg(2)), 0, 255) : 255;
  const int channels = call.Count() > 3 ? IntOf(m, call.Arg(3)) : 7;
  const bool gray = call.Count() > 4 && m.ToBoolean(call.Arg(4));
  p->Noise(IntOf(m, call.Arg(0)), low, high, channels, gray);
  return Num(0);
}

// perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise[, channelOptions,
// grayScale, offsets])
Value PerlinNoise(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 6) return kInvalid;
  MachineInterface& m = call.machine;
  std::vector<double> offsets;
  if (Object* list = call.Arg(8).AsObject(); list && list->IsArray()) {
    for (const Value& point : list->Array()->elements) {
      offsets.push_back(m.ToNumber(m.GetMember(point, "x")));
      offsets.push_back(m.ToNumber(m.GetMember(point, "y")));
    }
  }
  p->PerlinNoise(m.ToNumber(call.Arg(0)), m.ToNumber(call.Arg(1)), IntOf(m, call.Arg(2)), IntOf(m, call.Arg(3)),
                 m.ToBoolean(call.Arg(4)), m.ToBoolean(call.Arg(5)), call.Count() > 6 ? IntOf(m, call.Arg(6)) : 7,
                 call.Count() > 7 && m.ToBoolean(call.Arg(7)), offsets);
  return Num(0);
}

// pixelDissolve(source, sourceRect, destPoint, randomSeed, numPixels[, fillColor]):
// writes the pixel at the seed's position and numPixels more along the dissolve order
// (the fill colour when source is this bitmap, the source's pixels otherwise), and
// gives the position to continue from.
Value PixelDissolve(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 5) return kInvalid;
  MachineInterface& m = call.machine;
  BitmapPixels* source = PixelsOf(call.Arg(0));
  if (!source || source->Disposed()) return kInvalid;
  IntRect rect;
  if (!RectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  const std::int32_t seed = IntOf(m, call.Arg(3));
  const std::int64_t numPixels = std::max(0, IntOf(m, call.Arg(4)));
  const std::uint32_t fill = ToUint32(m.ToNumber(call.Arg(5)));
  // The area both bitmaps have, as copyPixels clips it.
  int left = 0, top = 0, width = 0, height = 0, sourceLeft = 0, sourceTop = 0;
  bool first = true;
  ForOverlap(*source, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
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
  if (width <= 0 || height <= 0) return Int(seed);
  const std::uint32_t count = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
  const DissolveSequence sequence(count);
  const BitmapPixels copy = source == target ? BitmapPixels(1, 1, true, 0) : *source;
  const auto write = [&](std::uint32_t position) {
    const int x = static_cast<int>(position % static_cast<std::uint32_t>(width));
    const int y = static_cast<int>(position / static_cast<std::uint32_t>(width));
    const std::uint32_t argb = source == target ? fill : copy.GetPixel32(sourceLeft + x, sourceTop + y);
    target->SetRaw(left + x, top + y, target->Store(argb));
  };
  std::uint32_t position = static_cast<std::uint32_t>(seed) % count;
  write(position);
  for (std::int64_t i = 0; i < std::min<std::int64_t>(numPixels, count); ++i) {
    position = sequence.Next(position);
    write(position);
  }
  target->Changed();
  return Int(static_cast<std::int32_t>(position));
}

// copyPixels(source, sourceRect, destPoint[, alphaBitmap, alphaPoint, mergeAlpha])
Value CopyPixels(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 3) return kInvalid;
  MachineInterface& m = call.machine;
  double code = 0;
  BitmapPixels* source = SourceArg(call.Arg(0), code);
  if (!source) return Num(code);
  IntRect rect;
  if (!FullRectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  // The alpha bitmap counts only together with its point.
  BitmapPixels* alpha = call.Count() > 4 ? PixelsOf(call.Arg(3)) : nullptr;
  if (alpha && (alpha->Disposed() || !alpha->Transparent())) alpha = nullptr;  // an opaque one changes nothing
  int ax = 0, ay = 0;
  if (alpha) PointArg(m, call.Arg(4), ax, ay);
  const bool merge = call.Count() > 5 && m.ToBoolean(call.Arg(5));
  const BitmapPixels copy = source == target ? *source : BitmapPixels(1, 1, true, 0);
  const BitmapPixels& from = source == target ? copy : *source;
  ForOverlap(from, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
    std::uint32_t src = from.Raw(sx, sy);
    if (!from.Transparent()) src |= 0xff000000u;
    if (alpha) {
      // The alpha bitmap's alpha scales the source, at the same offset into both.
      // Only where the alpha bitmap reaches.
      const int px = ax + sx - rect.x, py = ay + sy - rect.y;
      if (!alpha->Contains(px, py)) return;
      const std::uint32_t a = alpha->Raw(px, py) >> 24;
      std::uint32_t scaled = 0;
      for (int shift = 0; shift < 32; shift += 8) scaled |= ((Channel(src, shift) * a) >> 8) << shift;
      src = scaled;
    }
    std::uint32_t out = merge && target->Transparent() ? Over(target->Raw(tx, ty), src) : src;
    if (!target->Transparent()) out = Over(target->Raw(tx, ty), src) | 0xff000000u;
    target->SetRaw(tx, ty, out);
  });
  target->Changed();
  return Num(0);
}

// copyChannel(source, sourceRect, destPoint, sourceChannel, destChannel)
Value CopyChannel(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 5) return kInvalid;
  MachineInterface& m = call.machine;
  double code = 0;
  BitmapPixels* source = SourceArg(call.Arg(0), code);
  if (!source) return Num(code);
  IntRect rect;
  if (!FullRectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  const auto shiftOf = [](int channel) {
    switch (channel) {
      case 1: return 16;
      case 2: return 8;
      case 4: return 0;
      case 8: return 24;
      default: return -1;
    }
  };
  const int from = shiftOf(IntOf(m, call.Arg(3))), to = shiftOf(IntOf(m, call.Arg(4)));
  // The player answers -1 whether or not it copied; an unknown source channel copies 0.
  if (to < 0) return kInvalid;
  const BitmapPixels copy = *source;
  ForOverlap(copy, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t value = from < 0 ? 0 : Channel(copy.GetPixel32(sx, sy), from);
    std::uint32_t pixel = target->GetPixel32(tx, ty);
    pixel = (pixel & ~(0xffu << to)) | (value << to);
    target->SetRaw(tx, ty, target->Store(pixel));
  });
  target->Changed();
  return kInvalid;
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

Value ColorTransformMethod(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 2) return kInvalid;
  MachineInterface& m = call.machine;
  IntRect r;
  ColorTransform ct;
  if (!FullRectArg(m, call.Arg(0), r)) return Num(-2);
  if (!ColorTransformOf(call.Arg(1), ct)) return Num(-3);
  const QRect area = QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)).intersected(QRect(0, 0, p->Width(), p->Height()));
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) p->SetRaw(x, y, p->Store(TransformArgb(p->GetPixel32(x, y), ct)));
  }
  p->Changed();
  return kInvalid;  // as the player answers
}

// compare(other): 0 when equal, a bitmap of the differences otherwise; -3 and -4 for
// different widths and heights, -2 when other is no bitmap.
Value Compare(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 1) return kInvalid;
  BitmapPixels* other = PixelsOf(call.Arg(0));
  if (!other || other->Disposed()) return Num(kNoBitmap);
  if (p->Width() != other->Width()) return Num(-3);
  if (p->Height() != other->Height()) return Num(-4);
  auto diff = std::make_shared<BitmapPixels>(p->Width(), p->Height(), true, 0);
  bool same = true;
  for (int y = 0; y < p->Height(); ++y) {
    for (int x = 0; x < p->Width(); ++x) {
      const std::uint32_t a = p->GetPixel32(x, y), b = other->GetPixel32(x, y);
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
  if (same) return Num(0);
  return Value::Obj(MakeBitmapDataObject(call.machine, diff));
}

// threshold(source, sourceRect, destPoint, operation, threshold[, color, mask, copySource])
Value Threshold(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 5) return kInvalid;
  MachineInterface& m = call.machine;
  double code = 0;
  BitmapPixels* source = SourceArg(call.Arg(0), code);
  if (!source) return Num(code);
  IntRect rect;
  if (!FullRectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  const std::string operation = m.ToString(call.Arg(3));
  const std::uint32_t threshold = ToUint32(m.ToNumber(call.Arg(4)));
  const std::uint32_t color = call.Count() > 5 ? ToUint32(m.ToNumber(call.Arg(5))) : 0;
  const std::uint32_t mask = call.Count() > 6 ? ToUint32(m.ToNumber(call.Arg(6))) : 0xffffffffu;
  const bool copySource = call.Count() > 7 && m.ToBoolean(call.Arg(7));
  int op = 0;  // an unknown operation tests "<"
  static const char* const kOperations[] = {"<", "<=", ">", ">=", "==", "!="};
  for (int i = 0; i < 6; ++i) {
    if (operation == kOperations[i]) op = i;
  }
  const std::uint32_t limit = threshold & mask;
  const BitmapPixels copy = *source;
  int count = 0;
  ForOverlap(copy, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
    // The test reads the stored (premultiplied) pixel.
    const std::uint32_t v = copy.Raw(sx, sy) & mask;
    // The player writes both colours as they are, premultiplied, even into an opaque
    // bitmap.
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
      target->SetRaw(tx, ty, PremultiplyArgb(color));
      ++count;
    } else if (copySource) {
      target->SetRaw(tx, ty, copy.Raw(sx, sy));
    }
  });
  target->Changed();
  return Int(count);
}

// merge(source, sourceRect, destPoint, redMultiplier, greenMultiplier, blueMultiplier, alphaMultiplier)
Value Merge(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 6) return kInvalid;
  MachineInterface& m = call.machine;
  double code = 0;
  BitmapPixels* source = SourceArg(call.Arg(0), code);
  if (!source) return Num(code);
  IntRect rect;
  if (!FullRectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  const std::int64_t mul[4] = {IntOf(m, call.Arg(6)), IntOf(m, call.Arg(3)), IntOf(m, call.Arg(4)), IntOf(m, call.Arg(5))};
  const BitmapPixels copy = *source;
  ForOverlap(copy, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t s = copy.GetPixel32(sx, sy), d = target->GetPixel32(tx, ty);
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
      const int shift = 24 - 8 * i;
      const std::int64_t sc = Channel(s, shift), dc = Channel(d, shift);
      out |= (static_cast<std::uint32_t>((sc * mul[i] + dc * (256 - mul[i])) / 256) & 255) << shift;
    }
    target->SetRaw(tx, ty, target->Store(out));
  });
  target->Changed();
  return kInvalid;  // as the player answers
}

// paletteMap(source, sourceRect, destPoint[, redArray, greenArray, blueArray, alphaArray])
Value PaletteMap(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target || call.Count() < 4) return kInvalid;
  MachineInterface& m = call.machine;
  double code = 0;
  BitmapPixels* source = SourceArg(call.Arg(0), code);
  if (!source) return Num(code);
  IntRect rect;
  if (!FullRectArg(m, call.Arg(1), rect)) return Num(kBadRect);
  int dx = 0, dy = 0;
  PointArg(m, call.Arg(2), dx, dy);
  // Tables for red, green, blue and alpha; a missing one passes its channel through.
  std::uint32_t tables[4][256];
  const int shifts[4] = {16, 8, 0, 24};
  for (int t = 0; t < 4; ++t) {
    Object* array = call.Arg(3 + t).AsObject();
    for (std::uint32_t i = 0; i < 256; ++i) {
      if (array && array->IsArray()) {
        const auto& elements = array->Array()->elements;
        tables[t][i] = i < elements.size() ? ToUint32(m.ToNumber(elements[i])) : 0;
      } else {
        tables[t][i] = i << shifts[t];
      }
    }
  }
  const BitmapPixels copy = *source;
  ForOverlap(copy, rect, dx, dy, *target, [&](int sx, int sy, int tx, int ty) {
    const std::uint32_t s = copy.GetPixel32(sx, sy);
    std::uint32_t out = 0;
    for (int t = 0; t < 4; ++t) out += tables[t][Channel(s, shifts[t])];
    target->SetRaw(tx, ty, target->Store(out));
  });
  target->Changed();
  return kInvalid;  // as the player answers
}

// getColorBoundsRect(mask, color[, findColor]): the player compares the stored
// (premultiplied) pixels.
Value GetColorBoundsRect(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p) return kInvalid;
  MachineInterface& m = call.machine;
  if (call.Count() < 2) return kInvalid;
  const std::uint32_t mask = ToUint32(m.ToNumber(call.Arg(0)));
  const std::uint32_t color = ToUint32(m.ToNumber(call.Arg(1)));
  const bool find = call.Count() > 2 ? m.ToBoolean(call.Arg(2)) : true;
  // The player keeps its far edges from 0, so a match at the origin alone reads as none.
  int left = p->Width(), top = p->Height(), right = 0, bottom = 0;
  for (int y = 0; y < p->Height(); ++y) {
    for (int x = 0; x < p->Width(); ++x) {
      if (((p->Raw(x, y) & mask) == (color & mask)) != find) continue;
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x);
      bottom = std::max(bottom, y);
    }
  }
  if (right == 0 && bottom == 0) return Value::Obj(MakeRectangle(m, 0, 0, 0, 0));
  return Value::Obj(MakeRectangle(m, left, top, right - left + 1, bottom - top + 1));
}

// A point argument that has both x and y of its own (inherited ones do not count).
bool FullPointArg(MachineInterface& m, const Value& value, int& x, int& y) {
  Object* object = value.AsObject();
  if (!object || !object->FindOwn("x", m.CaseSensitive()) || !object->FindOwn("y", m.CaseSensitive())) return false;
  return PointArg(m, value, x, y);
}

// hitTest(firstPoint, firstAlphaThreshold, secondObject[, secondBitmapPoint,
// secondAlphaThreshold]): -2 for a bad first point, -3 for a bad second object, -4 for
// a bad second point.
Value HitTest(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 3) return kInvalid;
  MachineInterface& m = call.machine;
  int fx = 0, fy = 0;
  if (!FullPointArg(m, call.Arg(0), fx, fy)) return Num(-2);
  const auto threshold = static_cast<std::uint32_t>(std::clamp(IntOf(m, call.Arg(1)), 0, 255));
  const Value second = call.Arg(2);
  const auto opaqueAt = [&](const BitmapPixels& b, int x, int y, std::uint32_t limit) {
    // A fully transparent pixel never hits, whatever the threshold.
    const std::uint32_t alpha = b.Raw(x, y) >> 24;
    return b.Contains(x, y) && alpha != 0 && alpha >= limit;
  };
  if (BitmapPixels* other = PixelsOf(second)) {
    if (other->Disposed()) return Num(-3);
    int sx = 0, sy = 0;
    if (call.Count() > 3 && !FullPointArg(m, call.Arg(3), sx, sy)) return Num(-4);
    const auto secondThreshold =
        static_cast<std::uint32_t>(call.Count() > 4 ? std::clamp(IntOf(m, call.Arg(4)), 0, 255) : 1);
    const QRect a(fx, fy, p->Width(), p->Height()), b(sx, sy, other->Width(), other->Height());
    const QRect both = a.intersected(b);
    for (int y = both.top(); y <= both.bottom(); ++y) {
      for (int x = both.left(); x <= both.right(); ++x) {
        if (opaqueAt(*p, x - fx, y - fy, threshold) && opaqueAt(*other, x - sx, y - sy, secondThreshold))
          return Value::Bool(true);
      }
    }
    return Value::Bool(false);
  }
  Object* object = second.AsObject();
  if (!object) return Num(-3);
  if (m.Has(object, "width") && m.Has(object, "height")) {
    IntRect r;
    RectArg(m, second, r);
    const QRect area = QRect(r.x - fx, r.y - fy, std::max(r.width, 0), std::max(r.height, 0)).intersected(QRect(0, 0, p->Width(), p->Height()));
    // Inside a rectangle, a threshold of 0 counts transparent pixels too.
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if ((p->Raw(x, y) >> 24) >= threshold) return Value::Bool(true);
      }
    }
    return Value::Bool(false);
  }
  int x = 0, y = 0;
  if (!FullPointArg(m, second, x, y)) return Num(-3);
  return Value::Bool(opaqueAt(*p, x - fx, y - fy, threshold));
}

// generateFilterRect(sourceRect, filter): the rectangle the filter's result covers.
Value GenerateFilterRect(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p) return kInvalid;
  MachineInterface& m = call.machine;
  IntRect r;
  FilterParams params;
  if (!RectArg(m, call.Arg(0), r)) return Value();
  if (!FilterParamsOf(m, call.Arg(1), params)) return Value::Obj(MakeRectangle(m, r.x, r.y, r.width, r.height));
  const QMargins margins = FilterMargins({params}, 1.0);
  return Value::Obj(MakeRectangle(m, r.x - margins.left(), r.y - margins.top(),
                                  r.width + margins.left() + margins.right(), r.height + margins.top() + margins.bottom()));
}

// applyFilter(source, sourceRect, destPoint, filter)
Value ApplyFilter(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target) return kInvalid;
  MachineInterface& m = call.machine;
  BitmapPixels* source = PixelsOf(call.Arg(0));
  IntRect rect;
  int dx = 0, dy = 0;
  FilterParams params;
  if (!source || source->Disposed() || !RectArg(m, call.Arg(1), rect) || !PointArg(m, call.Arg(2), dx, dy) ||
      !FilterParamsOf(m, call.Arg(3), params))
    return kInvalid;
  const QRect area = QRect(rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0)).intersected(QRect(0, 0, source->Width(), source->Height()));
  if (area.isEmpty()) return Value();
  QImage layer = source->Image().copy(area);
  ApplyFilters(layer, {params}, 1.0);
  for (int y = 0; y < layer.height(); ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y));
    for (int x = 0; x < layer.width(); ++x) {
      const int tx = dx + x, ty = dy + y;
      if (!target->Contains(tx, ty)) continue;
      target->SetRaw(tx, ty, target->Transparent() ? line[x] : target->Store(UnmultiplyArgb(line[x])));
    }
  }
  target->Changed();
  return Value();
}

// draw(source[, matrix, colorTransform, blendMode, clipRect, smoothing]): renders a
// display object (its content, without its own placement) or another bitmap.
Value Draw(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target) return kInvalid;
  MachineInterface& m = call.machine;
  const Value source = call.Arg(0);
  Object* object = source.AsObject();
  if (!object) return Value();
  QTransform matrix;
  if (Object* mo = call.Arg(1).AsObject()) {
    matrix = QTransform(m.ToNumber(m.Get(mo, "a")), m.ToNumber(m.Get(mo, "b")), m.ToNumber(m.Get(mo, "c")),
                        m.ToNumber(m.Get(mo, "d")), m.ToNumber(m.Get(mo, "tx")), m.ToNumber(m.Get(mo, "ty")));
  }
  ColorTransform color;
  ColorTransformOf(call.Arg(2), color);
  std::uint8_t blendMode = 1;
  const Value mode = call.Arg(3);
  if (mode.IsString()) {
    blendMode = BlendModeByName(mode.Text());
  } else if (mode.IsNumber()) {
    blendMode = static_cast<std::uint8_t>(std::clamp(IntOf(m, mode), 0, 14));
  }
  QRect clip(0, 0, target->Width(), target->Height());
  IntRect r;
  if (RectArg(m, call.Arg(4), r)) clip = clip.intersected(QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)));
  if (clip.isEmpty()) return Value();
  const bool smoothing = call.Count() > 5 && m.ToBoolean(call.Arg(5));

  QImage layer(target->Width(), target->Height(), QImage::Format_ARGB32_Premultiplied);
  layer.fill(0);
  bool drawn = false;
  if (BitmapPixels* bitmap = PixelsOf(source)) {
    if (bitmap->Disposed()) return Value();
    QPainter painter(&layer);
    RenderContext context;
    context.painter = &painter;
    context.transform = QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix;
    context.colorTransform = color;
    Bitmap::DrawImage(bitmap->Image(), context, smoothing);
    drawn = true;
  } else if (DisplayObject* display = m.AsDisplay(object)) {
    QPainter painter(&layer);
    RenderDisplayObject(painter, *display, QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix, color, Quality::High);
    drawn = true;
  }
  if (!drawn) return Value();
  // The drawing lands on the bitmap through the blend mode, inside the clip.
  QImage& pixels = target->MutableImage();
  for (int y = clip.top(); y <= clip.bottom(); ++y) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y));
    auto* dst = reinterpret_cast<std::uint32_t*>(pixels.scanLine(y));
    for (int x = clip.left(); x <= clip.right(); ++x) {
      if (src[x] == 0) continue;
      std::uint32_t out = BlendPixel(blendMode, src[x], dst[x]);
      if (!target->Transparent()) out = target->Store(UnmultiplyArgb(out));
      dst[x] = out;
    }
  }
  target->Changed();
  return Value();
}

// BitmapData.loadBitmap(linkageId): a bitmap of the movie's library.
Value LoadBitmap(Call& call) {
  MachineInterface& m = call.machine;
  if (!m.HasPlayer() || call.Count() < 1) return Value();
  const std::string name = m.ToString(call.Arg(0));
  DisplayObject* timeline = m.AsDisplay(m.Target());
  const LoadedMovie* movie = timeline ? timeline->Movie() : nullptr;
  if (!movie || !movie->movie) return Value();
  for (const auto& [exportName, id] : movie->movie->exports) {
    if (!SameName(exportName, name, false)) continue;
    const auto character = movie->movie->dictionary.Find(id);
    if (!character || character->Kind() != CharacterKind::Bitmap) return Value();
    const auto* bitmap = dynamic_cast<const Bitmap*>(character.get());
    if (!bitmap || bitmap->image.isNull()) return Value();
    const bool transparent = bitmap->image.hasAlphaChannel();
    return Value::Obj(MakeBitmapDataObject(m, std::make_shared<BitmapPixels>(bitmap->image, transparent)));
  }
  return Value();
}

// MovieClip.attachBitmap(bitmap, depth[, pixelSnapping, smoothing])
Value AttachBitmap(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display || display->Kind() != DisplayKind::MovieClip || call.Count() < 2) return Value();
  auto* clip = static_cast<MovieClip*>(display);
  Object* object = call.Arg(0).AsObject();
  BitmapDataData* data = object ? object->Data<BitmapDataData>() : nullptr;
  if (!data || !data->pixels) return Value();
  MovieRuntime& player = clip->GetPlayer();
  if (!player.CountCreation()) return Value();
  const bool smoothing = call.Count() > 3 && m.ToBoolean(call.Arg(3));
  DisplayObject* child = player.Create(clip->Movie(), std::make_shared<BitmapDataCharacter>(data->pixels, smoothing), 0);
  if (!child) return Value();
  child->name = "instance" + std::to_string(player.NextInstanceNumber());
  child->placedByScript = true;
  clip->AddChild(child, IntOf(m, call.Arg(1)));
  return Value();
}

}  // namespace

std::shared_ptr<BitmapPixels> BitmapPixelsOf(const Value& value) {
  Object* object = value.AsObject();
  BitmapDataData* data = object ? object->Data<BitmapDataData>() : nullptr;
  return data ? data->pixels : nullptr;
}

Object* MakeBitmapDataObject(MachineInterface& machine, std::shared_ptr<BitmapPixels> pixels) {
  Object* object = data::NewInstance(machine, kBitmapData);
  auto native = std::make_unique<BitmapDataData>();
  native->pixels = std::move(pixels);
  object->kind = NativeKind::Other;
  object->native = std::move(native);
  return object;
}

void InstallBitmapData(Runtime& rt) {
  Object* display = data::Package(rt, "flash.display");
  Object* bitmapData = rt.MakeClass(Construct, Construct);
  data::RegisterClass(rt, display, kBitmapData, bitmapData);
  static const Member members[] = {
      {"width", Width, nullptr, kGetterOnly},
      {"height", Height, nullptr, kGetterOnly},
      {"rectangle", Rectangle, nullptr, kGetterOnly},
      {"transparent", Transparent, nullptr, kGetterOnly},
      {"getPixel", GetPixel},
      {"setPixel", SetPixel},
      {"getPixel32", GetPixel32},
      {"setPixel32", SetPixel32},
      {"fillRect", FillRect},
      {"floodFill", FloodFill},
      {"copyPixels", CopyPixels},
      {"copyChannel", CopyChannel},
      {"applyFilter", ApplyFilter},
      {"generateFilterRect", GenerateFilterRect},
      {"colorTransform", ColorTransformMethod},
      {"compare", Compare},
      {"threshold", Threshold},
      {"merge", Merge},
      {"paletteMap", PaletteMap},
      {"noise", Noise},
      {"perlinNoise", PerlinNoise},
      {"pixelDissolve", PixelDissolve},
      {"scroll", Scroll},
      {"getColorBoundsRect", GetColorBoundsRect},
      {"hitTest", HitTest},
      {"draw", Draw},
      {"clone", Clone},
      {"dispose", Dispose},
  };
  rt.AddMembers(data::PrototypeOf(bitmapData), members);
  static const Member statics[] = {
      {"loadBitmap", LoadBitmap},
  };
  rt.AddMembers(bitmapData, statics);
  // The channel numbers, plain properties of the class.
  bitmapData->Define("RED_CHANNEL", Num(1), 0);
  bitmapData->Define("GREEN_CHANNEL", Num(2), 0);
  bitmapData->Define("BLUE_CHANNEL", Num(4), 0);
  bitmapData->Define("ALPHA_CHANNEL", Num(8), 0);
  static const Member clipMembers[] = {
      {"attachBitmap", AttachBitmap, nullptr, kDontEnum | kVersion8},
  };
  rt.AddMembers(rt.movieClipProto, clipMembers);
}

}  // namespace vantrel::flash::avm1
