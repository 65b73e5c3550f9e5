#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/avm1/object.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <optional>

#include "flash/audio/sound_events.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"

namespace vantrel::flash::avm1 {

Object* ScriptObjectOf(const DisplayObject* object) { return static_cast<Object*>(object->ScriptCell()); }

namespace {

constexpr std::int32_t kDepthBias = 16384;

bool SameNameNoCase(std::string_view a, std::string_view b) { return SameName(a, b, false); }

// A number cut to a 32-bit integer the way the player's processor does it: what lies
// outside the range (infinities too) becomes the smallest integer.
double TruncatedInt32(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return -2147483648.0;
  return std::trunc(v);
}

// The player keeps an alpha multiplier in 8.8 fixed point: cut towards zero to 1/256
// steps, wrapping outside 16 bits.
std::int16_t AlphaFixed(double multiplier) {
  return static_cast<std::int16_t>(static_cast<std::int32_t>(TruncatedInt32(multiplier * 256.0)));
}

constexpr const char* kPropertyNames[] = {"_x",        "_y",           "_xscale",     "_yscale",   "_currentframe",
                                          "_totalframes", "_alpha",    "_visible",    "_width",    "_height",
                                          "_rotation", "_target",      "_framesloaded", "_name",   "_droptarget",
                                          "_url",      "_highquality", "_focusrect",  "_soundbuftime", "_quality",
                                          "_xmouse",   "_ymouse"};

MovieClip* AsClip(DisplayObject* object) {
  return object && object->Kind() == DisplayKind::MovieClip ? static_cast<MovieClip*>(object) : nullptr;
}

// A text field's _x and _y name the top-left corner of its box, which the field's
// definition (or autoSize) may put away from its origin; twips.
std::pair<std::int32_t, std::int32_t> BoxOffset(const DisplayObject& object) {
  if (object.Kind() != DisplayKind::EditText) return {0, 0};
  const Rect& box = static_cast<const TextField&>(object).Field().bounds;
  return {box.xMin, box.yMin};
}

// Whether a clip set _lockroot: its _root is then itself for the code inside it.
bool LocksRoot(const DisplayObject* object) {
  const avm1::Object* script = object->IsContainer() ? ScriptObjectOf(object) : nullptr;
  const Property* p = script ? script->FindOwn("_lockroot", false) : nullptr;
  if (!p || p->IsAccessor()) return false;
  const Value& v = p->value;
  if (v.IsBoolean()) return v.boolean;
  if (v.IsNumber()) return v.number != 0 && v.number == v.number;
  return v.IsString() ? !v.Text().empty() : v.IsObject();
}


// "_level12" gives 12; -1 for other names.
int LevelNumber(std::string_view name) {
  if (name.size() <= 6 || !SameNameNoCase(name.substr(0, 6), "_level")) return -1;
  int number = 0;
  for (const char c : name.substr(6)) {
    if (c < '0' || c > '9' || number > 100000) return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// The level a member name such as "_level2", "_flash0a" or "_level" stands for: the
// number after the prefix as far as it is digits (none is 0), with a sign, wrapping in
// 32 bits. Empty for other names.
std::optional<std::int32_t> LevelOfMember(std::string_view name) {
  if (name.size() < 6 || (!SameNameNoCase(name.substr(0, 6), "_level") && !SameNameNoCase(name.substr(0, 6), "_flash")))
    return std::nullopt;
  std::string_view digits = name.substr(6);
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative || (!digits.empty() && digits[0] == '+')) digits.remove_prefix(1);
  std::uint32_t number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') break;
    number = number * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<std::int32_t>(number);
}

std::string SlashPath(DisplayObject* object) {
  if (!object->Parent()) {
    const std::string path = object->TargetPath();
    return path == "_level0" ? "/" : path;
  }
  std::vector<std::string> names;
  DisplayObject* at = object;
  for (int guard = 0; at->Parent() && guard < 1000; ++guard, at = at->Parent()) names.push_back(at->name);
  std::string path = at->TargetPath() == "_level0" ? "" : at->TargetPath();
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
  return path;
}

QRectF BoundsInParent(DisplayObject& object) {
  const QRectF local = object.LocalBounds();
  if (local.isNull()) return {};
  const Matrix& m = object.GetMatrix();
  const QTransform transform(m.a, m.b, m.c, m.d, m.tx, m.ty);
  // The box is measured with its corners on whole twips.
  const QPointF corners[] = {transform.map(local.topLeft()), transform.map(local.topRight()),
                             transform.map(local.bottomLeft()), transform.map(local.bottomRight())};
  double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
  for (const QPointF& p : corners) {
    left = std::min(left, std::round(p.x()));
    right = std::max(right, std::round(p.x()));
    top = std::min(top, std::round(p.y()));
    bottom = std::max(bottom, std::round(p.y()));
  }
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

}  // namespace

void DisplayData::Trace(gc::Tracer& tracer) const { tracer.Mark(object); }

int DisplayPropertyIndex(std::string_view name) {
  if (name.size() < 2 || name[0] != '_') return -1;
  for (int i = 0; i < 22; ++i) {
    if (SameNameNoCase(name, kPropertyNames[i])) return i;
  }
  return -1;
}

namespace {
DisplayObject* WalkTarget(Interpreter& machine, DisplayObject* base, std::string_view path);
}  // namespace

DisplayObject* DisplayOf(Interpreter& machine, Object* object) {
  if (!object || object->kind != NativeKind::Display) return nullptr;
  auto* data = static_cast<DisplayData*>(object->native.get());
  DisplayObject* d = data->object;
  if (!d) return nullptr;
  if (!d->Removed()) return d;
  // A reference to a removed clip finds what now stands at its path, if anything.
  // (The path is the player's own dot path, whatever version the running code has.)
  const std::string& path = data->namedPath.empty() ? data->removedPath : data->namedPath;
  if (path.empty()) return nullptr;
  DisplayObject* found = WalkTarget(machine, &d->GetPlayer().Root(), path);
  return found && found != d && !found->Removed() ? found : nullptr;
}

Value DisplayValue(DisplayObject* object) {
  // Before SWF 6 buttons are no objects of their own: scripts that reach one (a child's
  // _parent, a path through it) get the clip the button is in.
  while (object && object->Kind() == DisplayKind::Button && object->Parent() && object->Movie() &&
         object->Movie()->Version() < 6)
    object = object->Parent();
  if (!object || !ScriptObjectOf(object)) return Value();
  return Value::Obj(ScriptObjectOf(object));
}

std::string DisplayDotPath(DisplayObject* object) { return object ? object->TargetPath() : std::string(); }

std::string DisplayTypeOf(DisplayObject* object) {
  return object && object->Kind() == DisplayKind::MovieClip ? "movieclip" : "object";
}

bool GetDisplayProperty(Interpreter& machine, DisplayObject& object, int index, Value& out) {
  MovieRuntime& player = object.GetPlayer();
  MovieClip* clip = AsClip(&object);
  const Matrix& m = object.GetMatrix();
  switch (index) {
    case 0: out = Value::Number((m.tx + BoxOffset(object).first) / 20.0); return true;
    case 1: out = Value::Number((m.ty + BoxOffset(object).second) / 20.0); return true;
    case 2: out = Value::Number(object.XScale()); return true;
    case 3: out = Value::Number(object.YScale()); return true;
    case 4:
      if (!clip) return false;
      out = Value::Number(std::max(clip->CurrentFrame(), 0) + 1);
      return true;
    case 5:
      if (!clip) return false;
      out = Value::Number(clip->TotalFrames());
      return true;
    case 6: out = Value::Number(AlphaFixed(object.GetColorTransform().mulA) * 100.0 / 256.0); return true;
    case 7: out = Value::Bool(object.visible); return true;
    case 8: out = Value::Number(BoundsInParent(object).width() / 20.0); return true;
    case 9: out = Value::Number(BoundsInParent(object).height() / 20.0); return true;
    case 10: out = Value::Number(object.Rotation()); return true;
    case 11: out = machine.Str(SlashPath(&object)); return true;
    case 12:
      if (!clip) return false;
      out = Value::Number(clip->FramesLoaded());
      return true;
    case 13: out = machine.Str(object.name); return true;
    case 14: {
      if (clip && player.Dragged() == clip) {
        DisplayObject* target = player.DropTarget();
        out = machine.Str(target && !target->Removed() ? SlashPath(target) : std::string());
      } else {
        out = machine.Str(HostOf(player).LastDropTarget(ScriptObjectOf(&object)));
      }
      return true;
    }
    case 15: out = machine.Str(object.Movie() ? object.Movie()->url : std::string()); return true;
    case 16: {
      std::string q = player.Quality();
      for (char& c : q) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out = Value::Number(q == "LOW" ? 0 : q == "BEST" ? 2 : 1);
      return true;
    }
    case 17:
      // A level answers for the stage; other objects have their own, null until set.
      // SWF 5 code knows only the stage's, as 1 or 0, whatever object it asks.
      if (machine.Version() < 6) out = Value::Number(player.focusRect ? 1 : 0);
      else if (IsLevel(object)) out = Value::Bool(player.focusRect);
      else out = object.focusRect ? Value::Bool(*object.focusRect) : Value::Null();
      return true;
    case 18: out = Value::Number(player.soundBufferSeconds); return true;
    case 19: {
      std::string q = player.Quality();
      for (char& c : q) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out = machine.Str(q);
      return true;
    }
    case 20:
    case 21: {
      // The player maps the pointer from screen pixels back through the object's matrix
      // to the screen (the view the stage shows in), kept as the player keeps matrices:
      // the way there ends on a whole pixel, the way back on a whole twip. An object
      // scaled to nothing has no way back: the pointer's pixels are then taken as twips.
      const QTransform stageToView =
          player.viewSize.isEmpty() ? QTransform::fromScale(1 / 20.0, 1 / 20.0) : player.stageToView;
      const QTransform toView = ObjectToStage(object) * stageToView;
      const QTransform toScreen(toView.m11(), toView.m12(), toView.m21(), toView.m22(), std::nearbyint(toView.dx()),
                                std::nearbyint(toView.dy()));
      bool invertible = false;
      QTransform back = toScreen.inverted(&invertible);
      if (invertible)
        back = QTransform(back.m11(), back.m12(), back.m21(), back.m22(), std::round(back.dx()), std::round(back.dy()));
      const QPointF local = back.map(stageToView.map(player.MousePosition()));
      out = Value::Number(std::round(index == 20 ? local.x() : local.y()) / 20.0);
      return true;
    }
    default: return false;
  }
}

bool SetDisplayProperty(Interpreter& machine, DisplayObject& object, int index, const Value& value) {
  MovieRuntime& player = object.GetPlayer();
  // Properties read strings by the SWF 5 rules even from SWF 4 code: a word is no
  // number and leaves the property as it was.
  // Undefined and null are no number either, whatever the version of the code.
  auto number = [&](double& out) {
    out = value.IsNullish() ? std::nan("")
          : value.IsString() ? StringToNumber(value.string->Text(), std::max(5, machine.Version()))
                             : machine.ToNumber(value);
    return !std::isnan(out);
  };
  double v = 0;
  switch (index) {
    case 0:
    case 1: {
      if (!number(v)) return true;
      Matrix m = object.GetMatrix();
      const auto [boxX, boxY] = BoxOffset(object);
      (index == 0 ? m.tx : m.ty) = TruncatedInt32(v * 20.0) - (index == 0 ? boxX : boxY);
      const double xs = object.XScale(), ys = object.YScale(), r = object.Rotation();
      object.SetMatrix(m);
      // Moving keeps the scale and rotation scripts set, not the matrix's rounding.
      (void)xs;
      (void)ys;
      (void)r;
      object.transformedByScript = true;
      return true;
    }
    case 2:
      if (number(v)) object.SetXScale(v);
      object.transformedByScript = true;
      return true;
    case 3:
      if (number(v)) object.SetYScale(v);
      object.transformedByScript = true;
      return true;
    case 6:
      if (number(v)) {
        // Scripts read the multiplier back in 8.8 fixed point (below); what lies outside
        // that range wraps as it does there, the rest draws as given.
        ColorTransform ct = object.GetColorTransform();
        const double fixed = TruncatedInt32(v * 256.0 / 100.0);
        ct.mulA = fixed >= -32768 && fixed <= 32767 ? v / 100.0 : AlphaFixed(v / 100.0) / 256.0;
        object.SetColorTransform(ct);
        object.transformedByScript = true;
      }
      return true;
    case 7:
      // By number: what is no number (objects too) leaves it as it is. Hiding the object
      // that has the focus (or holds it) takes the focus away.
      if (number(v)) {
        object.visible = v != 0;
        if (!object.visible) player.FocusLeaving(&object);
      }
      return true;
    case 8:
    case 9: {
      if (!number(v)) return true;
      if (object.Kind() == DisplayKind::EditText) {
        // A text field's size changes its box, whatever its scale.
        static_cast<TextField&>(object).Resize(index == 8 ? std::optional<double>(v * 20) : std::nullopt,
                                               index == 9 ? std::optional<double>(v * 20) : std::nullopt);
        return true;
      }
      // The new scales come from the object's own (untransformed) bounds and its rotation:
      // the side being set takes the size through the box that encloses the rotated
      // object, the other side keeps its extent. Without extent the result is not a
      // number, and such scales become 0.
      const QRectF local = object.LocalBounds();
      const double w = local.isNull() ? 0 : local.width() / 20.0, h = local.isNull() ? 0 : local.height() / 20.0;
      const double radians = object.Rotation() * M_PI / 180.0;
      const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
      const double previousX = object.XScale() / 100.0, previousY = object.YScale() / 100.0;
      double newX = 0, newY = 0;
      if (index == 8) {
        const double aspect = h / w;
        const double targetX = w != 0 ? v / w : 0, targetY = w != 0 ? v / h : 0;
        newX = aspect * (c * targetX + s * targetY) / ((c + aspect * s) * (aspect * c + s));
        newY = (s * previousX + aspect * c * previousY) / (aspect * c + s);
      } else {
        const double aspect = w / h;
        const double targetX = h != 0 ? v / w : 0, targetY = h != 0 ? v / h : 0;
        newX = (aspect * c * previousX + s * previousY) / (aspect * c + s);
        newY = aspect * (s * targetX + c * targetY) / ((c + aspect * s) * (aspect * c + s));
      }
      object.SetXScale(std::isfinite(newX) ? newX * 100 : 0);
      object.SetYScale(std::isfinite(newY) ? newY * 100 : 0);
      object.transformedByScript = true;
      return true;
    }
    case 10:
      if (number(v)) object.SetRotation(v);
      object.transformedByScript = true;
      return true;
    case 13:
      // References made before a rename keep the path the object had: once it is gone
      // they find what stands there then.
      if (auto* data = ScriptObjectOf(&object) ? ScriptObjectOf(&object)->Data<DisplayData>() : nullptr;
          data && data->namedPath.empty())
        data->namedPath = object.TargetPath();
      // SWF 7 code names an object "0" with a number that is not one.
      if (machine.Version() >= 7 && value.IsNumber() && std::isnan(value.number)) object.name.assign(1, '0');
      else object.name = machine.ToString(value);
      return true;
    case 16: {
      // 0 is low, 2 and above best, anything else (negatives too) high.
      if (number(v)) player.SetQuality(v == 0 ? "LOW" : v >= 2 ? "BEST" : "HIGH");
      return true;
    }
    case 18:
      if (number(v)) player.soundBufferSeconds = static_cast<std::int32_t>(TruncatedInt32(v));
      return true;
    case 19: {
      // Names the player does not know leave the quality as it was.
      std::string q = machine.ToString(value);
      for (char& c : q) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      static const char* const kKnown[] = {"LOW", "MEDIUM", "HIGH", "BEST", "AUTOLOW", "AUTOHIGH"};
      const bool known = std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return q == k; });
      if (known) player.SetQuality(machine.ToString(value));
      return true;
    }
    case 17:
      if (IsLevel(object) || machine.Version() < 6) {
        // The stage's takes numbers and strings by their number; objects turn it off,
        // and what is no number leaves it as it is. SWF 5 code sets the stage's through
        // any object.
        if (value.IsBoolean()) player.focusRect = value.boolean;
        else if (value.IsObject()) player.focusRect = false;
        else if (number(v)) player.focusRect = v != 0;
      } else if (value.IsNullish()) {
        object.focusRect.reset();
      } else {
        object.focusRect = machine.ToBoolean(value);
      }
      return true;
    case 4:
    case 5:
    case 12:
    case 20:
    case 21:
      // The read-only numbers still take the value as a number (its valueOf runs) and
      // then ignore it; the read-only texts (_target, _droptarget, _url) do not look at it.
      machine.ToNumber(value);
      return true;
    default: return index >= 0 && index < 22;  // read-only properties ignore writes
  }
}

bool GetDisplayMember(Interpreter& machine, DisplayObject& object, std::string_view name, Value& out) {
  if (name.empty()) return false;
  if (name[0] == '_') {
    if (SameNameNoCase(name, "_parent")) {
      // A root's _parent is undefined, never a _parent its prototypes define.
      out = object.Parent() ? DisplayValue(object.Parent()) : Value();
      return true;
    }
    if (SameNameNoCase(name, "_root")) {
      out = DisplayValue(LevelRoot(&object));
      return true;
    }
    // Every clip answers _global with the global object (code of SWF 6 and later).
    if (machine.Version() >= 6 && SameName(name, "_global", machine.CaseSensitive())) {
      out = Value::Obj(machine.Rt().global);
      return true;
    }
    if (SameNameNoCase(name, "_lockroot") && object.IsContainer()) {
      out = Value::Bool(LocksRoot(&object));
      return true;
    }
    // _levelN (or _flashN) names a level before any prototype can; the number is read
    // as far as it goes, signed, in 32 bits. SWF 7 and later spell it in lower case like
    // every other name.
    if (const std::optional<std::int32_t> level = LevelOfMember(name);
        level && (!machine.CaseSensitive() || name.substr(1, 5) == "level" || name.substr(1, 5) == "flash")) {
      MovieClip* clip = *level >= 0 ? object.GetPlayer().Level(*level) : nullptr;
      out = clip ? DisplayValue(clip) : Value();
      return true;
    }
  }
  if (object.IsContainer()) {
    const auto& container = static_cast<MovieClip&>(object);
    if (DisplayObject* child = container.ChildByName(name, machine.CaseSensitive())) {
      if (!ScriptObjectOf(child)) {
        // Shapes and static texts answer as their parent, as the reference player does.
        out = DisplayValue(&object);
        return true;
      }
      out = DisplayValue(child);
      return true;
    }
  }
  return false;
}

bool SetDisplayMember(Interpreter&, DisplayObject&, std::string_view, const Value&) { return false; }

void EnumerateDisplay(DisplayObject& object, std::vector<std::string>& names) {
  if (!object.IsContainer()) return;
  const auto& children = static_cast<MovieClip&>(object).Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    // Named shapes, static texts and bitmaps are listed too (their name reads the clip).
    if (!it->second->name.empty()) names.push_back(it->second->name);
  }
}

