// flash.display.BitmapData: a bitmap of 1 to 8191 pixels a side (16,777,215 at most),
// opaque or transparent, with the pixel operations both script machines share
// (render/bitmap_ops.h); and flash.display.Bitmap, the display object that shows one.
// A class linked to a library bitmap starts with the library's pixels.
#include "flash/avm2/builtins/bitmap_data.h"

#include <QPainter>
#include <cmath>

#include "flash/avm2/builtins/filters.h"
#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/render/bitmap_ops.h"
#include "flash/render/effects.h"
#include "flash/render/renderer.h"

namespace vantrel::flash::avm2 {

namespace {

// The library bitmap a class (or a base of it) is linked to; null when there is none.
std::shared_ptr<const flash::Bitmap> LinkedBitmap(Machine& m, ClassObject* cls) {
  const void* movie = nullptr;
  std::uint16_t id = 0;
  if (FindLinkedSymbol(m, cls, movie, id))
    return std::dynamic_pointer_cast<const flash::Bitmap>(static_cast<const LoadedMovie*>(movie)->Find(id));
  return nullptr;
}

Object* Allocate(Machine& m, ClassObject* cls) {
  auto* o = m.heap.Make<BitmapDataObject>(ObjectKind::Other, nullptr, nullptr);
  if (const auto bitmap = LinkedBitmap(m, cls); bitmap && !bitmap->image.isNull())
    o->pixels = std::make_shared<BitmapPixels>(bitmap->image, bitmap->image.hasAlphaChannel());
  return o;
}

BitmapDataObject* Object(Machine& m, const Value& self) {
  auto* o = self.IsObject() ? dynamic_cast<BitmapDataObject*>(self.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.display.BitmapData.");
  return o;
}

[[noreturn]] void InvalidBitmap(Machine& m) { m.ThrowError("ArgumentError", 2015, "Invalid BitmapData."); }

BitmapPixels& This(Machine& m, const Value& self) {
  BitmapDataObject* o = Object(m, self);
  if (!o->pixels || o->pixels->Disposed()) InvalidBitmap(m);
  return *o->pixels;
}

// An argument that must not be null.
const Value& NonNull(Machine& m, const Value* args, int argc, int index, const char* name) {
  static const Value kUndefined;
  const Value& v = index < argc ? args[index] : kUndefined;
  if (v.IsNullish()) m.ThrowTypeError(2007, std::string("Parameter ") + name + " must be non-null.");
  return v;
}

// A BitmapData argument (live).
BitmapPixels& BitmapArg(Machine& m, const Value* args, int argc, int index, const char* name) {
  const Value& v = NonNull(m, args, argc, index, name);
  auto* o = v.IsObject() ? dynamic_cast<BitmapDataObject*>(v.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.BitmapData.");
  if (!o->pixels || o->pixels->Disposed()) InvalidBitmap(m);
  return *o->pixels;
}

// A rectangle argument in whole pixels: the player snaps its edges to the nearest pixel
// (halves to the even one).
PixelArea RectArg(Machine& m, const Value& rect) {
  const double x = m.ToNumber(m.GetPublic(rect, "x")), y = m.ToNumber(m.GetPublic(rect, "y"));
  const double w = m.ToNumber(m.GetPublic(rect, "width")), h = m.ToNumber(m.GetPublic(rect, "height"));
  const auto edge = [](double v) { return std::isfinite(v) ? static_cast<int>(std::clamp(std::nearbyint(v), -1e9, 1e9)) : 0; };
  const int left = edge(x), top = edge(y);
  return {left, top, edge(x + w) - left, edge(y + h) - top};
}
PixelArea RectArg(Machine& m, const Value* args, int argc, int index, const char* name) {
  return RectArg(m, NonNull(m, args, argc, index, name));
}
void PointArg(Machine& m, const Value& point, int& x, int& y) {
  x = m.ToInt32(m.GetPublic(point, "x"));
  y = m.ToInt32(m.GetPublic(point, "y"));
}


Value MakeBitmapData(Machine& m, std::shared_ptr<BitmapPixels> pixels) {
  ClassObject* cls = m.FindClass("flash.display.BitmapData");
  auto* o = static_cast<BitmapDataObject*>(Allocate(m, cls));
  o->cls = cls;
  o->traits = cls->instanceTraits.get();
  o->proto = cls->prototype;
  m.InitSlots(o, *cls->instanceTraits);
  o->pixels = std::move(pixels);
  return Value::Obj(o);
}

// ---- construction and properties ----

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* o = static_cast<BitmapDataObject*>(self.object);
  if (o->pixels) return self;  // a linked class keeps its library bitmap
  const double w = NumArg(m, args, argc, 0, 0);
  const double h = NumArg(m, args, argc, 1, 0);
  const bool transparent = argc > 2 ? m.ToBoolean(args[2]) : true;
  const std::uint32_t fill = argc > 3 ? m.ToUint32(args[3]) : 0xFFFFFFFFu;
  const std::int32_t width = script::ToInt32(w);
  const std::int32_t height = script::ToInt32(h);
  if (width <= 0 || height <= 0 || width > 8191 || height > 8191 ||
      static_cast<std::int64_t>(width) * height > 16777215) {
    InvalidBitmap(m);
  }
  o->pixels = std::make_shared<BitmapPixels>(width, height, transparent, fill);
  return self;
}

Value Width(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self).Width()); }
Value Height(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self).Height()); }
Value Transparent(Machine& m, const Value& self, const Value*, int) { return Value::Bool(This(m, self).Transparent()); }
Value Rect(Machine& m, const Value& self, const Value*, int) {
  BitmapPixels& p = This(m, self);
  return NewRectangle(m, 0, 0, p.Width(), p.Height());
}

