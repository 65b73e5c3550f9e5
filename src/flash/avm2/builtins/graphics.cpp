// flash.display.Graphics: the drawing API of sprites and shapes, over the clip's
// drawing shape (display/drawing.h). Coordinates are pixels here and twips inside.
#include <QTransform>
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

// The numbers of an Array (or Vector) argument, at most limit of them (gradients read
// 256, paths all a drawing can hold).
std::vector<double> Numbers(Machine& m, const Value& v, double limit = 256) {
  std::vector<double> out;
  if (!v.IsObject()) return out;
  const double length = m.ToNumber(m.GetPublic(v, "length"));
  const double count = std::isnan(length) ? 0 : std::min(length, limit);
  out.reserve(static_cast<std::size_t>(std::max(0.0, count)));
  for (double i = 0; i < count; ++i) out.push_back(m.ToNumber(m.GetPublic(v, std::to_string(static_cast<long long>(i)))));
  return out;
}

// The gradient of beginGradientFill/lineGradientStyle: type, colours, alphas, ratios,
// matrix (a flash.geom.Matrix; none is a 100 px box at the origin), spread method,
// interpolation and focal point. False when the arguments describe none.
bool GradientOf(Machine& m, const Value* args, int argc, FillStyle& fill) {
  const std::string type = StrArg(m, args, argc, 0);
  if (type != "linear" && type != "radial") m.ThrowError("ArgumentError", 2008, "Parameter type must be one of the accepted values.");
  const std::vector<double> colors = Numbers(m, Arg(args, argc, 1));
  std::vector<double> alphas = Numbers(m, Arg(args, argc, 2));
  std::vector<double> ratios = Numbers(m, Arg(args, argc, 3));
  // Without alphas every colour is opaque; without ratios the colours spread evenly
  // over the gradient.
  if (Arg(args, argc, 2).IsNullish()) alphas.assign(colors.size(), 1.0);
  if (Arg(args, argc, 3).IsNullish() && !colors.empty()) {
    ratios.clear();
    const double last = static_cast<double>(std::max<std::size_t>(colors.size(), 2) - 1);
    for (std::size_t i = 0; i < colors.size(); ++i) ratios.push_back(std::round(255.0 * static_cast<double>(i) / last));
  }
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


// The bitmap fill of beginBitmapFill and lineBitmapStyle (bitmap, matrix = null, repeat
// = true, smooth = false): the pixels the bitmap has now, one pixel to a unit of the
// matrix (which maps them to the drawing's pixels).
bool BitmapFillOf(Machine& m, const Value* args, int argc, FillStyle& fill) {
  const Value data = Arg(args, argc, 0);
  if (data.IsNullish()) m.ThrowTypeError(2007, "Parameter bitmap must be non-null.");
  BitmapPixels* pixels = BitmapPixelsOf(data);
  if (!pixels) m.ThrowError("ArgumentError", 2015, "Invalid BitmapData.");
  const bool repeat = argc > 2 ? m.ToBoolean(args[2]) : true;
  const bool smooth = m.ToBoolean(Arg(args, argc, 3));
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
  return true;
}

using FillReader = bool (*)(Machine&, const Value*, int, FillStyle&);

// beginGradientFill and beginBitmapFill: the fill the arguments describe (none when they
// describe none).
template <FillReader Read>
Value BeginFillOf(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  FillStyle fill;
  if (Read(m, args, argc, fill)) StartFill(*d, std::move(fill));
  return Value();
}
constexpr auto BeginGradientFill = BeginFillOf<GradientOf>;
constexpr auto BeginBitmapFill = BeginFillOf<BitmapFillOf>;

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

// lineGradientStyle and lineBitmapStyle: the current line drawn with the fill the
// arguments describe (nothing without a line).
template <FillReader Read>
Value LineFillOf(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d || d->line == 0 || d->line > d->data.styleSets[0].lines.size()) return Value();
  FillStyle fill;
  if (!Read(m, args, argc, fill)) return Value();
  flash::LineStyle style = d->data.styleSets[0].lines[d->line - 1];
  style.hasFill = true;
  style.fill = std::move(fill);
  d->data.styleSets[0].lines.push_back(std::move(style));
  d->line = static_cast<std::uint32_t>(d->data.styleSets[0].lines.size());
  StyleOp(*d, false, 0, true, d->line);
  return Value();
}
constexpr auto LineGradientStyle = LineFillOf<GradientOf>;
constexpr auto LineBitmapStyle = LineFillOf<BitmapFillOf>;

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
// A rectangle with rounded corners, clockwise from the bottom of the right edge; each
// corner (bottom right, bottom left, top left, top right) has its own radii, a quarter
// ellipse drawn as two curves. A corner without radii is a plain corner.
void RoundedRect(ScriptDrawing& d, double x, double y, double w, double h, const double rx[4], const double ry[4]) {
  const double k = 1 - std::sqrt(0.5);  // a corner's 45° point, inset from the box
  const double c = std::tan(3.14159265358979323846 / 8);  // control offset per radius
  auto corner = [&](QPointF start, QPointF corner, QPointF end) {
    if (start == end) return;
    const QPointF mid = Twips(corner + ((start - corner) + (end - corner)) * k);
    const QPointF c1 = Twips(start + (corner - start) * c);
    const QPointF c2 = Twips(end + (corner - end) * c);
    AddEdge(d, mid, &c1);
    AddEdge(d, end, &c2);
  };
  Move(d, QPointF(x + w, y + h - ry[0]));
  corner(QPointF(x + w, y + h - ry[0]), QPointF(x + w, y + h), QPointF(x + w - rx[0], y + h));
  AddEdge(d, QPointF(x + rx[1], y + h), nullptr);
  corner(QPointF(x + rx[1], y + h), QPointF(x, y + h), QPointF(x, y + h - ry[1]));
  AddEdge(d, QPointF(x, y + ry[2]), nullptr);
  corner(QPointF(x, y + ry[2]), QPointF(x, y), QPointF(x + rx[2], y));
  AddEdge(d, QPointF(x + w - rx[3], y), nullptr);
  corner(QPointF(x + w - rx[3], y), QPointF(x + w, y), QPointF(x + w, y + ry[3]));
  AddEdge(d, QPointF(x + w, y + h - ry[0]), nullptr);
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
  const double rxs[4] = {rx, rx, rx, rx}, rys[4] = {ry, ry, ry, ry};
  RoundedRect(*d, x, y, w, h, rxs, rys);
  return Value();
}

