// MovieClip: the timeline methods, depths and instances made by scripts, bounds and
// coordinates, hit tests, dragging, masks, loading, and the drawing API; also the
// global functions of the display side (setInterval and friends, updateAfterEvent).
#include <algorithm>
#include <cmath>
#include <optional>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/avm1/movie_host.h"
#include "flash/character/shape.h"
#include "flash/display/drawing.h"
#include "flash/display/hit_test.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/stage_points.h"
#include "flash/display/text_field.h"

namespace vantrel::flash::avm1 {

namespace {

Interpreter& Machine(Call& call) { return static_cast<Interpreter&>(call.machine); }

MovieClip* ClipOf(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d && d->IsContainer() ? static_cast<MovieClip*>(d) : nullptr;
}

DisplayObject* DisplayArg(Call& call, std::size_t i) {
  const Value v = call.Arg(i);
  if (Object* o = v.AsObject())
    if (DisplayObject* d = call.machine.AsDisplay(o)) return d;
  MovieClip* clip = ClipOf(call);
  if (!clip) return nullptr;
  // Anything else is a path from the clip as its text says it: undefined names a child
  // called "undefined", an object whatever its toString answers. An empty path names no
  // clip here (it is no way back to the clip itself).
  const std::string path = call.machine.ToString(v);
  if (path.empty()) return nullptr;
  return ResolveTarget(Machine(call), clip, path);
}

Value Goto(Call& call, bool play) {
  MovieClip* clip = ClipOf(call);
  if (clip && call.Count() > 0) GotoFrameValue(Machine(call), clip, call.Arg(0), play, 0);
  return {};
}

Value Play(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->Play();
  return {};
}
Value Stop(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->Stop();
  return {};
}
Value NextFrame(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->NextFrame();
  return {};
}
Value PrevFrame(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->PrevFrame();
  return {};
}
Value GotoAndPlay(Call& call) { return Goto(call, true); }
Value GotoAndStop(Call& call) { return Goto(call, false); }

Value GetDepth(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d ? Value::Number(d->depth) : Value();
}

// swapDepths takes a sibling (an object or a target path from the clip) or a depth: a
// number wraps to 32 bits, then stays within the depths scripts may use. Anything
// that is no number counts as depth 0; undefined, or a clip of another parent, does
// nothing. A clip that has swapped no longer follows its timeline.
Value SwapDepths(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d || !d->Parent()) return {};
  MovieClip* parent = d->Parent();
  const Value target = call.Arg(0);
  if (target.IsUndefined()) return {};
  std::int32_t depth = 0;
  DisplayObject* other = nullptr;
  if (Object* o = target.AsObject()) other = call.machine.AsDisplay(o);
  else if (target.IsString() && d->IsContainer())
    other = ResolveTarget(Machine(call), static_cast<MovieClip*>(d), call.machine.ToString(target));
  if (other) {
    if (other->Parent() != parent) return {};
    depth = other->depth;
  } else {
    depth = std::clamp(ToInt32(call.machine.ToNumber(target)), -16384, 2130690044);
  }
  d->transformedByScript = true;
  parent->SwapDepths(d, depth);
  return {};
}

Value GetNextHighestDepth(Call& call) {
  MovieClip* clip = ClipOf(call);
  return clip ? Value::Number(clip->NextHighestDepth()) : Value();
}

Value GetInstanceAtDepth(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  const double n = call.machine.ToNumber(call.Arg(0));
  if (std::isnan(n)) return {};
  DisplayObject* child = clip->ChildAt(ToInt32(n));
  if (!child) return {};
  return ScriptObjectOf(child) ? DisplayValue(child) : DisplayValue(clip);
}

// Scripts may place clips from depth -16384 up to 2130690044; outside that the
// call makes nothing.
std::optional<std::int32_t> DepthArg(Call& call, std::size_t i) {
  const double n = call.machine.ToNumber(call.Arg(i));
  if (!std::isfinite(n)) return std::isnan(n) ? std::optional<std::int32_t>(0) : std::nullopt;
  // The depth wraps to 32 bits first (2^32 is depth 0), then the range applies.
  const double wrapped = std::fmod(std::trunc(n), 4294967296.0);
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(wrapped < 0 ? wrapped + 4294967296.0 : wrapped));
  const auto depth = static_cast<std::int32_t>(bits);
  if (depth < -16384 || depth > 2130690044) return std::nullopt;
  return depth;
}