// ---- pixels ----

Value GetPixel(Machine& m, const Value& self, const Value* args, int argc) {
  const std::uint32_t argb = This(m, self).GetPixel32(m.ToInt32(Arg(args, argc, 0)), m.ToInt32(Arg(args, argc, 1)));
  return Value::Number(argb & 0xFFFFFF);
}
Value GetPixel32(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Number(This(m, self).GetPixel32(m.ToInt32(Arg(args, argc, 0)), m.ToInt32(Arg(args, argc, 1))));
}
Value SetPixel(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const int x = m.ToInt32(Arg(args, argc, 0));
  const int y = m.ToInt32(Arg(args, argc, 1));
  const std::uint32_t alpha = p.GetPixel32(x, y) & 0xFF000000u;
  p.SetPixel32(x, y, alpha | (m.ToUint32(Arg(args, argc, 2)) & 0xFFFFFF));
  p.Changed();
  return Value();
}
Value SetPixel32(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  p.SetPixel32(m.ToInt32(Arg(args, argc, 0)), m.ToInt32(Arg(args, argc, 1)), m.ToUint32(Arg(args, argc, 2)));
  p.Changed();
  return Value();
}
Value Dispose(Machine& m, const Value& self, const Value*, int) {
  BitmapDataObject* o = Object(m, self);
  if (o->pixels) o->pixels->Dispose();
  return Value();
}
Value Clone(Machine& m, const Value& self, const Value*, int) {
  return MakeBitmapData(m, std::make_shared<BitmapPixels>(This(m, self)));
}
// lock and unlock only delay the redrawing of the bitmaps that show the pixels.
Value Lock(Machine& m, const Value& self, const Value*, int) {
  This(m, self);
  return Value();
}

Value FillRect(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  PixelArea r = RectArg(m, args, argc, 0, "rect");
  // A negative width or height reaches back from x or y.
  if (r.width < 0) r = {r.x + r.width, r.y, -r.width, r.height};
  if (r.height < 0) r = {r.x, r.y + r.height, r.width, -r.height};
  p.FillRect(r.x, r.y, r.width, r.height, m.ToUint32(Arg(args, argc, 1)));
  return Value();
}
Value FloodFill(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self).FloodFill(m.ToInt32(Arg(args, argc, 0)), m.ToInt32(Arg(args, argc, 1)), m.ToUint32(Arg(args, argc, 2)));
  return Value();
}
Value Scroll(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self).Scroll(m.ToInt32(Arg(args, argc, 0)), m.ToInt32(Arg(args, argc, 1)));
  return Value();
}

// noise(randomSeed, low = 0, high = 255, channelOptions = 7, grayScale = false)
Value Noise(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const int low = argc > 1 ? static_cast<int>(m.ToUint32(args[1]) & 255) : 0;
  const int high = argc > 2 ? static_cast<int>(m.ToUint32(args[2]) & 255) : 255;
  const int channels = argc > 3 ? static_cast<int>(m.ToUint32(args[3])) : 7;
  p.Noise(m.ToInt32(Arg(args, argc, 0)), low, high, channels, argc > 4 && m.ToBoolean(args[4]));
  return Value();
}