// drawRoundRectComplex(x, y, width, height, topLeft, topRight, bottomLeft, bottomRight):
// a radius per corner, none larger than half the shorter side.
Value DrawRoundRectComplex(Machine& m, const Value& self, const Value* args, int argc) {
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d) return Value();
  const double x = Coordinate(m, args, argc, 0), y = Coordinate(m, args, argc, 1);
  const double w = Coordinate(m, args, argc, 2), h = Coordinate(m, args, argc, 3);
  const double most = std::min(std::fabs(w), std::fabs(h)) / 2;
  const auto radius = [&](int index) { return std::clamp(Coordinate(m, args, argc, index), 0.0, most); };
  const double radii[4] = {radius(7), radius(6), radius(4), radius(5)};
  RoundedRect(*d, x, y, w, h, radii, radii);
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


// The winding of drawPath and GraphicsPath: "evenOdd" or "nonZero" exactly; anything
// else (null too) is refused. True for non-zero.
bool NonZeroWinding(Machine& m, const Value& v) {
  const std::string winding = v.IsNullish() ? std::string() : m.ToString(v);
  if (winding == "nonZero") return true;
  if (winding != "evenOdd") m.ThrowError("ArgumentError", 2008, "Parameter winding must be one of the accepted values.");
  return false;
}

// Every number of a Vector (or Array) argument, for path data.
std::vector<double> AllNumbers(Machine& m, const Value& v) { return Numbers(m, v, static_cast<double>(kMaxDrawingOps) * 6); }

// How many numbers each GraphicsPathCommand takes: NO_OP, MOVE_TO, LINE_TO, CURVE_TO,
// WIDE_MOVE_TO, WIDE_LINE_TO, CUBIC_CURVE_TO. Other values take none and draw nothing.
std::size_t PathCommandNumbers(double command) {
  static constexpr std::size_t kNumbers[] = {0, 2, 2, 4, 4, 4, 6};
  return command >= 0 && command <= 6 ? kNumbers[static_cast<int>(command)] : 0;
}

double PathTwips(double pixels) { return std::isnan(pixels) ? 0 : std::clamp(pixels, -1e7, 1e7) * 20; }