Value AttachMovie(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || call.Count() < 3) return {};
  const std::string id = call.machine.ToString(call.Arg(0));
  const std::string name = call.machine.ToString(call.Arg(1));
  const std::optional<std::int32_t> depth = DepthArg(call, 2);
  if (!depth) return {};
  MovieRuntime& player = clip->GetPlayer();
  const std::uint16_t characterId = clip->Movie()->Exported(id);
  auto character = characterId ? clip->Movie()->Find(characterId) : nullptr;
  // A button symbol attaches as a button (its class stays Button).
  if (!character || (character->Kind() != CharacterKind::Sprite && character->Kind() != CharacterKind::Button)) return {};
  if (clip->Nesting() >= MovieClip::kMaxNesting || !player.CountCreation()) return {};
  DisplayObject* made = player.Create(clip->Movie(), character, characterId);
  if (!made || !made->IsContainer()) return {};
  auto* child = static_cast<MovieClip*>(made);
  child->name = name;
  child->placedByScript = true;
  clip->AddChild(child, *depth);
  HostOf(player).PostInstantiate(child, call.Arg(3).AsObject(), true);
  return DisplayValue(child);
}

Value CreateEmptyMovieClip(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || call.Count() < 2) return {};
  MovieRuntime& player = clip->GetPlayer();
  std::string name = call.machine.ToString(call.Arg(0));
  const std::optional<std::int32_t> depth = DepthArg(call, 1);
  if (!depth) return {};
  if (clip->Nesting() >= MovieClip::kMaxNesting || !player.CountCreation()) return {};
  MovieClip* child = player.CreateEmptyClip(clip->Movie());
  child->name = std::move(name);
  child->placedByScript = true;
  clip->AddChild(child, *depth);
  HostOf(player).PostInstantiate(child, nullptr, true);
  // The new clip's onConstruct (usually one on MovieClip.prototype) runs at once.
  const Value made = DisplayValue(child);
  call.machine.CallHandler(made, "onConstruct", {});
  return made;
}

Value DuplicateMovieClip(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d || call.Count() < 2) return {};
  const std::string name = call.machine.ToString(call.Arg(0));
  const std::optional<std::int32_t> depth = DepthArg(call, 1);
  if (!depth) return {};
  DisplayObject* copy = DuplicateClip(Machine(call), d, name, *depth, call.Arg(2).AsObject());
  return DisplayValue(copy);
}

Value RemoveMovieClip(Call& call) {
  RemoveSprite(Machine(call), call.machine.AsDisplay(call.self));
  return {};
}

Value CreateTextField(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || call.Count() < 6) return {};
  MovieRuntime& player = clip->GetPlayer();
  if (!player.CountCreation()) return {};
  // Position and size are whole pixels (towards zero); the size has no sign.
  const double x = std::trunc(call.machine.ToNumber(call.Arg(2))), y = std::trunc(call.machine.ToNumber(call.Arg(3)));
  const double w = std::abs(std::trunc(call.machine.ToNumber(call.Arg(4))));
  const double h = std::abs(std::trunc(call.machine.ToNumber(call.Arg(5))));
  // Infinite positions and sizes count as 0.
  auto twips = [](double v) { return static_cast<std::int32_t>(std::isfinite(v) ? std::clamp(v * 20, -1e9, 1e9) : 0); };
  auto* field =
      player.Heap().Make<TextField>(player, clip->Movie(), ScriptFieldDefinition(clip->Movie(), Rect{0, twips(w), 0, twips(h)}));
  field->serial = player.NextSerial();
  field->name = call.machine.ToString(call.Arg(0));
  field->placedByScript = true;
  Matrix m;
  m.tx = twips(x);
  m.ty = twips(y);
  field->SetMatrix(m);
  clip->AddChild(field, DepthArg(call, 1).value_or(0));
  HostOf(player).TextFieldPlaced(*field);
  // Version 8 returns the field; earlier ones nothing.
  return call.machine.Version() >= 8 ? DisplayValue(field) : Value();
}

QRectF BoundsIn(DisplayObject& object, DisplayObject* space, bool wide = false) {
  const QRectF local = object.LocalBounds();
  if (local.isNull()) {
    const double corner = wide ? 134217728 : 134217727;
    return QRectF(QPointF(corner, corner), QPointF(corner, corner));
  }
  return BoundsInSpace(object, space);
}