DisplayObject* LevelRoot(DisplayObject* object) {
  DisplayObject* at = object;
  for (int guard = 0; at && at->Parent() && !LocksRoot(at) && guard < 1000; ++guard) at = at->Parent();
  return at;
}

Object* WalkPath(Interpreter& machine, const PathStart& start, std::string_view path) {
  Object* at = start.object;
  DisplayObject* display = start.display ? start.display : DisplayOf(machine, at);
  if (!at) return nullptr;
  bool slashes = false;
  if (!path.empty() && path[0] == '/') {
    display = start.root;
    at = display ? ScriptObjectOf(display) : nullptr;
    if (!at) return nullptr;
    path.remove_prefix(1);
    slashes = true;
  }
  const bool cs = machine.CaseSensitive();
  bool opening = start.opening;
  while (!path.empty()) {
    // Colons before a part are skipped; when nothing follows them the part is the empty
    // name, which names nothing ("a::" is no clip, "a:" is a).
    while (!path.empty() && path[0] == ':') path.remove_prefix(1);
    Value next;
    const bool parentStep = path.size() >= 2 && path[0] == '.' && path[1] == '.' &&
                            (path.size() == 2 || path[2] == '/' || path[2] == ':');
    if (parentStep) {
      if (path.size() > 2 && path[2] == '/') slashes = true;
      path.remove_prefix(std::min<std::size_t>(path.size(), 3));
      if (!display || !display->Parent()) return nullptr;  // above the root there is nothing
      next = DisplayValue(display->Parent());
    } else {
      std::size_t end = 0;
      while (end < path.size() && path[end] != ':' && path[end] != '/' && (slashes || path[end] != '.')) ++end;
      if (end < path.size() && path[end] == '/') slashes = true;
      const std::string_view name = path.substr(0, end);
      path.remove_prefix(std::min(path.size(), end + 1));
      if (name.empty()) {
        next = Value();
      } else if (opening && name == "this") {
        next = start.thisValue;
      } else if (at == start.object && start.activation && name == "this") {
        // A function's own `this` is no variable a path can name.
        next = Value();
      } else if (opening && name == "_root") {
        next = DisplayValue(start.root);
      } else if (DisplayObject* child = display && display->IsContainer()
                                              ? static_cast<MovieClip*>(display)->ChildByName(name, cs)
                                              : nullptr) {
        // Children come before variables here, unlike member access. A shape or static
        // text stands for the clip it is in.
        next = ScriptObjectOf(child) ? DisplayValue(child) : Value::Obj(at);
      } else {
        next = machine.GetMember(Value::Obj(at), name);
      }
    }
    opening = false;
    at = next.AsObject();
    if (!at) return nullptr;
    display = nullptr;
    if (at->kind == NativeKind::Display) {
      // A removed clip a variable still holds ends the path: it is not looked up again
      // by its old path from here.
      auto* data = at->Data<DisplayData>();
      display = data ? data->object : nullptr;
      if (!display || display->Removed()) return nullptr;
    }
  }
  return at;
}

