// flash.display.Graphics: the drawing API of sprites and shapes, over the clip's
// drawing shape (display/drawing.h). Coordinates are pixels here and twips inside.
#include <algorithm>
#include <cmath>

#include "flash/avm2/builtins/bitmap_data.h"
#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/drawing.h"
#include "flash/display/movie_clip.h"

namespace vantrel::flash::avm2 {

namespace {

// A Graphics object keeps the display object it draws into (null for objects that
// cannot hold a drawing, whose calls then draw nothing).
ScriptDrawing* DrawingFor(Machine& m, const Value& self, bool create) {
  NativeObject* g = Receiver<NativeObject>(m, self, ObjectKind::Other, "Graphics");
  if (!g->display || !g->display->IsContainer()) return nullptr;
  return DrawingOf(*static_cast<MovieClip*>(g->display), create);
}

double Coordinate(Machine& m, const Value* args, int argc, int index) {
  const double v = NumArg(m, args, argc, index, 0);
  return std::isnan(v) ? 0 : std::clamp(v, -1e7, 1e7) * 20;
}

Rgba ColorOf(Machine& m, const Value& rgbValue, const Value* alphaValue) {
  const std::uint32_t rgb = m.ToUint32(rgbValue);
  double alpha = alphaValue && !alphaValue->IsUndefined() ? m.ToNumber(*alphaValue) : 1.0;
  if (std::isnan(alpha)) alpha = 0;
  alpha = std::clamp(alpha, 0.0, 1.0);
  return Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
              static_cast<std::uint8_t>(std::lround(alpha * 255))};
}

void StartFill(ScriptDrawing& d, FillStyle fill) {
  CloseFill(d);
  d.data.styleSets[0].fills.push_back(std::move(fill));
  d.fillOpen = true;
  d.fillStart = d.pen;
  StyleOp(d, true, static_cast<std::uint32_t>(d.data.styleSets[0].fills.size()), false, 0);
}

Value BeginFill(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  FillStyle fill;
  fill.type = FillType::Solid;
  fill.color = ColorOf(m, Arg(args, argc, 0), argc > 1 ? &args[1] : nullptr);
  StartFill(*d, std::move(fill));
  return Value();
}

// The numbers of an Array (or Vector) argument.
std::vector<double> Numbers(Machine& m, const Value& v) {
  std::vector<double> out;
  if (!v.IsObject()) return out;
  const double length = m.ToNumber(m.GetPublic(v, "length"));
  for (int i = 0; i < std::min(length, 256.0); ++i) out.push_back(m.ToNumber(m.GetPublic(v, std::to_string(i))));
  return out;
}

// The gradient of beginGradientFill/lineGradientStyle: type, colours, alphas, ratios,
// matrix (a flash.geom.Matrix; none is a 100 px box at the origin), spread method,
// interpolation and focal point. False when the arguments describe none.
bool GradientOf(Machine& m, const Value* args, int argc, FillStyle& fill) {
  const std::string type = StrArg(m, args, argc, 0);
  if (type != "linear" && type != "radial") m.ThrowError("ArgumentError", 2008, "Parameter type must be one of the accepted values.");
  const std::vector<double> colors = Numbers(m, Arg(args, argc, 1));
  const std::vector<double> alphas = Numbers(m, Arg(args, argc, 2));
  const std::vector<double> ratios = Numbers(m, Arg(args, argc, 3));
  if (colors.empty() || alphas.size() != colors.size() || ratios.size() != colors.size()) return false;
  Gradient gradient;
  for (std::size_t i = 0; i < std::min<std::size_t>(colors.size(), 15); ++i) {
    const Value rgb = Value::Number(colors[i]);
    const Value alpha = Value::Number(alphas[i]);
    GradientStop stop;
    stop.ratio = static_cast<std::uint8_t>(std::clamp(std::isnan(ratios[i]) ? 0.0 : ratios[i], 0.0, 255.0));
    stop.color = ColorOf(m, rgb, &alpha);
    gradient.stops.push_back(stop);
  }
  constexpr double kSquare = 1638.4;  // the gradient square's side in pixels
  const Value matrix = Arg(args, argc, 4);
  if (matrix.IsObject()) {
    auto num = [&](const char* name) {
      const double v = m.ToNumber(m.GetPublic(matrix, name));
      return std::isfinite(v) ? v : 0.0;
    };
    fill.matrix = Matrix{num("a"), num("b"), num("c"), num("d"), num("tx") * 20, num("ty") * 20};
  } else {
    fill.matrix = Matrix{100 / kSquare, 0, 0, 100 / kSquare, 50 * 20, 50 * 20};
  }
  const std::string spread = argc > 5 ? m.ToString(args[5]) : "pad";
  gradient.spread = spread == "reflect" ? SpreadMode::Reflect : spread == "repeat" ? SpreadMode::Repeat : SpreadMode::Pad;
  if (argc > 6 && m.ToString(args[6]) == "linearRGB") gradient.interpolation = InterpolationMode::LinearRgb;
  fill.type = type == "linear" ? FillType::LinearGradient : FillType::RadialGradient;
  if (fill.type == FillType::RadialGradient && argc > 7 && m.ToNumber(args[7]) != 0) {
    const double focal = m.ToNumber(args[7]);
    fill.type = FillType::FocalGradient;
    gradient.focalPoint = std::isnan(focal) ? 0 : std::clamp(focal, -1.0, 1.0);
  }
  fill.gradient = std::move(gradient);
  return true;
}

Value BeginGradientFill(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  FillStyle fill;
  if (GradientOf(m, args, argc, fill)) StartFill(*d, std::move(fill));
  return Value();
}

// beginBitmapFill(bitmap, matrix = null, repeat = true, smooth = false): the pixels
// the bitmap has now, one pixel to a unit of the matrix (which maps them to the
// drawing's pixels).
Value BeginBitmapFill(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const Value data = Arg(args, argc, 0);
  if (data.IsNullish()) m.ThrowTypeError(2007, "Parameter bitmap must be non-null.");
  BitmapPixels* pixels = BitmapPixelsOf(data);
  if (!pixels) m.ThrowError("ArgumentError", 2015, "Invalid BitmapData.");
  const bool repeat = argc > 2 ? m.ToBoolean(args[2]) : true;
  const bool smooth = m.ToBoolean(Arg(args, argc, 3));
  FillStyle fill;
  fill.type = repeat ? (smooth ? FillType::RepeatingBitmap : FillType::RepeatingBitmapHard)
                     : (smooth ? FillType::ClippedBitmap : FillType::ClippedBitmapHard);
  auto bitmap = std::make_shared<flash::Bitmap>();
  bitmap->image = pixels->Image().copy();
  fill.bitmap = std::move(bitmap);
  fill.matrix = Matrix{20, 0, 0, 20, 0, 0};
  if (const Value mv = Arg(args, argc, 1); !mv.IsNullish()) {
    const GeomMatrix g = MatrixOf(m, mv);
    fill.matrix = Matrix{g.a * 20, g.b * 20, g.c * 20, g.d * 20, g.tx * 20, g.ty * 20};
  }
  StartFill(*d, std::move(fill));
  return Value();
}

Value EndFill(Machine& m, const Value& self, const Value*, int) {
  ScriptDrawing* d = DrawingFor(m, self, false);
  if (!d) return Value();
  CloseFill(*d);
  d->fillOpen = false;
  StyleOp(*d, true, 0, false, 0);
  return Value();
}

Value LineStyle(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const double thickness = NumArg(m, args, argc, 0, NAN);
  if (std::isnan(thickness)) {
    d->line = 0;
    StyleOp(*d, false, 0, true, 0);
    return Value();
  }
  flash::LineStyle style;
  style.width = static_cast<std::uint16_t>(std::clamp(thickness, 0.0, 255.0) * 20);
  style.color = ColorOf(m, Arg(args, argc, 1), argc > 2 ? &args[2] : nullptr);
  style.pixelHinting = m.ToBoolean(Arg(args, argc, 3));
  const std::string scale = argc > 4 && !args[4].IsNull() && !args[4].IsUndefined() ? m.ToString(args[4]) : "normal";
  style.noHScale = scale == "none" || scale == "vertical";
  style.noVScale = scale == "none" || scale == "horizontal";
  const std::string caps = argc > 5 && !args[5].IsNull() && !args[5].IsUndefined() ? m.ToString(args[5]) : "round";
  style.startCap = style.endCap = caps == "none" ? CapStyle::None : caps == "square" ? CapStyle::Square : CapStyle::Round;
  const std::string joint = argc > 6 && !args[6].IsNull() && !args[6].IsUndefined() ? m.ToString(args[6]) : "round";
  style.join = joint == "miter" ? JoinStyle::Miter : joint == "bevel" ? JoinStyle::Bevel : JoinStyle::Round;
  const double limit = NumArg(m, args, argc, 7, 3);
  style.miterLimit = std::isnan(limit) ? 3 : std::clamp(limit, 1.0, 255.0);
  d->data.styleSets[0].lines.push_back(style);
  d->line = static_cast<std::uint32_t>(d->data.styleSets[0].lines.size());
  StyleOp(*d, false, 0, true, d->line);
  return Value();
}

Value LineGradientStyle(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d || d->line == 0 || d->line > d->data.styleSets[0].lines.size()) return Value();
  flash::LineStyle style = d->data.styleSets[0].lines[d->line - 1];
  FillStyle fill;
  if (!GradientOf(m, args, argc, fill)) return Value();
  style.hasFill = true;
  style.fill = std::move(fill);
  d->data.styleSets[0].lines.push_back(std::move(style));
  d->line = static_cast<std::uint32_t>(d->data.styleSets[0].lines.size());
  StyleOp(*d, false, 0, true, d->line);
  return Value();
}