Value GetBounds(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d) return {};
  DisplayObject* space = call.Count() > 0 ? DisplayArg(call, 0) : d;
  if (call.Count() > 0 && !space) return {};
  // SWF 8 code switches to the wider corners for good; a clip measured in its own space
  // still answers with the corners from before the switch.
  MovieRuntime& player = d->GetPlayer();
  const bool switches = call.machine.Version() >= 8;
  if (player.SwfVersion() >= 8 || (switches && space != d)) player.wideInvalidBounds = true;
  const QRectF r = BoundsIn(*d, space, player.wideInvalidBounds);
  if (switches) player.wideInvalidBounds = true;
  Object* out = call.machine.NewObject();
  out->Define("xMin", Value::Number(r.left() / 20.0));
  out->Define("xMax", Value::Number(r.right() / 20.0));
  out->Define("yMin", Value::Number(r.top() / 20.0));
  out->Define("yMax", Value::Number(r.bottom() / 20.0));
  return Value::Obj(out);
}

Value MapPoint(Call& call, bool toGlobal) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  Object* point = call.Arg(0).AsObject();
  if (!d || !point) return {};
  // Only the point's own x and y count, and only numbers: otherwise it is left as it is.
  const bool caseSensitive = call.machine.CaseSensitive();
  if (!point->FindOwn("x", caseSensitive) || !point->FindOwn("y", caseSensitive)) return {};
  const Value vx = call.machine.Get(point, "x"), vy = call.machine.Get(point, "y");
  if (!vx.IsNumber() || !vy.IsNumber()) return {};
  const QPointF from(vx.number, vy.number);
  const std::optional<QPointF> mapped = toGlobal ? ObjectPointToStage(*d, from) : StagePointToObject(*d, from);
  if (!mapped) return {};
  call.machine.Set(point, "x", Value::Number(mapped->x()));
  call.machine.Set(point, "y", Value::Number(mapped->y()));
  return {};
}
Value LocalToGlobal(Call& call) { return MapPoint(call, true); }
Value GlobalToLocal(Call& call) { return MapPoint(call, false); }

Value HitTest(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d) return Value::Bool(false);
  if (call.Count() >= 2) {
    const double x = call.machine.ToNumber(call.Arg(0)), y = call.machine.ToNumber(call.Arg(1));
    if (std::isnan(x) || std::isnan(y)) return Value::Bool(false);
    // The point is in the coordinates of the clip's level: a moved, scaled or turned
    // _root takes it along to the stage.
    const DisplayObject* level = d;
    while (level->Parent()) level = level->Parent();
    const Matrix& m = level->GetMatrix();
    const QPointF stage = QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty).map(QPointF(x * 20, y * 20));
    if (call.machine.ToBoolean(call.Arg(2))) return Value::Bool(ShapeHit(*d, stage, ShapeHitRules{true, true, true}));
    // The clip's box on the stage; its edges count, so a clip scaled to nothing is still
    // hit at its one point.
    const QRectF bounds = BoundsIn(*d, nullptr);
    return Value::Bool(stage.x() >= bounds.left() && stage.x() <= bounds.right() && stage.y() >= bounds.top() &&
                       stage.y() <= bounds.bottom());
  }
  DisplayObject* other = DisplayArg(call, 0);
  if (!other) return Value::Bool(false);
  return Value::Bool(BoundsIn(*d, nullptr).intersects(BoundsIn(*other, nullptr)));
}

Value StartDragMethod(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d) return {};
  double rect[4];
  const bool constrain = call.Count() >= 5;
  if (constrain) {
    for (int i = 0; i < 4; ++i) rect[i] = call.machine.ToNumber(call.Arg(1 + i));
  }
  d->GetPlayer().StartDrag(d, call.machine.ToBoolean(call.Arg(0)), constrain ? rect : nullptr);
  return {};
}

Value StopDragMethod(Call& call) {
  if (call.machine.AsDisplay(call.self)) StopDrag(Machine(call));
  return {};
}

// setMask(mask): a clip, or a target path resolved from the clip and then from its
// parent; null or undefined removes the mask. Without an argument nothing changes
// (undefined); a mask that names nothing, or the clip itself, changes nothing (false).
Value SetMask(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d || call.Count() == 0) return {};
  const Value v = call.Arg(0);
  DisplayObject* mask = nullptr;
  if (!v.IsNullish()) {
    if (Object* o = v.AsObject()) mask = call.machine.AsDisplay(o);
    if (!mask) {
      const std::string path = call.machine.ToString(v);
      mask = ResolveTarget(Machine(call), d, path);
      if (!mask && d->Parent()) mask = ResolveTarget(Machine(call), d->Parent(), path);
    }
    if (!mask || mask == d) return Value::Bool(false);
  }
  if (d->maskClip && d->maskClip->maskedBy == d) d->maskClip->maskedBy = nullptr;
  d->maskClip = nullptr;
  if (mask) {
    // A mask masks one clip: taking it from another unmasks that one.
    if (mask->maskedBy && mask->maskedBy->maskClip == mask) mask->maskedBy->maskClip = nullptr;
    d->maskClip = mask;
    mask->maskedBy = d;
  }
  return Value::Bool(true);
}