namespace {

// Target paths of SWF 4 code know slashes only: "/" the root, ".." the parent, other
// parts children; a path may open with a level ("_level0", "_flash1"), read up to the
// end of its digits with whatever follows them up to the next slash ignored. Colons and
// dots are part of names, and no name (_root, this, _parent) is special.
DisplayObject* ResolveSwf4Target(Interpreter& machine, DisplayObject* base, std::string_view path) {
  DisplayObject* at = base;
  std::size_t start = 0;
  if (path[0] == '/') {
    at = LevelRoot(base);
    start = 1;
  } else if (const std::size_t end = std::min(path.find('/'), path.size()); LevelOfMember(path.substr(0, end))) {
    const std::int32_t level = *LevelOfMember(path.substr(0, end));
    at = level >= 0 ? base->GetPlayer().Level(level) : nullptr;
    start = end + 1;
  }
  while (at && start < path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) return nullptr;  // "//"
    if (part == "..") {
      at = at->Parent();
      continue;
    }
    DisplayObject* child = at->IsContainer() ? static_cast<MovieClip*>(at)->ChildByName(part, false) : nullptr;
    // A shape or static text stands for the clip it is in.
    at = child && !ScriptObjectOf(child) ? at : child;
  }
  return at;
}

// ResolveTarget by the rules of SWF 5 and later.
DisplayObject* WalkTarget(Interpreter& machine, DisplayObject* base, std::string_view path) {
  if (!base) return nullptr;
  if (path.empty()) return base;
  PathStart start;
  start.display = base;
  start.object = ScriptObjectOf(base);
  start.root = LevelRoot(base);
  Object* found = WalkPath(machine, start, path);
  if (!found) return nullptr;
  if (found == start.object) return base;
  return DisplayOf(machine, found);
}

}  // namespace