// drawPath's body. Without data the commands are not even looked at; data too short for
// the commands draws nothing and throws. A non-zero path makes the whole drawing fill
// by the non-zero rule (a drawing has one rule).
void DrawPathInto(Machine& m, ScriptDrawing& d, const std::vector<double>& commands, const std::vector<double>& data,
                  bool nonZero) {
  if (data.empty()) return;
  std::size_t needed = 0;
  for (double command : commands) needed += PathCommandNumbers(command);
  if (needed > data.size()) m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  if (nonZero) d.data.nonZeroWinding = true;
  std::size_t at = 0;
  const auto point = [&](std::size_t i) { return QPointF(PathTwips(data[i]), PathTwips(data[i + 1])); };
  for (double command : commands) {
    switch (static_cast<int>(command)) {
      case 1: Move(d, point(at)); break;
      case 2: AddEdge(d, point(at), nullptr); break;
      case 3: {
        const QPointF control = point(at);
        AddEdge(d, point(at + 2), &control);
        break;
      }
      case 4: Move(d, point(at + 2)); break;
      case 5: AddEdge(d, point(at + 2), nullptr); break;
      case 6: AddCubic(d, point(at), point(at + 2), point(at + 4)); break;
      default: break;
    }
    at += PathCommandNumbers(command);
  }
}

// drawPath(commands, data, winding = "evenOdd")
Value DrawPath(Machine& m, const Value& self, const Value* args, int argc) {
  const bool nonZero = argc > 2 && NonZeroWinding(m, args[2]);
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (d) DrawPathInto(m, *d, AllNumbers(m, Arg(args, argc, 0)), AllNumbers(m, Arg(args, argc, 1)), nonZero);
  return Value();
}


// drawTriangles(vertices, indices = null, uvtData = null, culling = "none"): triangles of
// the current fill, by threes of points or by threes of indices into the points. A
// culling of "positive" leaves out triangles whose points turn clockwise on the screen
// (their normal points away), "negative" those that turn the other way. With a bitmap
// fill and uvtData, each triangle shows the part of the bitmap its points' (u, v) name.
// Each triangle is filled on its own, so overlapping ones do not cancel out.
// Points that do not make whole triangles, or indices that do not, are refused (#2004);
// an index past the points ends the drawing there.
Value DrawTriangles(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string culling = argc > 3 ? (args[3].IsNullish() ? std::string() : m.ToString(args[3])) : "none";
  if (culling != "none" && culling != "positive" && culling != "negative")
    m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  const std::vector<double> numbers = AllNumbers(m, Arg(args, argc, 0));
  const Value indexValue = Arg(args, argc, 1);
  const bool indexed = !indexValue.IsNullish();
  const std::vector<double> given = indexed ? AllNumbers(m, indexValue) : std::vector<double>();
  if (indexed ? (numbers.size() % 2 != 0 || given.size() % 3 != 0) : numbers.size() % 6 != 0)
    m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  ScriptDrawing* d = DrawingFor(m, self, true);
  if (!d || numbers.empty()) return Value();
  const std::size_t points = numbers.size() / 2;
  std::vector<std::size_t> order;
  if (indexed) {
    for (double i : given) order.push_back(i >= 0 && i < static_cast<double>(points) ? static_cast<std::size_t>(i) : points);
  } else {
    for (std::size_t i = 0; i < points; ++i) order.push_back(i);
  }
  // uvtData: (u, v) or (u, v, t) per point.
  const std::vector<double> uvt = AllNumbers(m, Arg(args, argc, 2));
  const std::size_t stride = uvt.size() == points * 3 ? 3 : 2;
  const bool mapped = uvt.size() >= points * 2;
  const FillStyle* current =
      d->fillOpen && !d->data.styleSets[0].fills.empty() ? &d->data.styleSets[0].fills.back() : nullptr;
  const bool bitmap = current && current->bitmap && !current->bitmap->image.isNull() && mapped;
  const bool filled = current != nullptr;
  const FillStyle original = filled ? *current : FillStyle();  // current moves as fills are added
  const auto at = [&](std::size_t i) { return QPointF(PathTwips(numbers[2 * i]), PathTwips(numbers[2 * i + 1])); };
  for (std::size_t t = 0; t + 2 < order.size(); t += 3) {
    const std::size_t a = order[t], b = order[t + 1], c = order[t + 2];
    if (a >= points || b >= points || c >= points) break;
    const QPointF p0 = at(a), p1 = at(b), p2 = at(c);
    const double turn = (p1.x() - p0.x()) * (p2.y() - p0.y()) - (p1.y() - p0.y()) * (p2.x() - p0.x());
    if ((culling == "positive" && turn > 0) || (culling == "negative" && turn < 0)) continue;
    // Each triangle is a fill of its own: where triangles overlap, the later one shows.
    FillStyle fill = original;
    if (bitmap) {
      // The affine map from the bitmap's pixels at the three (u, v) to the three points.
      const double w = original.bitmap->image.width(), h = original.bitmap->image.height();
      const QPointF s0(uvt[stride * a] * w, uvt[stride * a + 1] * h), s1(uvt[stride * b] * w, uvt[stride * b + 1] * h),
          s2(uvt[stride * c] * w, uvt[stride * c + 1] * h);
      const QTransform fromUnit(s1.x() - s0.x(), s1.y() - s0.y(), s2.x() - s0.x(), s2.y() - s0.y(), s0.x(), s0.y());
      const QTransform toPoints(p1.x() - p0.x(), p1.y() - p0.y(), p2.x() - p0.x(), p2.y() - p0.y(), p0.x(), p0.y());
      bool invertible = false;
      const QTransform map = fromUnit.inverted(&invertible) * toPoints;
      if (invertible) fill.matrix = Matrix{map.m11(), map.m12(), map.m21(), map.m22(), map.dx(), map.dy()};
    }
    if (filled) StartFill(*d, std::move(fill));
    Move(*d, p0);
    AddEdge(*d, p1, nullptr);
    AddEdge(*d, p2, nullptr);
    AddEdge(*d, p0, nullptr);
  }
  if (bitmap) StartFill(*d, original);
  return Value();
}

