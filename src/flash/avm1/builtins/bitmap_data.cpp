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
#include "flash/render/bitmap_ops.h"
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

PixelArea Area(const IntRect& r) { return {r.x, r.y, r.width, r.height}; }

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
// writes the area's first pixel and numPixels more along the dissolve order from the
// seed (the fill colour when source is this bitmap, the source's pixels otherwise), and
// gives the position to continue from.
Value PixelDissolve(Call& call) {
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
  const std::int32_t seed = IntOf(m, call.Arg(3));
  // A negative count wraps to a huge one: every pixel, and the register runs on.
  const std::int64_t numPixels = static_cast<std::uint32_t>(IntOf(m, call.Arg(4)));
  const std::uint32_t fill = ToUint32(m.ToNumber(call.Arg(5)));
  return Int(DissolveInto(*target, *source, Area(rect), dx, dy, seed, numPixels, fill));
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
  CopyPixelsInto(*target, *source, Area(rect), dx, dy, alpha, ax, ay, merge);
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
  // The player answers -1 whether or not it copied; an unknown source channel copies 0.
  CopyChannelInto(*target, *source, Area(rect), dx, dy, IntOf(m, call.Arg(3)), IntOf(m, call.Arg(4)));
  return kInvalid;
}

Value ColorTransformMethod(Call& call) {
  BitmapPixels* p = Live(call);
  if (!p || call.Count() < 2) return kInvalid;
  MachineInterface& m = call.machine;
  IntRect r;
  ColorTransform ct;
  if (!FullRectArg(m, call.Arg(0), r)) return Num(-2);
  if (!ColorTransformOf(call.Arg(1), ct)) return Num(-3);
  TransformArea(*p, Area(r), ct);
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
  std::shared_ptr<BitmapPixels> diff = ComparePixels(*p, *other);
  if (!diff) return Num(0);
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
  return Int(ThresholdInto(*target, *source, Area(rect), dx, dy, operation, threshold, color, mask, copySource));
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
  // Without an alpha multiplier the source's alpha replaces the target's.
  const int alphaMultiplier = call.Count() > 6 ? IntOf(m, call.Arg(6)) : 256;
  MergeInto(*target, *source, Area(rect), dx, dy,
            {IntOf(m, call.Arg(3)), IntOf(m, call.Arg(4)), IntOf(m, call.Arg(5)), alphaMultiplier});
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
  PaletteTables tables = IdentityPalette();
  for (int t = 0; t < 4; ++t) {
    Object* array = call.Arg(3 + t).AsObject();
    if (!array || !array->IsArray()) continue;
    const auto& elements = array->Array()->elements;
    for (std::uint32_t i = 0; i < 256; ++i) tables[t][i] = i < elements.size() ? ToUint32(m.ToNumber(elements[i])) : 0;
  }
  PaletteMapInto(*target, *source, Area(rect), dx, dy, tables);
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
  const QRect r = ColorBounds(*p, mask, color, find);
  return Value::Obj(MakeRectangle(m, r.x(), r.y(), r.width(), r.height()));
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
  if (BitmapPixels* other = PixelsOf(second)) {
    if (other->Disposed()) return Num(-3);
    int sx = 0, sy = 0;
    if (call.Count() > 3 && !FullPointArg(m, call.Arg(3), sx, sy)) return Num(-4);
    const auto secondThreshold =
        static_cast<std::uint32_t>(call.Count() > 4 ? std::clamp(IntOf(m, call.Arg(4)), 0, 255) : 1);
    return Value::Bool(HitBitmaps(*p, fx, fy, threshold, *other, sx, sy, secondThreshold));
  }
  Object* object = second.AsObject();
  if (!object) return Num(-3);
  if (m.Has(object, "width") && m.Has(object, "height")) {
    IntRect r;
    RectArg(m, second, r);
    // Inside a rectangle, a threshold of 0 counts transparent pixels too.
    return Value::Bool(HitArea(*p, fx, fy, threshold, Area(r)));
  }
  int x = 0, y = 0;
  if (!FullPointArg(m, second, x, y)) return Num(-3);
  return Value::Bool(HitPoint(*p, fx, fy, threshold, x, y));
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
  const PixelArea covered = FilterRect(PixelArea{r.x, r.y, r.width, r.height}, params);
  return Value::Obj(MakeRectangle(m, covered.x, covered.y, covered.width, covered.height));
}

// applyFilter(source, sourceRect, destPoint, filter)
Value ApplyFilter(Call& call) {
  BitmapPixels* target = Live(call);
  if (!target) return kInvalid;
  MachineInterface& m = call.machine;
  BitmapPixels* source = PixelsOf(call.Arg(0));
  IntRect rect;
  int dx = 0, dy = 0;
  if (!source || source->Disposed() || !RectArg(m, call.Arg(1), rect) || !PointArg(m, call.Arg(2), dx, dy))
    return kInvalid;
  const PixelArea area{rect.x, rect.y, rect.width, rect.height};
  FilterParams params;
  Displacement displacement;
  if (FilterParamsOf(m, call.Arg(3), params)) {
    ApplyFilterInto(*target, *source, area, dx, dy, params);
  } else if (DisplacementOf(call.Arg(3), displacement)) {
    DisplaceInto(*target, *source, area, dx, dy, displacement);
  } else {
    return kInvalid;
  }
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

  const Quality quality = m.HasPlayer() ? DrawQuality(m.GetPlayer().Quality()) : Quality::High;
  QImage layer(target->Width(), target->Height(), QImage::Format_ARGB32_Premultiplied);
  layer.fill(0);
  bool drawn = false;
  if (BitmapPixels* bitmap = PixelsOf(source)) {
    if (bitmap->Disposed() || !BitmapDrawShows(blendMode)) return Value();
    QPainter painter(&layer);
    RenderContext context;
    context.painter = &painter;
    context.quality = quality;
    context.transform = QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix;
    context.colorTransform = color;
    Bitmap::DrawImage(bitmap->Image(), context, smoothing);
    drawn = true;
  } else if (DisplayObject* display = m.AsDisplay(object)) {
    QPainter painter(&layer);
    RenderDisplayObject(painter, *display, QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix, color, quality);
    drawn = true;
  }
  if (!drawn) return Value();
  // The drawing lands on the bitmap through the blend mode, inside the clip.
  DrawLayerInto(*target, layer, clip, blendMode);
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