DisplayObject* ResolveTarget(Interpreter& machine, DisplayObject* base, std::string_view path) {
  if (!base) return nullptr;
  if (path.empty()) return base;
  return machine.Version() < 5 ? ResolveSwf4Target(machine, base, path) : WalkTarget(machine, base, path);
}

void TimelineAction(Interpreter&, DisplayObject* object, TimelineOp op) {
  MovieClip* clip = AsClip(object);
  if (!clip) return;
  switch (op) {
    case TimelineOp::Play: clip->Play(); break;
    case TimelineOp::Stop: clip->Stop(); break;
    case TimelineOp::NextFrame: clip->NextFrame(); break;
    case TimelineOp::PrevFrame: clip->PrevFrame(); break;
  }
}

void GotoFrame(Interpreter&, DisplayObject* object, int frame, bool play) {
  MovieClip* clip = AsClip(object);
  if (!clip) return;
  clip->GotoFrame(std::max(frame, 0), play);
}

void GotoLabel(Interpreter&, DisplayObject* object, const std::string& label, bool play) {
  MovieClip* clip = AsClip(object);
  if (!clip || !clip->GetTimeline()) return;
  const int frame = clip->GetTimeline()->FindLabel(label);
  if (frame < 0) return;
  clip->GotoFrame(frame, play);
}