// copyFrom(source): this drawing becomes a copy of the source's, whatever it held.
Value CopyFrom(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* target = Receiver<NativeObject>(m, self, ObjectKind::Other, "Graphics");
  const Value source = Arg(args, argc, 0);
  if (source.IsNullish()) m.ThrowTypeError(2007, "Parameter sourceGraphics must be non-null.");
  NativeObject* from = Receiver<NativeObject>(m, source, ObjectKind::Other, "Graphics");
  if (!target->display || !target->display->IsContainer() || from == target) return Value();
  auto& clip = *static_cast<MovieClip*>(target->display);
  const ScriptDrawing* drawing =
      from->display && from->display->IsContainer() ? DrawingOf(*static_cast<MovieClip*>(from->display), false) : nullptr;
  if (drawing) {
    clip.drawing = std::make_shared<ScriptDrawing>(*drawing);
  } else {
    clip.drawing.reset();
  }
  return Value();
}

// The class of an IGraphicsData object ("" for anything else).
std::string GraphicsDataKind(const Value& v) {
  if (!v.IsObject()) return {};
  for (const ClassObject* c = v.object->cls; c; c = c->base)
    if (c->package == "flash.display" && c->name.rfind("Graphics", 0) == 0 && c->name != "Graphics") return c->name;
  return {};
}