// perlinNoise(baseX, baseY, numOctaves, randomSeed, stitch, fractalNoise,
// channelOptions = 7, grayScale = false, offsets = null)
Value PerlinNoise(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  std::vector<double> offsets;
  const Value list = Arg(args, argc, 8);
  if (list.IsObject()) {
    const int length = m.ToInt32(m.GetPublic(list, "length"));
    for (int i = 0; i < length; ++i) {
      const Value point = m.GetPublic(list, std::to_string(i));
      offsets.push_back(m.ToNumber(m.GetPublic(point, "x")));
      offsets.push_back(m.ToNumber(m.GetPublic(point, "y")));
    }
  }
  p.PerlinNoise(NumArg(m, args, argc, 0, 0), NumArg(m, args, argc, 1, 0), m.ToInt32(Arg(args, argc, 2)),
                m.ToInt32(Arg(args, argc, 3)), m.ToBoolean(Arg(args, argc, 4)), m.ToBoolean(Arg(args, argc, 5)),
                argc > 6 ? static_cast<int>(m.ToUint32(args[6])) : 7, argc > 7 && m.ToBoolean(args[7]), offsets);
  return Value();
}

// The first three arguments of the operations that read another bitmap:
// (sourceBitmapData, sourceRect, destPoint), read in that order.
struct CopyArgs {
  BitmapPixels& source;
  PixelArea rect;
  int dx = 0, dy = 0;
};
CopyArgs ReadCopyArgs(Machine& m, const Value* args, int argc) {
  BitmapPixels& source = BitmapArg(m, args, argc, 0, "sourceBitmapData");
  const PixelArea rect = RectArg(m, args, argc, 1, "sourceRect");
  int dx = 0, dy = 0;
  PointArg(m, NonNull(m, args, argc, 2, "destPoint"), dx, dy);
  return {source, rect, dx, dy};
}

// copyPixels(sourceBitmapData, sourceRect, destPoint, alphaBitmapData = null,
// alphaPoint = null, mergeAlpha = false)
Value CopyPixels(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  const BitmapPixels* alpha = BitmapPixelsOf(Arg(args, argc, 3));
  int ax = 0, ay = 0;
  if (alpha && !Arg(args, argc, 4).IsNullish()) PointArg(m, args[4], ax, ay);
  CopyPixelsInto(target, copy.source, copy.rect, copy.dx, copy.dy, alpha, ax, ay, m.ToBoolean(Arg(args, argc, 5)));
  return Value();
}

// applyFilter(sourceBitmapData, sourceRect, destPoint, filter)
Value ApplyFilter(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  const Value& filter = NonNull(m, args, argc, 3, "filter");
  FilterParams params;
  Displacement displacement;
  if (FilterParamsOf(filter, params)) {
    ApplyFilterInto(target, copy.source, copy.rect, copy.dx, copy.dy, params);
  } else if (DisplacementOf(filter, displacement)) {
    DisplaceInto(target, copy.source, copy.rect, copy.dx, copy.dy, displacement);
  }
  return Value();
}

// generateFilterRect(sourceRect, filter): the rectangle the filter's result covers.
Value GenerateFilterRect(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self);
  const PixelArea rect = RectArg(m, args, argc, 0, "sourceRect");
  FilterParams params;
  const PixelArea covered = FilterParamsOf(NonNull(m, args, argc, 1, "filter"), params) ? FilterRect(rect, params) : rect;
  return NewRectangle(m, covered.x, covered.y, covered.width, covered.height);
}

// copyChannel(sourceBitmapData, sourceRect, destPoint, sourceChannel, destChannel)
Value CopyChannel(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  CopyChannelInto(target, copy.source, copy.rect, copy.dx, copy.dy, static_cast<int>(m.ToUint32(Arg(args, argc, 3))),
                  static_cast<int>(m.ToUint32(Arg(args, argc, 4))));
  return Value();
}

Value ColorTransformMethod(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea rect = RectArg(m, args, argc, 0, "rect");
  TransformArea(p, rect, ColorTransformOf(m, NonNull(m, args, argc, 1, "colorTransform")));
  return Value();
}