static std::optional<std::int32_t> FrameIndexOf(Interpreter& machine, DisplayObject*& object, const Value& frame, int bias) {
  std::optional<std::int32_t> number;
  if (frame.IsNumber() && std::isfinite(frame.number) && frame.number == std::trunc(frame.number)) {
    number = ToInt32(frame.number);
  } else {
    std::string text = machine.ToString(frame);
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
      object = ResolveTarget(machine, object, std::string_view(text).substr(0, colon));
      text.erase(0, colon + 1);
    }
    const double n = text.empty() ? NAN : StringToNumber(text, 7);
    if (std::isfinite(n)) {
      if (n != std::trunc(n)) return std::nullopt;
      number = ToInt32(n);
    } else {
      // A label counts from its own frame, bias included.
      MovieClip* clip = AsClip(object);
      const int label = clip && clip->GetTimeline() ? clip->GetTimeline()->FindLabel(text) : -1;
      if (label < 0) return std::nullopt;
      number = label + 1;
    }
  }
  // 1-based with the bias, in 32-bit arithmetic that wraps as the player's does.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(*number) + static_cast<std::uint32_t>(bias) - 1u);
}

void GotoFrameValue(Interpreter& machine, DisplayObject* object, const Value& frame, bool play, int bias) {
  const std::optional<std::int32_t> index = FrameIndexOf(machine, object, frame, bias);
  MovieClip* clip = AsClip(object);
  if (!index || !clip || *index < 0) return;
  // A frame past the end of the whole movie leaves the playhead on the last frame, whose
  // actions do not run: the frame asked for was never reached.
  const bool pastEnd = *index >= clip->TotalFrames() && clip->FramesLoaded() >= clip->TotalFrames();
  clip->GotoFrame(std::min(*index, std::max(clip->FramesLoaded() - 1, 0)), play, !pastEnd);
}