void Move(ScriptDrawing& d, QPointF to) {
  CloseFill(d);
  d.pen = to;
  d.fillStart = to;
  StyleOp(d, false, 0, false, 0);
}

Value MoveTo(Machine& m, const Value& self, const Value* args, int argc) {
  if (ScriptDrawing* d = DrawingFor(m, self, true)) Move(*d, QPointF(Coordinate(m, args, argc, 0), Coordinate(m, args, argc, 1)));
  return Value();
}
Value LineTo(Machine& m, const Value& self, const Value* args, int argc) {
  if (ScriptDrawing* d = DrawingFor(m, self, true)) AddEdge(*d, QPointF(Coordinate(m, args, argc, 0), Coordinate(m, args, argc, 1)), nullptr);
  return Value();
}
Value CurveTo(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const QPointF control(Coordinate(m, args, argc, 0), Coordinate(m, args, argc, 1));
  AddEdge(*d, QPointF(Coordinate(m, args, argc, 2), Coordinate(m, args, argc, 3)), &control);
  return Value();
}

// Points the player computes land on whole twips, as everything it draws.
QPointF Twips(QPointF p) { return QPointF(std::round(p.x()), std::round(p.y())); }

// A cubic curve as quadratic pieces: each quarter of the cubic becomes the quadratic
// through its ends whose control point is where the end tangents meet (halfway).
void AddCubic(ScriptDrawing& d, QPointF c1, QPointF c2, QPointF to) {
  const QPointF from = d.pen;
  constexpr int kPieces = 4;
  auto point = [&](double t) {
    const double u = 1 - t;
    return u * u * u * from + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * to;
  };
  auto tangent = [&](double t) {
    const double u = 1 - t;
    return 3 * u * u * (c1 - from) + 6 * u * t * (c2 - c1) + 3 * t * t * (to - c2);
  };
  for (int i = 0; i < kPieces; ++i) {
    const double t0 = static_cast<double>(i) / kPieces, t1 = static_cast<double>(i + 1) / kPieces;
    const QPointF p0 = point(t0), p1 = point(t1);
    const QPointF control = Twips((p0 + tangent(t0) * (t1 - t0) / 2 + p1 - tangent(t1) * (t1 - t0) / 2) / 2);
    AddEdge(d, Twips(p1), &control);
  }
}

