// flash.display.BitmapData: a bitmap of 1 to 8191 pixels a side (16,777,215 at most),
// opaque or transparent, read and written pixel by pixel.
#include "flash/avm2/builtins/bitmap_data.h"

#include <cmath>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

Object* Allocate(Machine& m, ClassObject*) { return m.heap.Make<BitmapDataObject>(ObjectKind::Other, nullptr, nullptr); }

BitmapPixels& This(Machine& m, const Value& self) {
  auto* o = self.IsObject() ? dynamic_cast<BitmapDataObject*>(self.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.display.BitmapData.");
  if (!o->pixels || o->pixels->Disposed()) m.ThrowError("ArgumentError", 2015, "Invalid BitmapData.");
  return *o->pixels;
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  const double w = NumArg(m, args, argc, 0, 0);
  const double h = NumArg(m, args, argc, 1, 0);
  const bool transparent = argc > 2 ? m.ToBoolean(args[2]) : true;
  const std::uint32_t fill = argc > 3 ? m.ToUint32(args[3]) : 0xFFFFFFFFu;
  const std::int32_t width = script::ToInt32(w);
  const std::int32_t height = script::ToInt32(h);
  if (width <= 0 || height <= 0 || width > 8191 || height > 8191 ||
      static_cast<std::int64_t>(width) * height > 16777215) {
    m.ThrowError("ArgumentError", 2015, "Invalid BitmapData.");
  }
  static_cast<BitmapDataObject*>(self.object)->pixels = std::make_shared<BitmapPixels>(width, height, transparent, fill);
  return self;
}

Value Width(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self).Width()); }
Value Height(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self).Height()); }
Value Transparent(Machine& m, const Value& self, const Value*, int) { return Value::Bool(This(m, self).Transparent()); }

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
  auto* o = self.IsObject() ? dynamic_cast<BitmapDataObject*>(self.object) : nullptr;
  if (o && o->pixels) o->pixels->Dispose();
  (void)m;
  return Value();
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
      {"getPixel", GetPixel, nullptr, 0, 0},
      {"getPixel32", GetPixel32, nullptr, 0, 0},
      {"setPixel", SetPixel, nullptr, 0, 0},
      {"setPixel32", SetPixel32, nullptr, 0, 0},
      {"dispose", Dispose, nullptr, 0, 0},
  };
  Install(m, c, kBitmapDataMembers);
}

}  // namespace vantrel::flash::avm2