// compare(otherBitmapData): 0 for the same pixels, -3 and -4 for other widths and
// heights, the bitmap of the differences otherwise.
Value Compare(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  BitmapPixels& other = BitmapArg(m, args, argc, 0, "otherBitmapData");
  if (&p == &other) return Value::Number(0);
  if (p.Width() != other.Width()) return Value::Number(-3);
  if (p.Height() != other.Height()) return Value::Number(-4);
  std::shared_ptr<BitmapPixels> diff = ComparePixels(p, other);
  return diff ? MakeBitmapData(m, diff) : Value::Number(0);
}

// threshold(sourceBitmapData, sourceRect, destPoint, operation, threshold, color = 0,
// mask = 0xFFFFFFFF, copySource = false)
Value Threshold(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  const std::string operation = m.ToString(NonNull(m, args, argc, 3, "operation"));
  if (!IsThresholdOperation(operation)) m.ThrowError("ArgumentError", 2005, "Parameter 3 is of the incorrect type. Should be type Operation.");
  const std::uint32_t mask = argc > 6 ? m.ToUint32(args[6]) : 0xFFFFFFFFu;
  return Value::Number(ThresholdInto(target, copy.source, copy.rect, copy.dx, copy.dy, operation, m.ToUint32(Arg(args, argc, 4)),
                                     m.ToUint32(Arg(args, argc, 5)), mask, m.ToBoolean(Arg(args, argc, 7))));
}

// merge(sourceBitmapData, sourceRect, destPoint, redMultiplier, greenMultiplier,
// blueMultiplier, alphaMultiplier)
Value Merge(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  MergeInto(target, copy.source, copy.rect, copy.dx, copy.dy,
            {m.ToUint32(Arg(args, argc, 3)), m.ToUint32(Arg(args, argc, 4)), m.ToUint32(Arg(args, argc, 5)),
             m.ToUint32(Arg(args, argc, 6))});
  return Value();
}

// paletteMap(sourceBitmapData, sourceRect, destPoint, redArray = null, greenArray = null,
// blueArray = null, alphaArray = null)
Value PaletteMap(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  PaletteTables tables = IdentityPalette();
  for (int t = 0; t < 4; ++t) {
    const Value array = Arg(args, argc, 3 + t);
    if (!array.IsObject()) continue;
    const auto length = static_cast<std::uint32_t>(std::max(0, m.ToInt32(m.GetPublic(array, "length"))));
    for (std::uint32_t i = 0; i < 256; ++i) tables[t][i] = i < length ? m.ToUint32(m.GetPublic(array, std::to_string(i))) : 0;
  }
  PaletteMapInto(target, copy.source, copy.rect, copy.dx, copy.dy, tables);
  return Value();
}

Value GetColorBoundsRect(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const bool find = argc > 2 ? m.ToBoolean(args[2]) : true;
  const QRect r = ColorBounds(p, m.ToUint32(Arg(args, argc, 0)), m.ToUint32(Arg(args, argc, 1)), find);
  return NewRectangle(m, r.x(), r.y(), r.width(), r.height());
}

// pixelDissolve(sourceBitmapData, sourceRect, destPoint, randomSeed = 0, numPixels = 0,
// fillColor = 0): the position to continue from.
Value PixelDissolve(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const CopyArgs copy = ReadCopyArgs(m, args, argc);
  const std::int32_t numPixels = m.ToInt32(Arg(args, argc, 4));
  if (numPixels < 0) m.ThrowError("RangeError", 2027, "Parameter numPixels must be a non-negative number; got " + std::to_string(numPixels) + ".");
  return Value::Number(DissolveInto(target, copy.source, copy.rect, copy.dx, copy.dy, m.ToInt32(Arg(args, argc, 3)), numPixels,
                                    m.ToUint32(Arg(args, argc, 5))));
}

bool IsInstanceOf(Machine& m, const Value& v, const char* className) {
  ClassObject* c = m.FindClass(className);
  return c && v.IsObject() && m.IsInstance(v, c);
}

// The pixels a Bitmap display object shows (null for none).
std::shared_ptr<BitmapPixels> ShownPixels(Machine& m, const Value& bitmap);