// drawGraphicsData(graphicsData): each object as the call it stands for, in order.
Value DrawGraphicsData(Machine& m, const Value& self, const Value* args, int argc) {
  const Value list = Arg(args, argc, 0);
  if (list.IsNullish()) m.ThrowTypeError(2007, "Parameter graphicsData must be non-null.");
  const double length = m.ToNumber(m.GetPublic(list, "length"));
  for (double i = 0; i < length; ++i) {
    const Value item = m.GetPublic(list, std::to_string(static_cast<long long>(i)));
    const std::string kind = GraphicsDataKind(item);
    const auto get = [&](const char* name) { return m.GetPublic(item, name); };
    if (kind == "GraphicsSolidFill") {
      const Value a[] = {get("color"), get("alpha")};
      BeginFill(m, self, a, 2);
    } else if (kind == "GraphicsGradientFill") {
      const Value a[] = {get("type"),   get("colors"),       get("alphas"),
                         get("ratios"), get("matrix"),       get("spreadMethod"),
                         get("interpolationMethod"), get("focalPointRatio")};
      BeginGradientFill(m, self, a, 8);
    } else if (kind == "GraphicsBitmapFill") {
      const Value a[] = {get("bitmapData"), get("matrix"), get("repeat"), get("smooth")};
      BeginBitmapFill(m, self, a, 4);
    } else if (kind == "GraphicsEndFill") {
      EndFill(m, self, nullptr, 0);
    } else if (kind == "GraphicsStroke") {
      const Value fill = get("fill");
      const std::string fillKind = GraphicsDataKind(fill);
      const Value color = fillKind == "GraphicsSolidFill" ? m.GetPublic(fill, "color") : Value::Number(0);
      const Value alpha = fillKind == "GraphicsSolidFill" ? m.GetPublic(fill, "alpha") : Value::Number(1);
      const Value a[] = {get("thickness"), color, alpha, get("pixelHinting"), get("scaleMode"), get("caps"), get("joints"),
                         get("miterLimit")};
      LineStyle(m, self, a, 8);
      if (fillKind == "GraphicsGradientFill") {
        const Value g[] = {m.GetPublic(fill, "type"), m.GetPublic(fill, "colors"), m.GetPublic(fill, "alphas"),
                           m.GetPublic(fill, "ratios"), m.GetPublic(fill, "matrix"), m.GetPublic(fill, "spreadMethod"),
                           m.GetPublic(fill, "interpolationMethod"), m.GetPublic(fill, "focalPointRatio")};
        LineGradientStyle(m, self, g, 8);
      } else if (fillKind == "GraphicsBitmapFill") {
        const Value b[] = {m.GetPublic(fill, "bitmapData"), m.GetPublic(fill, "matrix"), m.GetPublic(fill, "repeat"),
                           m.GetPublic(fill, "smooth")};
        LineBitmapStyle(m, self, b, 4);
      }
    } else if (kind == "GraphicsPath") {
      const Value a[] = {get("commands"), get("data"), get("winding")};
      DrawPath(m, self, a, 3);
    } else if (kind == "GraphicsTrianglePath") {
      const Value a[] = {get("vertices"), get("indices"), get("uvtData"), get("culling")};
      DrawTriangles(m, self, a, 4);
    }
  }
  return Value();
}

// ---- GraphicsPath: commands and data (public variables) and the winding ----

NativeObject* PathOf(Machine& m, const Value& self, const char* method) {
  return Receiver<NativeObject>(m, self, ObjectKind::Other, method);
}

Value PathConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const bool nonZero = argc > 2 && NonZeroWinding(m, args[2]);
  PathOf(m, self, "GraphicsPath")->text = nonZero ? "nonZero" : "evenOdd";
  m.SetPublic(self, "commands", Arg(args, argc, 0).IsUndefined() ? Value::Null() : Arg(args, argc, 0));
  m.SetPublic(self, "data", Arg(args, argc, 1).IsUndefined() ? Value::Null() : Arg(args, argc, 1));
  return Value();
}

Value PathWinding(Machine& m, const Value& self, const Value*, int) {
  const std::string& winding = PathOf(m, self, "winding")->text;
  return m.StrValue(winding.empty() ? "evenOdd" : winding);
}
Value SetPathWinding(Machine& m, const Value& self, const Value* args, int argc) {
  const bool nonZero = NonZeroWinding(m, Arg(args, argc, 0));
  PathOf(m, self, "winding")->text = nonZero ? "nonZero" : "evenOdd";
  return Value();
}

// Adds one command and its numbers, making the vectors when the path has none.
void PathAdd(Machine& m, const Value& self, int command, std::initializer_list<Value> numbers) {
  const auto vectorOf = [&](const char* field, ClassObject* type) {
    Value v = m.GetPublic(self, field);
    if (v.IsNullish()) {
      ClassObject* vectorClass = ApplyVector(m, type);
      v = vectorClass ? m.Construct(Value::Obj(vectorClass), nullptr, 0) : Value::Null();
      m.SetPublic(self, field, v);
    }
    return v;
  };
  const Value commands = vectorOf("commands", m.intClass);
  const Value data = vectorOf("data", m.numberClass);
  if (commands.IsNullish() || data.IsNullish()) return;
  m.CallPublic(commands, "push", {Value::Number(command)});
  m.CallPublic(data, "push", std::vector<Value>(numbers));
}

template <int Command, int Count>
Value PathCommand(Machine& m, const Value& self, const Value* args, int argc) {
  PathOf(m, self, "GraphicsPath");
  const auto num = [&](int i) { return Value::Number(NumArg(m, args, argc, i, NAN)); };
  if constexpr (Count == 2) PathAdd(m, self, Command, {num(0), num(1)});
  if constexpr (Count == 4) PathAdd(m, self, Command, {num(0), num(1), num(2), num(3)});
  if constexpr (Count == 6) PathAdd(m, self, Command, {num(0), num(1), num(2), num(3), num(4), num(5)});
  return Value();
}