Value GetBytes(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || !clip->Movie()) return {};
  const Timeline* timeline = clip->GetTimeline();
  if (!timeline) return Value::Number(0);
  // A movie reports its file; a sprite the bytes of its own tags; an imported clip its
  // library's file (movies watch it to wait for a shared library).
  const bool imported = clip->Parent() && clip->Parent()->Movie() != clip->Movie();
  const bool sprite = timeline != &clip->Movie()->movie->root;
  return Value::Number(sprite && !imported ? timeline->bytes : clip->Movie()->Bytes());
}

Value GetSwfVersion(Call& call) {
  MovieClip* clip = ClipOf(call);
  return clip ? Value::Number(clip->Movie()->Version()) : Value();
}

Value LoadMovieMethod(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  const std::string url = call.machine.ToString(call.Arg(0));
  GetUrl(Machine(call), clip, url, clip->TargetPath(), 0, true, false);
  return {};
}

Value LoadVariablesMethod(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  clip->GetPlayer().LoadMovieInto(call.machine.ToString(call.Arg(0)), 0, clip, true, "", "");
  return {};
}

Value UnloadMovieMethod(Call& call) {
  UnloadClipMovie(ClipOf(call));
  return {};
}

Value GetUrlMethod(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  const std::string method = call.Count() > 2 ? call.machine.ToString(call.Arg(2)) : "";
  GetUrl(Machine(call), clip, call.machine.ToString(call.Arg(0)), call.machine.ToString(call.Arg(1)),
         method == "GET" ? 1 : method == "POST" ? 2 : 0, false, false);
  return {};
}

// The drawing API (display/drawing.h) on the clip the method runs on.
ScriptDrawing* DrawingOf(Call& call, bool create) {
  MovieClip* clip = ClipOf(call);
  return clip ? flash::DrawingOf(*clip, create) : nullptr;
}

Rgba ColorArg(Call& call, std::size_t rgbIndex, std::size_t alphaIndex) {
  const std::uint32_t rgb = ToUint32(call.machine.ToNumber(call.Arg(rgbIndex)));
  double alpha = call.Count() > alphaIndex ? call.machine.ToNumber(call.Arg(alphaIndex)) : 100;
  if (std::isnan(alpha)) alpha = 100;
  alpha = std::clamp(alpha, 0.0, 100.0);
  return Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
              static_cast<std::uint8_t>(std::lround(alpha * 2.55))};
}

Value BeginFill(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d) return {};
  CloseFill(*d);
  if (call.Count() == 0 || call.Arg(0).IsUndefined()) {
    d->fillOpen = false;
    StyleOp(*d, true, 0, false, 0);
    return {};
  }
  FillStyle fill;
  fill.type = FillType::Solid;
  fill.color = ColorArg(call, 0, 1);
  d->data.styleSets[0].fills.push_back(fill);
  d->fillOpen = true;
  d->fillStart = d->pen;
  StyleOp(*d, true, static_cast<std::uint32_t>(d->data.styleSets[0].fills.size()), false, 0);
  return {};
}

// A number argument of a gradient's object (NaN when missing).
double NumberOf(Call& call, Object* object, std::string_view name) {
  return call.machine.ToNumber(call.machine.Get(object, name));
}