// hitTest(firstPoint, firstAlphaThreshold, secondObject, secondBitmapDataPoint = null,
// secondAlphaThreshold = 1): against a point, a rectangle, a BitmapData or a Bitmap.
Value HitTest(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  int fx = 0, fy = 0;
  PointArg(m, NonNull(m, args, argc, 0, "firstPoint"), fx, fy);
  const auto threshold = m.ToUint32(Arg(args, argc, 1)) & 255;
  const Value second = Arg(args, argc, 2);
  std::shared_ptr<BitmapPixels> shown;
  BitmapPixels* other = BitmapPixelsOf(second);
  if (!other && IsInstanceOf(m, second, "flash.display.Bitmap")) {
    shown = ShownPixels(m, second);
    other = shown.get();
    if (!other || other->Disposed()) InvalidBitmap(m);
  }
  if (other) {
    int sx = 0, sy = 0;
    PointArg(m, NonNull(m, args, argc, 3, "secondBitmapDataPoint"), sx, sy);
    const std::uint32_t secondThreshold = argc > 4 ? m.ToUint32(args[4]) & 255 : 1;
    return Value::Bool(HitBitmaps(p, fx, fy, threshold, *other, sx, sy, secondThreshold));
  }
  if (IsInstanceOf(m, second, "flash.geom.Rectangle")) return Value::Bool(HitArea(p, fx, fy, threshold, RectArg(m, second)));
  if (IsInstanceOf(m, second, "flash.geom.Point")) {
    int x = 0, y = 0;
    PointArg(m, second, x, y);
    return Value::Bool(HitPoint(p, fx, fy, threshold, x, y));
  }
  m.ThrowError("ArgumentError", 2005, "Parameter 2 is of the incorrect type. Should be type BitmapData.");
}

// draw(source, matrix = null, colorTransform = null, blendMode = null, clipRect = null,
// smoothing = false): a display object (its content, without its own placement) or
// another bitmap, drawn into the pixels.
Value Draw(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& target = This(m, self);
  const Value& source = NonNull(m, args, argc, 0, "source");
  QTransform matrix;
  if (const Value mv = Arg(args, argc, 1); !mv.IsNullish()) {
    const GeomMatrix g = MatrixOf(m, mv);
    matrix = QTransform(g.a, g.b, g.c, g.d, g.tx, g.ty);
  }
  ColorTransform color;
  if (const Value cv = Arg(args, argc, 2); !cv.IsNullish()) color = ColorTransformOf(m, cv);
  std::uint8_t blendMode = 1;
  if (const Value bv = Arg(args, argc, 3); !bv.IsNullish()) {
    blendMode = BlendModeByName(m.ToString(bv));
    if (blendMode == 0) blendMode = 1;
  }
  QRect clip(0, 0, target.Width(), target.Height());
  if (const Value rv = Arg(args, argc, 4); !rv.IsNullish()) {
    const PixelArea r = RectArg(m, rv);
    clip = clip.intersected(QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)));
  }
  const bool smoothing = m.ToBoolean(Arg(args, argc, 5));
  // drawWithQuality names its quality; draw takes the stage's.
  const std::string quality = NativeTag(m) == 1 && argc > 6 && !args[6].IsNullish() ? m.ToString(args[6])
                              : m.player                                         ? m.player->Quality()
                                                                                 : "HIGH";
  QImage layer(target.Width(), target.Height(), QImage::Format_ARGB32_Premultiplied);
  layer.fill(0);
  if (BitmapPixels* bitmap = BitmapPixelsOf(source)) {
    if (!BitmapDrawShows(blendMode)) return Value();
    QPainter painter(&layer);
    RenderContext context;
    context.painter = &painter;
    context.quality = DrawQuality(quality);
    context.transform = QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix;
    context.colorTransform = color;
    flash::Bitmap::DrawImage(bitmap->Image(), context, smoothing);
  } else if (source.IsObject() && source.object->kind == ObjectKind::Display && static_cast<NativeObject*>(source.object)->display) {
    QPainter painter(&layer);
    RenderDisplayObject(painter, *static_cast<NativeObject*>(source.object)->display,
                        QTransform::fromScale(1 / 20.0, 1 / 20.0) * matrix, color, DrawQuality(quality));
  } else if (BitmapDataObject* o = source.IsObject() ? dynamic_cast<BitmapDataObject*>(source.object) : nullptr) {
    (void)o;
    InvalidBitmap(m);
  } else {
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(source) + " to flash.display.IBitmapDrawable.");
  }
  if (clip.isEmpty()) return Value();
  DrawLayerInto(target, layer, clip, blendMode);
  return Value();
}