// wideMoveTo/wideLineTo take one point and store it after a dummy pair.
template <int Command>
Value PathWideCommand(Machine& m, const Value& self, const Value* args, int argc) {
  PathOf(m, self, "GraphicsPath");
  PathAdd(m, self, Command, {Value::Number(0), Value::Number(0), Value::Number(NumArg(m, args, argc, 0, NAN)),
                             Value::Number(NumArg(m, args, argc, 1, NAN))});
  return Value();
}

// ---- the plain data classes of drawGraphicsData: their variables are the API's own
// slots; the constructors set them from the arguments, with the documented defaults ----

struct DataField {
  const char* name;
  Value (*fallback)(Machine&);
};
struct DataClass {
  const char* name;
  std::vector<DataField> fields;
};

const std::vector<DataClass>& DataClasses() {
  static const auto null = [](Machine&) { return Value::Null(); };
  static const std::vector<DataClass> classes = {
      {"GraphicsSolidFill",
       {{"color", [](Machine&) { return Value::Number(0); }}, {"alpha", [](Machine&) { return Value::Number(1); }}}},
      {"GraphicsGradientFill",
       {{"type", [](Machine& m) { return m.StrValue("linear"); }},
        {"colors", null},
        {"alphas", null},
        {"ratios", null},
        {"matrix", null},
        {"spreadMethod", [](Machine& m) { return m.StrValue("pad"); }},
        {"interpolationMethod", [](Machine& m) { return m.StrValue("rgb"); }},
        {"focalPointRatio", [](Machine&) { return Value::Number(0); }}}},
      {"GraphicsBitmapFill",
       {{"bitmapData", null},
        {"matrix", null},
        {"repeat", [](Machine&) { return Value::Bool(true); }},
        {"smooth", [](Machine&) { return Value::Bool(false); }}}},
      {"GraphicsStroke",
       {{"thickness", [](Machine&) { return Value::Number(NAN); }},
        {"pixelHinting", [](Machine&) { return Value::Bool(false); }},
        {"scaleMode", [](Machine& m) { return m.StrValue("normal"); }},
        {"caps", [](Machine& m) { return m.StrValue("none"); }},
        {"joints", [](Machine& m) { return m.StrValue("round"); }},
        {"miterLimit", [](Machine&) { return Value::Number(3); }},
        {"fill", null}}},
      {"GraphicsEndFill", {}},
      {"GraphicsTrianglePath",
       {{"vertices", null}, {"indices", null}, {"uvtData", null}, {"culling", [](Machine& m) { return m.StrValue("none"); }}}},
  };
  return classes;
}

// The data classes' string properties that accept only some values: a setter refuses
// the others (null too), as the player does.
struct CheckedField {
  const char* cls;
  const char* name;
  std::vector<const char*> accepted;  // the first is where a new object starts
};
const std::vector<CheckedField>& CheckedFields() {
  static const std::vector<CheckedField> fields = {
      {"GraphicsGradientFill", "type", {"linear", "radial"}},
      {"GraphicsGradientFill", "spreadMethod", {"pad", "reflect", "repeat"}},
      {"GraphicsGradientFill", "interpolationMethod", {"rgb", "linearRGB"}},
      {"GraphicsStroke", "scaleMode", {"normal", "none", "vertical", "horizontal"}},
      {"GraphicsStroke", "caps", {"none", "round", "square"}},
      {"GraphicsStroke", "joints", {"round", "bevel", "miter"}},
      {"GraphicsTrianglePath", "culling", {"none", "positive", "negative"}},
  };
  return fields;
}