// The gradient matrix of beginGradientFill and lineGradientStyle: {matrixType: "box",
// x, y, w, h, r}, a flash.geom.Matrix (a, b, c, d, tx, ty), or the older 3x3 form (a, b,
// d, e, g, h). Gradient square to shape twips.
bool GradientMatrix(Call& call, const Value& value, Matrix& m) {
  Object* object = value.AsObject();
  if (!object) return false;
  const auto number = [&](std::string_view name) {
    const double v = NumberOf(call, object, name);
    return std::isfinite(v) ? v : 0.0;
  };
  constexpr double kSquare = 1638.4;  // the gradient square's side in pixels
  if (call.machine.ToString(call.machine.Get(object, "matrixType")) == "box") {
    const double w = number("w"), h = number("h"), r = number("r");
    m.a = w / kSquare * std::cos(r);
    m.b = w / kSquare * std::sin(r);
    m.c = -h / kSquare * std::sin(r);
    m.d = h / kSquare * std::cos(r);
    m.tx = (number("x") + w / 2) * 20;
    m.ty = (number("y") + h / 2) * 20;
    return true;
  }
  if (call.machine.Has(object, "tx")) {
    m = Matrix{number("a"), number("b"), number("c"), number("d"), number("tx") * 20, number("ty") * 20};
    return true;
  }
  m = Matrix{number("a") / kSquare, number("b") / kSquare, number("d") / kSquare, number("e") / kSquare,
             number("g") * 20, number("h") * 20};
  return true;
}

// The gradient fill described by the arguments of beginGradientFill or
// lineGradientStyle: type, colours, alphas, ratios and matrix, then the optional spread
// method, interpolation and focal point. False when they do not describe one (wrong
// count, unknown type, arrays of different lengths, a ratio outside -1..256).
bool GradientArgs(Call& call, FillStyle& fill) {
  if (call.Count() < 5 || call.Count() > 8) return false;
  const std::string type = call.machine.ToString(call.Arg(0));
  if (type != "linear" && type != "radial") return false;
  Object* colors = call.Arg(1).AsObject();
  Object* alphas = call.Arg(2).AsObject();
  Object* ratios = call.Arg(3).AsObject();
  if (!colors || !alphas || !ratios) return false;
  const double count = NumberOf(call, colors, "length");
  if (!(count >= 1) || NumberOf(call, alphas, "length") != count || NumberOf(call, ratios, "length") != count)
    return false;
  Gradient gradient;
  const int stops = static_cast<int>(std::min(count, 15.0));  // the most a gradient record holds
  for (int i = 0; i < stops; ++i) {
    const std::string index = std::to_string(i);
    const std::uint32_t rgb = ToUint32(NumberOf(call, colors, index));
    double alpha = NumberOf(call, alphas, index);
    alpha = std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0, 100.0);
    double ratio = NumberOf(call, ratios, index);
    if (std::isnan(ratio)) ratio = 0;
    if (ratio <= -1 || ratio >= 256) return false;
    GradientStop stop;
    stop.ratio = static_cast<std::uint8_t>(std::clamp(std::trunc(ratio), 0.0, 255.0));
    stop.color = Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                      static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(std::lround(alpha * 2.55))};
    gradient.stops.push_back(stop);
  }
  if (!GradientMatrix(call, call.Arg(4), fill.matrix)) return false;
  const std::string spread = call.Count() > 5 ? call.machine.ToString(call.Arg(5)) : "";
  gradient.spread = spread == "reflect" ? SpreadMode::Reflect : spread == "repeat" ? SpreadMode::Repeat : SpreadMode::Pad;
  if (call.Count() > 6 && call.machine.ToString(call.Arg(6)) == "linearRGB")
    gradient.interpolation = InterpolationMode::LinearRgb;
  fill.type = type == "linear" ? FillType::LinearGradient : FillType::RadialGradient;
  if (fill.type == FillType::RadialGradient && call.Count() > 7) {
    const double focal = call.machine.ToNumber(call.Arg(7));
    fill.type = FillType::FocalGradient;
    gradient.focalPoint = std::isnan(focal) ? 0 : std::clamp(focal, -1.0, 1.0);
  }
  fill.gradient = std::move(gradient);
  return true;
}

Value BeginGradientFill(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d) return {};
  // No type ends the fill as beginFill() does; a call that describes no gradient
  // changes nothing.
  if (call.Count() == 0 || call.Arg(0).IsUndefined()) {
    CloseFill(*d);
    d->fillOpen = false;
    StyleOp(*d, true, 0, false, 0);
    return {};
  }
  FillStyle fill;
  if (!GradientArgs(call, fill)) return {};
  CloseFill(*d);
  d->data.styleSets[0].fills.push_back(std::move(fill));
  d->fillOpen = true;
  d->fillStart = d->pen;
  StyleOp(*d, true, static_cast<std::uint32_t>(d->data.styleSets[0].fills.size()), false, 0);
  return {};
}