bool FrameLoaded(DisplayObject* object, std::int64_t index) {
  if (index < 0) return true;
  MovieClip* clip = AsClip(object);
  if (!clip) return index < 1;
  // Once the whole movie is in, every frame up to the player's limit counts as loaded.
  constexpr std::int64_t kLastFrame = 16000;
  if (clip->FramesLoaded() >= clip->TotalFrames()) return index <= kLastFrame;
  return index < clip->FramesLoaded();
}

bool FrameValueLoaded(Interpreter& machine, DisplayObject* object, const Value& frame) {
  // What names no frame (words that are no label, fractions) does not hold the script.
  const std::optional<std::int32_t> index = FrameIndexOf(machine, object, frame, 0);
  return !index || FrameLoaded(object, *index);
}

void CloneSprite(Interpreter& machine, DisplayObject* source, const std::string& name, int depth) {
  // The action's depth counts from the bottom of the timeline's depths; the script
  // range is the one duplicateMovieClip takes.
  const std::int64_t scriptDepth = static_cast<std::int64_t>(depth) - kDepthBias;
  if (scriptDepth < -16384 || scriptDepth > 2130690044) return;
  DuplicateClip(machine, source, name, static_cast<int>(scriptDepth), nullptr);
}

EditText ScriptFieldDefinition(const LoadedMovie* movie, const Rect& box) {
  EditText definition;
  definition.bounds = box;
  definition.fontHeight = 240;
  definition.readOnly = true;
  if (movie) definition.swfVersion = movie->Version();
  return definition;
}