Value CubicCurveTo(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  AddCubic(*d, QPointF(Coordinate(m, args, argc, 0), Coordinate(m, args, argc, 1)),
           QPointF(Coordinate(m, args, argc, 2), Coordinate(m, args, argc, 3)),
           QPointF(Coordinate(m, args, argc, 4), Coordinate(m, args, argc, 5)));
  return Value();
}

// An ellipse centred on (cx, cy) as eight quadratic curves, starting at its right.
void AddEllipse(ScriptDrawing& d, double cx, double cy, double rx, double ry) {
  Move(d, QPointF(cx + rx, cy));
  constexpr double kPi = 3.14159265358979323846;
  const double controlScale = 1 / std::cos(kPi / 8);
  for (int i = 1; i <= 8; ++i) {
    const double mid = (i - 0.5) * kPi / 4, end = i * kPi / 4;
    const QPointF control = Twips(QPointF(cx + rx * controlScale * std::cos(mid), cy + ry * controlScale * std::sin(mid)));
    AddEdge(d, Twips(QPointF(cx + rx * std::cos(end), cy + ry * std::sin(end))), &control);
  }
}

Value DrawCircle(Machine& m, const Value& self, const Value* args, int argc) {
  if (ScriptDrawing* d = DrawingFor(m, self, true)) {
    const double r = Coordinate(m, args, argc, 2);
    AddEllipse(*d, Coordinate(m, args, argc, 0), Coordinate(m, args, argc, 1), r, r);
  }
  return Value();
}
Value DrawEllipse(Machine& m, const Value& self, const Value* args, int argc) {
  if (ScriptDrawing* d = DrawingFor(m, self, true)) {
    const double w = Coordinate(m, args, argc, 2) / 2, h = Coordinate(m, args, argc, 3) / 2;
    AddEllipse(*d, Coordinate(m, args, argc, 0) + w, Coordinate(m, args, argc, 1) + h, w, h);
  }
  return Value();
}
Value DrawRect(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const double x = Coordinate(m, args, argc, 0), y = Coordinate(m, args, argc, 1);
  const double w = Coordinate(m, args, argc, 2), h = Coordinate(m, args, argc, 3);
  Move(*d, QPointF(x, y));
  AddEdge(*d, QPointF(x + w, y), nullptr);
  AddEdge(*d, QPointF(x + w, y + h), nullptr);
  AddEdge(*d, QPointF(x, y + h), nullptr);
  AddEdge(*d, QPointF(x, y), nullptr);
  return Value();
}
Value DrawRoundRect(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const double x = Coordinate(m, args, argc, 0), y = Coordinate(m, args, argc, 1);
  const double w = Coordinate(m, args, argc, 2), h = Coordinate(m, args, argc, 3);
  double ew = Coordinate(m, args, argc, 4);
  double eh = argc > 5 && !std::isnan(m.ToNumber(args[5])) ? Coordinate(m, args, argc, 5) : ew;
  const double rx = std::min(std::fabs(ew) / 2, std::fabs(w) / 2), ry = std::min(std::fabs(eh) / 2, std::fabs(h) / 2);
  if (rx <= 0 || ry <= 0) return DrawRect(m, self, args, argc);
  // Corners as two curves each, edges straight between them; clockwise from the top.
  const double k = 1 - std::sqrt(0.5);  // a corner's 45° point, inset from the box
  const double c = std::tan(3.14159265358979323846 / 8);  // control offset per radius
  Move(*d, QPointF(x + w, y + h - ry));
  auto corner = [&](QPointF start, QPointF corner, QPointF end) {
    const QPointF mid = Twips(corner + ((start - corner) + (end - corner)) * k);
    const QPointF c1 = Twips(start + (corner - start) * c);
    const QPointF c2 = Twips(end + (corner - end) * c);
    AddEdge(*d, mid, &c1);
    AddEdge(*d, end, &c2);
  };
  corner(QPointF(x + w, y + h - ry), QPointF(x + w, y + h), QPointF(x + w - rx, y + h));
  AddEdge(*d, QPointF(x + rx, y + h), nullptr);
  corner(QPointF(x + rx, y + h), QPointF(x, y + h), QPointF(x, y + h - ry));
  AddEdge(*d, QPointF(x, y + ry), nullptr);
  corner(QPointF(x, y + ry), QPointF(x, y), QPointF(x + rx, y));
  AddEdge(*d, QPointF(x + w - rx, y), nullptr);
  corner(QPointF(x + w - rx, y), QPointF(x + w, y), QPointF(x + w, y + ry));
  AddEdge(*d, QPointF(x + w, y + h - ry), nullptr);
  return Value();
}

