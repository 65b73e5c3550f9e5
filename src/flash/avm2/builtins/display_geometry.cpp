// The geometry members of DisplayObject (bounds, points between spaces, hit tests,
// transform, mask) and the Transform class that reads and writes an object's matrix and
// colour transform.
#include <cmath>

#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/hit_test.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

namespace {

DisplayObject* DisplayOf(Machine& m, const Value& v) {
  if (!v.IsObject() || v.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(v.object)->display)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.DisplayObject.");
  return static_cast<NativeObject*>(v.object)->display;
}

// The target space of getBounds/getRect: a display object, or the object itself for null.
QTransform SpaceFromStage(Machine& m, const Value& target, DisplayObject* self) {
  DisplayObject* space = target.IsNull() || target.IsUndefined() ? self : DisplayOf(m, target);
  bool invertible = false;
  const QTransform inverse = ObjectToStage(*space).inverted(&invertible);
  return invertible ? inverse : QTransform();
}

Value Bounds(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  const QTransform toTarget = ObjectToStage(*d) * SpaceFromStage(m, Arg(args, argc, 0), d);
  const QRectF local = d->LocalBounds();
  if (local.isNull() || local.isEmpty()) {
    // Nothing drawn: a point where the object's origin lands.
    const QPointF origin = toTarget.map(QPointF(0, 0));
    return NewRectangle(m, origin.x() / 20, origin.y() / 20, 0, 0);
  }
  const QRectF r = toTarget.mapRect(local);
  return NewRectangle(m, r.x() / 20, r.y() / 20, r.width() / 20, r.height() / 20);
}

Value MapPoint(Machine& m, const Value& self, const Value* args, int argc, bool toGlobal) {
  DisplayObject* d = DisplayOf(m, self);
  double x = 0, y = 0;
  PointOf(m, Arg(args, argc, 0), x, y);
  QTransform t = ObjectToStage(*d);
  if (!toGlobal) {
    bool invertible = false;
    t = t.inverted(&invertible);
    if (!invertible) t = QTransform();
  }
  const QPointF p = t.map(QPointF(x * 20, y * 20));
  return NewPoint(m, p.x() / 20, p.y() / 20);
}
Value LocalToGlobal(Machine& m, const Value& s, const Value* a, int n) { return MapPoint(m, s, a, n, true); }
Value GlobalToLocal(Machine& m, const Value& s, const Value* a, int n) { return MapPoint(m, s, a, n, false); }

Value HitTestPoint(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  const double x = NumArg(m, args, argc, 0, NAN), y = NumArg(m, args, argc, 1, NAN);
  if (std::isnan(x) || std::isnan(y)) return Value::Bool(false);
  const QPointF stage(x * 20, y * 20);
  if (m.ToBoolean(Arg(args, argc, 2))) return Value::Bool(ShapeHit(*d, stage));
  const QRectF local = d->LocalBounds();
  return Value::Bool(!local.isNull() && ObjectToStage(*d).mapRect(local).contains(stage));
}

Value HitTestObject(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  DisplayObject* other = DisplayOf(m, Arg(args, argc, 0));
  // Bounds first: asking for a text field's bounds may move it.
  const QRectF boundsA = d->LocalBounds(), boundsB = other->LocalBounds();
  const QRectF a = ObjectToStage(*d).mapRect(boundsA);
  const QRectF b = ObjectToStage(*other).mapRect(boundsB);
  return Value::Bool(a.intersects(b));
}

Value GetMask(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = DisplayOf(m, self);
  return d->maskClip ? DisplayObjectValue(m, d->maskClip) : Value::Null();
}
Value SetMask(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  const Value v = Arg(args, argc, 0);
  DisplayObject* mask = v.IsNull() || v.IsUndefined() ? nullptr : DisplayOf(m, v);
  if (d->maskClip && d->maskClip->maskedBy == d) d->maskClip->maskedBy = nullptr;
  d->maskClip = nullptr;
  if (mask) {
    // A mask masks one object: taking it from another unmasks that one.
    if (mask->maskedBy && mask->maskedBy->maskClip == mask) mask->maskedBy->maskClip = nullptr;
    d->maskClip = mask;
    mask->maskedBy = d;
  }
  return Value();
}

// ---- Transform: `a` holds the display object it belongs to ----
Object* AllocateTransform(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr); }

DisplayObject* TransformTarget(Machine& m, const Value& self) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Other)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.geom.Transform.");
  return DisplayOf(m, static_cast<NativeObject*>(self.object)->a);
}

Value TransformConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const Value target = Arg(args, argc, 0);
  if (target.IsNull() || target.IsUndefined()) m.ThrowTypeError(2007, "Parameter displayObject must be non-null.");
  DisplayOf(m, target);
  static_cast<NativeObject*>(self.object)->a = target;
  return Value::Obj(self.object);
}

GeomMatrix FromTwips(const Matrix& x) { return {x.a, x.b, x.c, x.d, x.tx / 20, x.ty / 20}; }