// ---- pixels as bytes and vectors (big-endian ARGB, row by row) ----

std::vector<std::uint32_t> ReadArea(BitmapPixels& p, const PixelArea& r) {
  std::vector<std::uint32_t> out;
  const QRect area = QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)).intersected(QRect(0, 0, p.Width(), p.Height()));
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) out.push_back(p.GetPixel32(x, y));
  return out;
}

NativeObject* ByteArrayArg(Machine& m, const Value& v, const char* name) {
  if (v.IsNullish()) m.ThrowTypeError(2007, std::string("Parameter ") + name + " must be non-null.");
  if (!v.IsObject() || v.object->kind != ObjectKind::ByteArray)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.utils.ByteArray.");
  return static_cast<NativeObject*>(v.object);
}

// Writes the pixels at the byte array's position, moving it past them.
void AppendPixels(NativeObject* bytes, const std::vector<std::uint32_t>& pixels) {
  std::size_t at = static_cast<std::size_t>(bytes->a.IsNumber() ? bytes->a.number : 0);
  if (bytes->text.size() < at + pixels.size() * 4) bytes->text.resize(at + pixels.size() * 4, '\0');
  for (std::uint32_t argb : pixels) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes->text[at++] = static_cast<char>((argb >> shift) & 255);
  }
  bytes->a = Value::Number(static_cast<double>(at));
}

Value GetPixels(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = RectArg(m, args, argc, 0, "rect");
  Value bytes = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
  AppendPixels(static_cast<NativeObject*>(bytes.object), ReadArea(p, r));  // its position left at the end
  return bytes;
}
Value CopyPixelsToByteArray(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = RectArg(m, args, argc, 0, "rect");
  AppendPixels(ByteArrayArg(m, Arg(args, argc, 1), "data"), ReadArea(p, r));
  return Value();
}

// setPixels(rect, inputByteArray): row by row from the byte array's position; running
// out of bytes is an EOFError after the pixels read so far are written.
Value SetPixels(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = RectArg(m, args, argc, 0, "rect");
  NativeObject* bytes = ByteArrayArg(m, Arg(args, argc, 1), "inputByteArray");
  std::size_t at = static_cast<std::size_t>(bytes->a.IsNumber() ? bytes->a.number : 0);
  const QRect area = QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)).intersected(QRect(0, 0, p.Width(), p.Height()));
  bool ended = false;
  for (int y = area.top(); y <= area.bottom() && !ended; ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (at + 4 > bytes->text.size()) {
        ended = true;
        break;
      }
      std::uint32_t argb = 0;
      for (int i = 0; i < 4; ++i) argb = (argb << 8) | static_cast<unsigned char>(bytes->text[at++]);
      p.SetPixel32(x, y, argb);
    }
  }
  bytes->a = Value::Number(static_cast<double>(at));
  p.Changed();
  if (ended) m.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
  return Value();
}

Value GetVector(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = RectArg(m, args, argc, 0, "rect");
  auto* v = static_cast<NativeObject*>(m.ConstructClass(ApplyVector(m, m.FindClass("uint")), nullptr, 0));
  for (std::uint32_t argb : ReadArea(p, r)) v->list.push_back(Value::Number(argb));
  return Value::Obj(v);
}

// setVector(rect, inputVector): a vector too short for the area is a RangeError after
// the pixels it has are written.
Value SetVector(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = RectArg(m, args, argc, 0, "rect");
  const Value& input = NonNull(m, args, argc, 1, "inputVector");
  if (!input.IsObject() || input.object->kind != ObjectKind::Vector)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(input) + " to __AS3__.vec.Vector.<uint>.");
  const std::vector<Value> list = static_cast<NativeObject*>(input.object)->list;
  const QRect area = QRect(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0)).intersected(QRect(0, 0, p.Width(), p.Height()));
  std::size_t i = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (i >= list.size()) {
        p.Changed();
        m.ThrowError("RangeError", 1125, "The index " + std::to_string(i) + " is out of range " + std::to_string(list.size()) + ".");
      }
      p.SetPixel32(x, y, m.ToUint32(list[i++]));
    }
  }
  p.Changed();
  return Value();
}