namespace {

// A duplicated text field starts over from its definition: the text, formats and
// settings scripts gave the original stay behind, its placement and colour go along.
// A field a script created had no definition, so its copy has an empty box.
TextField* DuplicateField(TextField& source, const std::string& name, int depth) {
  MovieRuntime& player = source.GetPlayer();
  if (!player.CountCreation()) return nullptr;
  const LoadedMovie* movie = source.Movie();
  std::shared_ptr<Character> definition =
      source.characterId != 0 && movie ? movie->Find(source.characterId) : nullptr;
  TextField* copy = nullptr;
  if (definition && definition->Kind() == CharacterKind::EditText) {
    copy = static_cast<TextField*>(player.Create(movie, definition, source.characterId));
  } else {
    // Not even createTextField's read-only flag: such a copy is an input field.
    EditText blank = ScriptFieldDefinition(movie, Rect{});
    blank.readOnly = false;
    copy = player.Heap().Make<TextField>(player, movie, blank);
    copy->serial = player.NextSerial();
  }
  if (!copy) return nullptr;
  copy->SetMatrix(source.GetMatrix());
  copy->SetColorTransform(source.GetColorTransform());
  copy->name = name;
  copy->placedByScript = true;
  copy->transformedByScript = source.transformedByScript;
  source.Parent()->AddChild(copy, depth);
  HostOf(player).TextFieldPlaced(*copy);
  return copy;
}

}  // namespace

DisplayObject* DuplicateClip(Interpreter& machine, DisplayObject* source, const std::string& name, int depth,
                             Object* initObject) {
  if (source && source->Kind() == DisplayKind::EditText && source->Parent())
    return DuplicateField(*static_cast<TextField*>(source), name, depth);
  MovieClip* clip = AsClip(source);
  if (!clip || !clip->Parent()) return nullptr;
  (void)machine;
  MovieRuntime& player = clip->GetPlayer();
  MovieClip* parent = clip->Parent();
  MovieClip* copy = nullptr;
  if (clip->character) {
    DisplayObject* made = player.Create(clip->Movie(), std::const_pointer_cast<Character>(clip->character), clip->characterId);
    copy = AsClip(made);
  } else {
    copy = player.CreateEmptyClip(clip->Movie());
  }
  if (!copy) return nullptr;
  copy->SetMatrix(clip->GetMatrix());
  copy->SetColorTransform(clip->GetColorTransform());
  copy->clipActions = clip->clipActions;
  copy->drawing = clip->drawing;
  copy->name = name;
  copy->placedByScript = true;
  copy->transformedByScript = clip->transformedByScript;
  parent->AddChild(copy, depth);
  HostOf(player).PostInstantiate(copy, initObject, true);
  return copy;
}

void RemoveSprite(Interpreter&, DisplayObject* object) {
  if (!object || !object->Parent()) return;
  // Only objects at script depths go; the timeline's own stay.
  if (object->depth < 0 || object->depth >= 2130706416 - kDepthBias) return;
  object->Parent()->RemoveOrDelay(object);
}