// Gives the current line a gradient instead of its colour; without arguments the line
// goes back to its colour. Lines drawn before keep their style.
Value LineGradientStyle(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d || d->line == 0 || d->line > d->data.styleSets[0].lines.size()) return {};
  LineStyle style = d->data.styleSets[0].lines[d->line - 1];
  if (call.Count() == 0) {
    if (!style.hasFill) return {};
    style.hasFill = false;
  } else {
    FillStyle fill;
    if (!GradientArgs(call, fill)) return {};
    style.hasFill = true;
    style.fill = std::move(fill);
  }
  d->data.styleSets[0].lines.push_back(std::move(style));
  d->line = static_cast<std::uint32_t>(d->data.styleSets[0].lines.size());
  StyleOp(*d, false, 0, true, d->line);
  return {};
}

Value EndFill(Call& call) {
  ScriptDrawing* d = DrawingOf(call, false);
  if (!d) return {};
  CloseFill(*d);
  d->fillOpen = false;
  StyleOp(*d, true, 0, false, 0);
  return {};
}

Value LineStyleMethod(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d) return {};
  const double thickness = call.machine.ToNumber(call.Arg(0));
  if (call.Count() == 0 || std::isnan(thickness)) {
    d->line = 0;
    StyleOp(*d, false, 0, true, 0);
    return {};
  }
  LineStyle style;
  style.width = static_cast<std::uint16_t>(std::clamp(thickness, 0.0, 255.0) * 20);
  style.color = ColorArg(call, 1, 2);
  // lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit)
  if (call.Count() > 3) style.pixelHinting = call.machine.ToBoolean(call.Arg(3));
  if (call.Count() > 4) {
    const std::string scale = call.machine.ToString(call.Arg(4));
    style.noHScale = scale == "none" || scale == "horizontal";
    style.noVScale = scale == "none" || scale == "vertical";
  }
  if (call.Count() > 5) {
    const std::string caps = call.machine.ToString(call.Arg(5));
    style.startCap = style.endCap = caps == "none" ? CapStyle::None : caps == "square" ? CapStyle::Square : CapStyle::Round;
  }
  if (call.Count() > 6) {
    const std::string joint = call.machine.ToString(call.Arg(6));
    style.join = joint == "miter" ? JoinStyle::Miter : joint == "bevel" ? JoinStyle::Bevel : JoinStyle::Round;
  }
  if (call.Count() > 7) {
    const double limit = call.machine.ToNumber(call.Arg(7));
    style.miterLimit = std::isnan(limit) ? 3 : std::clamp(limit, 1.0, 255.0);
  }
  d->data.styleSets[0].lines.push_back(style);
  d->line = static_cast<std::uint32_t>(d->data.styleSets[0].lines.size());
  StyleOp(*d, false, 0, true, d->line);
  return {};
}

double Coord(Call& call, std::size_t i) {
  const double v = call.machine.ToNumber(call.Arg(i));
  return std::isnan(v) ? 0 : std::clamp(v, -1e7, 1e7) * 20;
}

Value MoveTo(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d) return {};
  CloseFill(*d);
  d->pen = QPointF(Coord(call, 0), Coord(call, 1));
  d->fillStart = d->pen;
  StyleOp(*d, false, 0, false, 0);
  return {};
}

Value LineTo(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (d) AddEdge(*d, QPointF(Coord(call, 0), Coord(call, 1)), nullptr);
  return {};
}

Value CurveTo(Call& call) {
  ScriptDrawing* d = DrawingOf(call, true);
  if (!d) return {};
  const QPointF control(Coord(call, 0), Coord(call, 1));
  AddEdge(*d, QPointF(Coord(call, 2), Coord(call, 3)), &control);
  return {};
}

Value Clear(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->drawing.reset();
  return {};
}