// histogram(hRect = null): four vectors of 256 counts (red, green, blue, alpha).
Value HistogramMethod(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapPixels& p = This(m, self);
  const PixelArea r = Arg(args, argc, 0).IsNullish() ? PixelArea{0, 0, p.Width(), p.Height()} : RectArg(m, args[0]);
  const auto counts = Histogram(p, r);
  ClassObject* numbers = ApplyVector(m, m.FindClass("Number"));
  auto* outer = static_cast<NativeObject*>(m.ConstructClass(ApplyVector(m, numbers), nullptr, 0));
  for (const auto& channel : counts) {
    auto* v = static_cast<NativeObject*>(m.ConstructClass(numbers, nullptr, 0));
    for (double c : channel) v->list.push_back(Value::Number(c));
    outer->list.push_back(Value::Obj(v));
  }
  return Value::Obj(outer);
}

// ---- Bitmap ----
// The display object's character is a BitmapDataCharacter over the shown pixels; the
// script object keeps the BitmapData in a.

DisplayObject* BitmapDisplay(Machine& m, const Value& self) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(self.object)->display)
    m.ThrowError("Error", 2012, "Display objects cannot be made without a player.");
  return static_cast<NativeObject*>(self.object)->display;
}

void Show(Machine& m, const Value& self, const Value& bitmapData, bool smoothing) {
  DisplayObject* d = BitmapDisplay(m, self);
  auto* data = bitmapData.IsObject() ? dynamic_cast<BitmapDataObject*>(bitmapData.object) : nullptr;
  d->character = std::make_shared<BitmapDataCharacter>(data ? data->pixels : nullptr, smoothing);
  static_cast<NativeObject*>(self.object)->a = data ? bitmapData : Value::Null();
}

bool Smoothing(const DisplayObject* d) {
  const auto* shown = dynamic_cast<const BitmapDataCharacter*>(d->character.get());
  return shown && shown->smoothing;
}

// Bitmap(bitmapData = null, pixelSnapping = "auto", smoothing = false)
Value BitmapConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const Value data = Arg(args, argc, 0);
  if (!data.IsNullish() && !BitmapPixelsOf(data) && !(data.IsObject() && dynamic_cast<BitmapDataObject*>(data.object)))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(data) + " to flash.display.BitmapData.");
  DisplayObject* d = BitmapDisplay(m, self);
  // A linked class placed by the timeline or made from its symbol shows its library
  // bitmap unless given one.
  if (data.IsNullish() && dynamic_cast<const flash::Bitmap*>(d->character.get())) return Value();
  Show(m, self, data, m.ToBoolean(Arg(args, argc, 2)));
  return Value();
}

Value GetBitmapData(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = BitmapDisplay(m, self);
  auto* o = static_cast<NativeObject*>(self.object);
  // A library bitmap turns into a BitmapData of its pixels the first time it is asked for.
  if (const auto* library = dynamic_cast<const flash::Bitmap*>(d->character.get())) {
    const Value data = MakeBitmapData(m, std::make_shared<BitmapPixels>(library->image, library->image.hasAlphaChannel()));
    Show(m, self, data, false);
    return data;
  }
  return o->a.IsObject() ? o->a : Value::Null();
}
Value SetBitmapData(Machine& m, const Value& self, const Value* args, int argc) {
  const Value data = Arg(args, argc, 0);
  Show(m, self, data, Smoothing(BitmapDisplay(m, self)));
  return Value();
}
Value GetSmoothing(Machine& m, const Value& self, const Value*, int) { return Value::Bool(Smoothing(BitmapDisplay(m, self))); }
Value SetSmoothing(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = BitmapDisplay(m, self);
  if (dynamic_cast<const flash::Bitmap*>(d->character.get())) GetBitmapData(m, self, nullptr, 0);
  Show(m, self, static_cast<NativeObject*>(self.object)->a, m.ToBoolean(Arg(args, argc, 0)));
  return Value();
}
// pixelSnapping: "auto", "always" or "never"; the drawing does not snap.
Value GetPixelSnapping(Machine& m, const Value& self, const Value*, int) {
  auto* o = static_cast<NativeObject*>((BitmapDisplay(m, self), self.object));
  return m.StrValue(o->text.empty() ? "auto" : o->text);
}
Value SetPixelSnapping(Machine& m, const Value& self, const Value* args, int argc) {
  BitmapDisplay(m, self);
  const std::string mode = StrArg(m, args, argc, 0, "null");
  if (mode != "auto" && mode != "always" && mode != "never")
    m.ThrowError("ArgumentError", 2008, "Parameter pixelSnapping must be one of the accepted values.");
  static_cast<NativeObject*>(self.object)->text = mode;
  return Value();
}