Value Clear(Machine& m, const Value& self, const Value*, int) {
  NativeObject* g = Receiver<NativeObject>(m, self, ObjectKind::Other, "Graphics");
  if (g->display && g->display->IsContainer()) static_cast<MovieClip*>(g->display)->drawing.reset();
  return Value();
}

Value GraphicsOf(Machine& m, const Value& self, const Value*, int) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Display) return Value::Null();
  auto* o = static_cast<NativeObject*>(self.object);
  if (o->b.IsObject()) return o->b;
  ClassObject* cls = m.FindClass("flash.display.Graphics");
  auto* g = m.heap.Make<NativeObject>(ObjectKind::Other, cls->instanceTraits.get(), cls->prototype);
  g->cls = cls;
  g->dynamic = false;
  m.InitSlots(g, *cls->instanceTraits);
  g->display = o->display;
  o->b = Value::Obj(g);
  return o->b;
}

}  // namespace

void InstallGraphics(Machine& m) {
  // Graphics objects come only from the graphics property of sprites and shapes.
  ClassObject* graphics = m.DefineClass("flash.display", "Graphics", m.objectClass, [](Machine& m, const Value&, const Value*, int) -> Value {
    m.ThrowError("ArgumentError", 2012, "Graphics$ class cannot be instantiated.");
  });
  static const Member kGraphicsMembers[] = {
      {"beginFill", BeginFill, nullptr, 0, 0},
      {"beginGradientFill", BeginGradientFill, nullptr, 0, 0},
      {"beginBitmapFill", BeginBitmapFill, nullptr, 0, 0},
      {"endFill", EndFill, nullptr, 0, 0},
      {"lineStyle", LineStyle, nullptr, 0, 0},
      {"lineGradientStyle", LineGradientStyle, nullptr, 0, 0},
      {"moveTo", MoveTo, nullptr, 0, 0},
      {"lineTo", LineTo, nullptr, 0, 0},
      {"curveTo", CurveTo, nullptr, 0, 0},
      {"cubicCurveTo", CubicCurveTo, nullptr, 0, 0},
      {"drawCircle", DrawCircle, nullptr, 0, 0},
      {"drawEllipse", DrawEllipse, nullptr, 0, 0},
      {"drawRect", DrawRect, nullptr, 0, 0},
      {"drawRoundRect", DrawRoundRect, nullptr, 0, 0},
      {"clear", Clear, nullptr, 0, 0},
  };
  Install(m, graphics, kGraphicsMembers);
  static const Member kOwnerMembers[] = {
      {"graphics", GraphicsOf, nullptr, kAccessor, 0},
  };
  for (const char* owner : {"flash.display.Sprite", "flash.display.Shape"})
    if (ClassObject* cls = m.FindClass(owner)) Install(m, cls, kOwnerMembers);
}

}  // namespace vantrel::flash::avm2