void StartDrag(Interpreter&, DisplayObject* object, bool lockCenter, const double* rect) {
  if (object) object->GetPlayer().StartDrag(object, lockCenter, rect);
}

void StopDrag(Interpreter& machine) {
  if (!machine.HasPlayer()) return;
  MovieRuntime& player = machine.GetPlayer();
  if (DisplayObject* dragged = player.Dragged()) {
    DisplayObject* target = player.DropTarget();
    HostOf(player).DragStopped(ScriptObjectOf(dragged), target && !target->Removed() ? SlashPath(target) : std::string());
  }
  player.StopDrag();
}

void UnloadClipMovie(DisplayObject* object) {
  MovieClip* clip = AsClip(object);
  if (!clip) return;
  // A load into the clip still on its way ends here, and what the clip shows unloads.
  clip->GetPlayer().CancelLoads(clip);
  if (clip->GetTimeline()) clip->QueueEvent(ClipAction::kUnload, "onUnload");
  std::vector<DisplayObject*> children;
  for (const auto& [d, c] : clip->Children()) children.push_back(c);
  for (DisplayObject* c : children) clip->RemoveChild(c);
  clip->SetTimeline(nullptr, clip->Movie());
}

void GetUrl(Interpreter& machine, DisplayObject* base, const std::string& url, const std::string& target, int method,
            bool loadTarget, bool loadVariables) {
  if (!machine.HasPlayer()) return;
  MovieRuntime& player = machine.GetPlayer();
  if (url.size() >= 10 && SameNameNoCase(std::string_view(url).substr(0, 10), "fscommand:")) {
    if (player.Hooks().fsCommand) player.Hooks().fsCommand(url.substr(10), target);
    return;
  }
  const std::string methodName = method == 1 ? "GET" : method == 2 ? "POST" : "";
  const int level = LevelNumber(target);
  if (loadVariables) {
    if (level >= 0 && !loadTarget) {
      player.LoadMovieInto(url, level, nullptr, true, methodName, "");
    } else if (DisplayObject* clip = ResolveTarget(machine, base, target)) {
      player.LoadMovieInto(url, 0, clip, true, methodName, "");
    }
    return;
  }
  if (loadTarget || level >= 0) {
    if (level >= 0) {
      if (url.empty())
        player.UnloadLevel(level);
      else
        player.LoadMovieInto(url, level, nullptr, false, methodName, "");
      return;
    }
    DisplayObject* clip = ResolveTarget(machine, base, target);
    if (!clip) return;
    if (url.empty()) {
      UnloadClipMovie(clip);
      return;
    }
    player.LoadMovieInto(url, 0, clip, false, methodName, "");
    return;
  }
  if (player.Hooks().getUrl) player.Hooks().getUrl(url, target);
}

void CallFrame(Interpreter& machine, DisplayObject* object, const Value& frame) {
  MovieClip* clip = AsClip(object);
  if (!clip || !clip->GetTimeline()) return;
  int index = -1;
  if (frame.IsString()) {
    const std::string& text = frame.Text();
    const double n = StringToNumber(text, 7);
    if (std::isnan(n))
      index = clip->GetTimeline()->FindLabel(text);
    else if (n >= 1 && n <= 2147483647.0)  // (other numbers name no frame)
      index = static_cast<int>(n) - 1;
  } else {
    // Frame numbers wrap at 32 bits (call(4294967299) is frame 3).
    const double n = std::trunc(machine.ToNumber(frame));
    if (std::isfinite(n)) {
      const double wrapped = n - std::floor(n / 4294967296.0) * 4294967296.0;
      if (wrapped >= 1 && wrapped <= 2147483647.0) index = static_cast<int>(wrapped) - 1;
    }
  }
  if (index >= 0) clip->CallFrame(index);
}

void ToggleQuality(Interpreter& machine) {
  if (!machine.HasPlayer()) return;
  MovieRuntime& player = machine.GetPlayer();
  std::string q = player.Quality();
  for (char& c : q) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  player.SetQuality(q == "LOW" ? "HIGH" : "LOW");
}

void StopSounds(Interpreter& machine) {
  if (!machine.HasPlayer()) return;
  if (machine.GetPlayer().sounds) machine.GetPlayer().sounds->StopAll();
}

double Timer(Interpreter& machine) { return machine.HasPlayer() ? machine.GetPlayer().Milliseconds() : 0; }

int RandomNumber(Interpreter& machine, int max) {
  if (max <= 0 || !machine.HasPlayer()) return 0;
  return static_cast<int>(machine.GetPlayer().Random() % static_cast<std::uint32_t>(max));
}

}  // namespace vantrel::flash::avm1