Value& CheckedStore(Machine& m, const Value& self, std::size_t index) {
  auto* o = Receiver<NativeObject>(m, self, ObjectKind::Other, CheckedFields()[index].name);
  if (o->list.size() < CheckedFields().size()) o->list.resize(CheckedFields().size());
  return o->list[index];
}
Value CheckedGet(Machine& m, const Value& self, const Value*, int) {
  const auto index = static_cast<std::size_t>(NativeTag(m));
  const Value& v = CheckedStore(m, self, index);
  return v.IsUndefined() ? m.StrValue(CheckedFields()[index].accepted.front()) : v;
}
Value CheckedSet(Machine& m, const Value& self, const Value* args, int argc) {
  const auto index = static_cast<std::size_t>(NativeTag(m));
  const CheckedField& field = CheckedFields()[index];
  const Value v = Arg(args, argc, 0);
  const std::string text = v.IsNullish() ? std::string() : m.ToString(v);
  if (v.IsNullish() || std::none_of(field.accepted.begin(), field.accepted.end(), [&](const char* a) { return text == a; }))
    m.ThrowError("ArgumentError", 2008, std::string("Parameter ") + field.name + " must be one of the accepted values.");
  CheckedStore(m, self, index) = m.StrValue(text);
  return Value();
}

Value DataConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const auto& classes = DataClasses();
  const auto index = static_cast<std::size_t>(NativeTag(m));
  if (index >= classes.size()) return Value();
  const auto& fields = classes[index].fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Value given = Arg(args, argc, static_cast<int>(i));
    m.SetPublic(self, fields[i].name, static_cast<int>(i) < argc ? given : fields[i].fallback(m));
  }
  return Value();
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
      {"drawRoundRectComplex", DrawRoundRectComplex, nullptr, 0, 0},
      {"clear", Clear, nullptr, 0, 0},
      {"drawPath", DrawPath, nullptr, 0, 0},
      {"drawTriangles", DrawTriangles, nullptr, 0, 0},
      {"copyFrom", CopyFrom, nullptr, 0, 0},
      {"lineBitmapStyle", LineBitmapStyle, nullptr, 0, 0},
      {"drawGraphicsData", DrawGraphicsData, nullptr, 0, 0},
  };
  Install(m, graphics, kGraphicsMembers);
  ClassObject* path = m.DefineClass("flash.display", "GraphicsPath", m.objectClass, PathConstruct);
  path->allocate = AllocateNative<>;
  static const Member kPathMembers[] = {
      {"winding", PathWinding, SetPathWinding, kAccessor, 0},
      {"moveTo", PathCommand<1, 2>, nullptr, 0, 0},
      {"lineTo", PathCommand<2, 2>, nullptr, 0, 0},
      {"curveTo", PathCommand<3, 4>, nullptr, 0, 0},
      {"wideMoveTo", PathWideCommand<4>, nullptr, 0, 0},
      {"wideLineTo", PathWideCommand<5>, nullptr, 0, 0},
      {"cubicCurveTo", PathCommand<6, 6>, nullptr, 0, 0},
  };
  Install(m, path, kPathMembers);
  static const Member kOwnerMembers[] = {
      {"graphics", GraphicsOf, nullptr, kAccessor, 0},
  };
  for (const char* owner : {"flash.display.Sprite", "flash.display.Shape"})
    if (ClassObject* cls = m.FindClass(owner)) Install(m, cls, kOwnerMembers);
}

void InstallGraphicsData(Machine& m) {
  const auto& classes = DataClasses();
  for (std::size_t i = 0; i < classes.size(); ++i) {
    ClassObject* cls = m.FindClass(std::string("flash.display.") + classes[i].name);
    if (!cls) continue;
    cls->init = m.NativeMethod(classes[i].name, DataConstruct, static_cast<int>(i));
    cls->init->declaringClass = cls;
    cls->init->role = MethodInfo::Role::Constructor;
    cls->allocate = AllocateNative<>;
  }
  const auto& checked = CheckedFields();
  for (std::size_t i = 0; i < checked.size(); ++i) {
    ClassObject* cls = m.FindClass(std::string("flash.display.") + checked[i].cls);
    if (!cls) continue;
    const auto it = cls->instanceTraits->bindings.find(m.Intern(checked[i].name));
    if (it == cls->instanceTraits->bindings.end()) continue;
    for (Binding& b : it->second) {
      if (b.ns != m.PublicNs() || b.kind != Binding::Kind::Accessor) continue;
      b.getter = m.NativeMethod(checked[i].name, CheckedGet, static_cast<int>(i));
      b.getter->declaringClass = cls;
      b.getter->role = MethodInfo::Role::Getter;
      b.setter = m.NativeMethod(checked[i].name, CheckedSet, static_cast<int>(i));
      b.setter->declaringClass = cls;
      b.setter->role = MethodInfo::Role::Setter;
    }
  }
}

}  // namespace vantrel::flash::avm2