// The drawing properties of Flash 8 clips: a colour drawn behind the clip's bounds
// (undefined for none), drawing through a cached bitmap, and a rectangle that crops the
// clip and scrolls its content (a flash.geom.Rectangle in pixels, undefined for none).
Value GetOpaqueBackground(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || !clip->opaqueBackground) return {};
  const Rgba& c = *clip->opaqueBackground;
  return Value::Number(static_cast<double>(static_cast<std::uint32_t>(c.r) << 16 | static_cast<std::uint32_t>(c.g) << 8 | c.b));
}
Value SetOpaqueBackground(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  const Value v = call.Arg(0);
  const double number = v.IsNullish() ? std::nan("") : call.machine.ToNumber(v);
  if (std::isnan(number)) {
    clip->opaqueBackground.reset();
    return {};
  }
  const std::uint32_t rgb = ToUint32(number);
  clip->opaqueBackground = Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                static_cast<std::uint8_t>(rgb), 255};
  return {};
}
Value GetCacheAsBitmap(Call& call) {
  MovieClip* clip = ClipOf(call);
  return clip ? Value::Bool(clip->cacheAsBitmap || !clip->filters.empty()) : Value();
}
Value SetCacheAsBitmap(Call& call) {
  if (MovieClip* clip = ClipOf(call)) clip->cacheAsBitmap = call.machine.ToBoolean(call.Arg(0));
  return {};
}
// scrollRect and scale9Grid: a Rectangle of the clip's own pixels (undefined for none);
// setting anything but an object takes it away.
template <std::optional<QRectF> DisplayObject::*Field>
Value GetRectangle(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip || !(clip->*Field)) return {};
  const QRectF& r = *(clip->*Field);
  Object* rect = data::NewInstance(call.machine, "flash.geom.Rectangle");
  if (!rect) return {};
  rect->Define("x", Value::Number(r.x() / 20));
  rect->Define("y", Value::Number(r.y() / 20));
  rect->Define("width", Value::Number(r.width() / 20));
  rect->Define("height", Value::Number(r.height() / 20));
  return Value::Obj(rect);
}
template <std::optional<QRectF> DisplayObject::*Field>
Value SetRectangle(Call& call) {
  MovieClip* clip = ClipOf(call);
  if (!clip) return {};
  Object* rect = call.Arg(0).AsObject();
  if (!rect) {
    (clip->*Field).reset();
    return {};
  }
  const auto number = [&](std::string_view name) {
    const double v = call.machine.ToNumber(call.machine.Get(rect, name));
    return std::isfinite(v) ? std::clamp(v, -1e7, 1e7) * 20 : 0.0;
  };
  clip->*Field = QRectF(number("x"), number("y"), number("width"), number("height"));
  return {};
}

const Member kMethods[] = {
    {"play", Play},
    {"stop", Stop},
    {"nextFrame", NextFrame},
    {"prevFrame", PrevFrame},
    {"gotoAndPlay", GotoAndPlay},
    {"gotoAndStop", GotoAndStop},
    {"getDepth", GetDepth, nullptr, kDontEnum | kVersion6},
    // The clip's tab index is the player's, read back as it took it; for..in does not list it.
    {"tabIndex", GetDisplayTabIndex, SetDisplayTabIndex, kDontEnum | kDontDelete | kVersion6},
    {"swapDepths", SwapDepths},
    {"getNextHighestDepth", GetNextHighestDepth, nullptr, kDontEnum | kVersion7},
    {"getInstanceAtDepth", GetInstanceAtDepth, nullptr, kDontEnum | kVersion7},
    {"attachMovie", AttachMovie},
    {"createEmptyMovieClip", CreateEmptyMovieClip, nullptr, kDontEnum | kVersion6},
    {"duplicateMovieClip", DuplicateMovieClip},
    {"removeMovieClip", RemoveMovieClip},
    {"createTextField", CreateTextField, nullptr, kDontEnum | kVersion6},
    {"getBounds", GetBounds},
    {"getRect", GetBounds, nullptr, kDontEnum | kVersion8},
    {"localToGlobal", LocalToGlobal},
    {"globalToLocal", GlobalToLocal},
    {"hitTest", HitTest},
    {"startDrag", StartDragMethod},
    {"stopDrag", StopDragMethod},
    {"setMask", SetMask, nullptr, kDontEnum | kVersion6},
    {"getBytesLoaded", GetBytes},
    {"getBytesTotal", GetBytes},
    {"getSWFVersion", GetSwfVersion},
    {"loadMovie", LoadMovieMethod},
    {"loadVariables", LoadVariablesMethod},
    {"unloadMovie", UnloadMovieMethod},
    {"getURL", GetUrlMethod},
    {"beginFill", BeginFill, nullptr, kDontEnum | kVersion6},
    {"endFill", EndFill, nullptr, kDontEnum | kVersion6},
    {"lineStyle", LineStyleMethod, nullptr, kDontEnum | kVersion6},
    {"beginGradientFill", BeginGradientFill, nullptr, kDontEnum | kVersion6},
    {"lineGradientStyle", LineGradientStyle, nullptr, kDontEnum | kVersion8},
    {"opaqueBackground", GetOpaqueBackground, SetOpaqueBackground, kDontEnum | kVersion8},
    {"cacheAsBitmap", GetCacheAsBitmap, SetCacheAsBitmap, kDontEnum | kVersion8},
    {"scrollRect", GetRectangle<&DisplayObject::scrollRect>, SetRectangle<&DisplayObject::scrollRect>,
     kDontEnum | kVersion8},
    {"scale9Grid", GetRectangle<&DisplayObject::scale9Grid>, SetRectangle<&DisplayObject::scale9Grid>,
     kDontEnum | kVersion8},
    {"moveTo", MoveTo, nullptr, kDontEnum | kVersion6},
    {"lineTo", LineTo, nullptr, kDontEnum | kVersion6},
    {"curveTo", CurveTo, nullptr, kDontEnum | kVersion6},
    {"clear", Clear, nullptr, kDontEnum | kVersion6},
};