Value TransformMatrix(Machine& m, const Value& self, const Value*, int) {
  return NewMatrix(m, FromTwips(TransformTarget(m, self)->GetMatrix()));
}
Value SetTransformMatrix(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = TransformTarget(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter value must be non-null.");
  const GeomMatrix g = MatrixOf(m, v);
  Matrix x;
  x.a = g.a;
  x.b = g.b;
  x.c = g.c;
  x.d = g.d;
  x.tx = std::round(g.tx * 20);
  x.ty = std::round(g.ty * 20);
  d->SetMatrix(x);
  d->transformedByScript = true;
  return Value();
}
Value TransformConcatenatedMatrix(Machine& m, const Value& self, const Value*, int) {
  const QTransform t = ObjectToStage(*TransformTarget(m, self));
  return NewMatrix(m, {t.m11(), t.m12(), t.m21(), t.m22(), t.dx() / 20, t.dy() / 20});
}
GeomColor ToGeom(const ColorTransform& c) {
  GeomColor g;
  const double mul[4] = {c.mulR, c.mulG, c.mulB, c.mulA}, add[4] = {c.addR, c.addG, c.addB, c.addA};
  for (int i = 0; i < 4; ++i) {
    g.mul[i] = mul[i];
    g.add[i] = add[i];
  }
  return g;
}
Value TransformColor(Machine& m, const Value& self, const Value*, int) {
  return NewColorTransform(m, ToGeom(TransformTarget(m, self)->GetColorTransform()));
}
Value SetTransformColor(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = TransformTarget(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter value must be non-null.");
  d->SetColorTransform(ColorTransformOf(m, v));
  return Value();
}
Value TransformConcatenatedColor(Machine& m, const Value& self, const Value*, int) {
  ColorTransform c;
  for (DisplayObject* d = TransformTarget(m, self); d; d = d->Parent()) c = d->GetColorTransform() * c;
  return NewColorTransform(m, ToGeom(c));
}
Value TransformPixelBounds(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = TransformTarget(m, self);
  const QRectF r = ObjectToStage(*d).mapRect(d->LocalBounds());
  if (r.isNull()) return NewRectangle(m, 0, 0, 0, 0);
  const double left = std::floor(r.left() / 20), top = std::floor(r.top() / 20);
  return NewRectangle(m, left, top, std::ceil(r.right() / 20) - left, std::ceil(r.bottom() / 20) - top);
}

Value GetTransformObject(Machine& m, const Value& self, const Value*, int) {
  DisplayOf(m, self);
  return Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Transform"), &self, 1));
}
// Assigning a Transform copies its matrix and colour transform.
Value SetTransformObject(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayOf(m, self);
  const Value source = Arg(args, argc, 0);
  if (source.IsNull() || source.IsUndefined()) m.ThrowTypeError(2007, "Parameter transform must be non-null.");
  const Value mine = GetTransformObject(m, self, nullptr, 0);
  const Value matrix = TransformMatrix(m, source, nullptr, 0);
  SetTransformMatrix(m, mine, &matrix, 1);
  const Value color = TransformColor(m, source, nullptr, 0);
  SetTransformColor(m, mine, &color, 1);
  return Value();
}

// scale9Grid: a copy of the grid (null for none); setting null takes it away.
Value GetScale9Grid(Machine& m, const Value& self, const Value*, int) {
  const DisplayObject* d = DisplayOf(m, self);
  if (!d->scale9Grid) return Value::Null();
  const QRectF& r = *d->scale9Grid;
  return NewRectangle(m, r.x() / 20, r.y() / 20, r.width() / 20, r.height() / 20);
}
Value SetScale9Grid(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) {
    d->scale9Grid.reset();
    return Value();
  }
  const auto field = [&](const char* name) { return m.ToNumber(m.GetPublic(v, name)) * 20; };
  d->scale9Grid = QRectF(field("x"), field("y"), field("width"), field("height"));
  return Value();
}

// mouseX/mouseY of any display object: the pointer in its own pixels.
template <bool Y>
Value MouseCoordinate(Machine& m, const Value& self, const Value*, int) {
  if (!m.player || !self.IsObject() || self.object->kind != ObjectKind::Display) return Value::Number(0);
  DisplayObject* d = static_cast<NativeObject*>(self.object)->display;
  const QPointF stage = m.player->MousePosition();
  QPointF local = stage;
  if (d) {
    bool invertible = false;
    const QTransform toLocal = ObjectToStage(*d).inverted(&invertible);
    if (invertible) local = toLocal.map(stage);
  }
  return Value::Number((Y ? local.y() : local.x()) / 20);
}

}  // namespace

// Called while DisplayObject is defined, before its subclasses copy its traits.
void InstallDisplayGeometry(Machine& m) {
  ClassObject* transform = m.DefineClass("flash.geom", "Transform", m.objectClass, TransformConstruct);
  transform->allocate = AllocateTransform;
  static const Member kTransformMembers[] = {
      {"matrix", TransformMatrix, SetTransformMatrix, kAccessor, 0},
      {"colorTransform", TransformColor, SetTransformColor, kAccessor, 0},
      {"concatenatedMatrix", TransformConcatenatedMatrix, nullptr, kAccessor, 0},
      {"concatenatedColorTransform", TransformConcatenatedColor, nullptr, kAccessor, 0},
      {"pixelBounds", TransformPixelBounds, nullptr, kAccessor, 0},
  };
  Install(m, transform, kTransformMembers);

  ClassObject* displayObject = m.FindClass("flash.display.DisplayObject");
  if (!displayObject) return;
  static const Member kDisplayObjectMembers[] = {
      {"getBounds", Bounds, nullptr, 0, 0},
      {"getRect", Bounds, nullptr, 0, 0},
      {"localToGlobal", LocalToGlobal, nullptr, 0, 0},
      {"globalToLocal", GlobalToLocal, nullptr, 0, 0},
      {"hitTestPoint", HitTestPoint, nullptr, 0, 0},
      {"hitTestObject", HitTestObject, nullptr, 0, 0},
      {"mask", GetMask, SetMask, kAccessor, 0},
      {"transform", GetTransformObject, SetTransformObject, kAccessor, 0},
      {"mouseX", MouseCoordinate<false>, nullptr, kAccessor, 0},
      {"mouseY", MouseCoordinate<true>, nullptr, kAccessor, 0},
      {"scale9Grid", GetScale9Grid, SetScale9Grid, kAccessor, 0},
  };
  Install(m, displayObject, kDisplayObjectMembers);
}

}  // namespace vantrel::flash::avm2