std::shared_ptr<BitmapPixels> ShownPixels(Machine& m, const Value& bitmap) {
  GetBitmapData(m, bitmap, nullptr, 0);
  const auto* shown = dynamic_cast<const BitmapDataCharacter*>(BitmapDisplay(m, bitmap)->character.get());
  return shown ? shown->pixels : nullptr;
}

}  // namespace

BitmapPixels* BitmapPixelsOf(const Value& value) {
  auto* o = value.IsObject() ? dynamic_cast<BitmapDataObject*>(value.object) : nullptr;
  return o && o->pixels && !o->pixels->Disposed() ? o->pixels.get() : nullptr;
}

void InstallBitmapData(Machine& m) {
  ClassObject* c = m.DefineClass("flash.display", "BitmapData", m.objectClass, Construct);
  c->allocate = Allocate;
  static const Member kBitmapDataMembers[] = {
      {"width", Width, nullptr, kAccessor, 0},
      {"height", Height, nullptr, kAccessor, 0},
      {"transparent", Transparent, nullptr, kAccessor, 0},
      {"rect", Rect, nullptr, kAccessor, 0},
      {"getPixel", GetPixel, nullptr, 0, 0},
      {"getPixel32", GetPixel32, nullptr, 0, 0},
      {"setPixel", SetPixel, nullptr, 0, 0},
      {"setPixel32", SetPixel32, nullptr, 0, 0},
      {"dispose", Dispose, nullptr, 0, 0},
      {"clone", Clone, nullptr, 0, 0},
      {"lock", Lock, nullptr, 0, 0},
      {"unlock", Lock, nullptr, 0, 0},
      {"fillRect", FillRect, nullptr, 0, 0},
      {"floodFill", FloodFill, nullptr, 0, 0},
      {"scroll", Scroll, nullptr, 0, 0},
      {"noise", Noise, nullptr, 0, 0},
      {"perlinNoise", PerlinNoise, nullptr, 0, 0},
      {"copyPixels", CopyPixels, nullptr, 0, 0},
      {"copyChannel", CopyChannel, nullptr, 0, 0},
      {"applyFilter", ApplyFilter, nullptr, 0, 0},
      {"generateFilterRect", GenerateFilterRect, nullptr, 0, 0},
      {"colorTransform", ColorTransformMethod, nullptr, 0, 0},
      {"compare", Compare, nullptr, 0, 0},
      {"threshold", Threshold, nullptr, 0, 0},
      {"merge", Merge, nullptr, 0, 0},
      {"paletteMap", PaletteMap, nullptr, 0, 0},
      {"getColorBoundsRect", GetColorBoundsRect, nullptr, 0, 0},
      {"pixelDissolve", PixelDissolve, nullptr, 0, 0},
      {"hitTest", HitTest, nullptr, 0, 0},
      {"draw", Draw, nullptr, 0, 0},
      {"drawWithQuality", Draw, nullptr, 0, 1},
      {"getPixels", GetPixels, nullptr, 0, 0},
      {"setPixels", SetPixels, nullptr, 0, 0},
      {"copyPixelsToByteArray", CopyPixelsToByteArray, nullptr, 0, 0},
      {"getVector", GetVector, nullptr, 0, 0},
      {"setVector", SetVector, nullptr, 0, 0},
      {"histogram", HistogramMethod, nullptr, 0, 0},
  };
  Install(m, c, kBitmapDataMembers);

  ClassObject* bitmap = m.FindClass("flash.display.Bitmap");
  if (!bitmap) return;
  bitmap->init = m.NativeMethod("Bitmap", BitmapConstruct);
  bitmap->init->declaringClass = bitmap;
  bitmap->init->role = MethodInfo::Role::Constructor;
  static const Member kBitmapMembers[] = {
      {"bitmapData", GetBitmapData, SetBitmapData, kAccessor, 0},
      {"smoothing", GetSmoothing, SetSmoothing, kAccessor, 0},
      {"pixelSnapping", GetPixelSnapping, SetPixelSnapping, kAccessor, 0},
  };
  Install(m, bitmap, kBitmapMembers);
}

}  // namespace vantrel::flash::avm2