// setInterval(function, ms, args...) or setInterval(object, "method", ms, args...). An
// interval that is missing or undefined makes no timer (undefined); null and other
// values count as numbers.
Value AddTimer(Call& call, bool repeat) {
  if (!call.machine.HasPlayer()) return {};
  MovieRuntime& player = call.machine.GetPlayer();
  const Value first = call.Arg(0);
  Object* f = first.AsObject();
  if (!f) return {};
  if (call.Arg(f->IsFunction() ? 1 : 2).IsUndefined()) return {};
  if (f->IsFunction()) {
    const double ms = call.machine.ToNumber(call.Arg(1));
    std::vector<Value> args(call.args.begin() + std::min<std::size_t>(2, call.Count()), call.args.end());
    return Value::Number(HostOf(player).AddTimer(first, nullptr, "", std::move(args), std::isnan(ms) ? 0 : ms, repeat));
  }
  const std::string method = call.machine.ToString(call.Arg(1));
  const double ms = call.machine.ToNumber(call.Arg(2));
  std::vector<Value> args(call.args.begin() + std::min<std::size_t>(3, call.Count()), call.args.end());
  return Value::Number(HostOf(player).AddTimer(Value(), f, method, std::move(args), std::isnan(ms) ? 0 : ms, repeat));
}

Value SetInterval(Call& call) { return AddTimer(call, true); }
Value SetTimeout(Call& call) { return AddTimer(call, false); }
Value ClearTimer(Call& call) {
  if (!call.machine.HasPlayer()) return {};
  const double id = call.machine.ToNumber(call.Arg(0));
  if (!std::isnan(id)) HostOf(call.machine).RemoveTimer(ToInt32(id));
  return {};
}
Value UpdateAfterEvent(Call&) { return {}; }

Value MovieClipConstructor(Call&) { return {}; }

}  // namespace

Value GetDisplayTabIndex(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d && d->tabIndex ? Value::Number(*d->tabIndex) : Value();
}

Value SetDisplayTabIndex(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  if (!d) return {};
  const Value v = call.Arg(0);
  // A clip that has no tab index yet and is given something other than a number keeps
  // that as a plain variable, which from then on hides the player's property.
  if (d->Kind() == DisplayKind::MovieClip && !d->tabIndex && !v.IsNullish() && !v.IsNumber()) {
    call.self->Define("tabIndex", v, 0);
    return {};
  }
  if (v.IsNullish()) {
    d->tabIndex.reset();
    return {};
  }
  // A signed 32-bit number cut towards zero; NaN and what lies outside the range become
  // the smallest integer.
  const double n = call.machine.ToNumber(v);
  d->tabIndex = n > -2147483649.0 && n < 2147483648.0 ? std::trunc(n) : -2147483648.0;
  return {};
}

void InstallMovieClip(Runtime& rt) {
  Object* ctor = rt.MakeClass(MovieClipConstructor, nullptr);
  rt.movieClipProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.movieClipProto, kMethods);
  rt.movieClipProto->Define("useHandCursor", Value::Bool(true), kDontEnum);
  // A clip with button events takes them while this is true; the prototype says so.
  rt.movieClipProto->Define("enabled", Value::Bool(true), kDontEnum);
  rt.global->Define("MovieClip", Value::Obj(ctor), kDontEnum);
  rt.prototypes["MovieClip"] = rt.movieClipProto;
  static const Member kGlobals[] = {
      {"setInterval", SetInterval},     {"clearInterval", ClearTimer},
      {"setTimeout", SetTimeout, nullptr, kDontEnum | kVersion8}, {"clearTimeout", ClearTimer, nullptr, kDontEnum | kVersion8},
      {"updateAfterEvent", UpdateAfterEvent},
  };
  rt.AddMembers(rt.global, kGlobals);
}

}  // namespace vantrel::flash::avm1
