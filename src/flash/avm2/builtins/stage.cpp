// The Stage's own properties: size, frame rate, colour, quality, display state, the
// keyboard focus and the mouse position. What a script sets is kept in the stage
// object's list by the numbers below.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "flash/avm2/builtins/support.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

namespace {

enum StageField {
  kFrameRate, kColor, kQuality, kDisplayState, kScaleMode, kAlign, kFocusRect, kShowMenu, kColorCorrection, kStageFields
};

std::vector<Value>& Fields(Machine& m, const Value& self) {
  ClassObject* stage = m.FindClass("flash.display.Stage");
  if (!self.IsObject() || self.object->kind != ObjectKind::Display || !m.IsInstance(self, stage))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.display.Stage.");
  auto* o = static_cast<NativeObject*>(self.object);
  if (!o->c.IsObject() || o->c.object->kind != ObjectKind::Array) {
    const Movie* movie = m.player ? &m.player->GetMovie() : nullptr;
    const Rgba back = movie ? movie->background : Rgba{255, 255, 255, 255};
    std::vector<Value> fields(kStageFields);
    fields[kFrameRate] = Value::Number(movie ? static_cast<double>(movie->header.frameRate) : 24);
    fields[kColor] = Value::Number((back.r << 16) | (back.g << 8) | back.b);
    // The player's quality as the API names it ("HIGH", "8X8LINEAR").
    std::string quality = m.player ? m.player->Quality() : "HIGH";
    std::transform(quality.begin(), quality.end(), quality.begin(), [](unsigned char c) { return std::toupper(c); });
    fields[kQuality] = m.StrValue(quality);
    fields[kDisplayState] = m.StrValue("normal");
    fields[kScaleMode] = m.StrValue("showAll");
    fields[kAlign] = m.StrValue("");
    fields[kFocusRect] = Value::Bool(true);
    fields[kShowMenu] = Value::Bool(true);
    fields[kColorCorrection] = m.StrValue("default");
    o->c = Value::Obj(m.NewArray(std::move(fields)));
  }
  return static_cast<ArrayObject*>(o->c.object)->elements;
}

template <int F>
Value GetField(Machine& m, const Value& self, const Value*, int) {
  return Fields(m, self)[F];
}

Value SetFrameRate(Machine& m, const Value& self, const Value* args, int argc) {
  const double rate = NumArg(m, args, argc, 0, NAN);
  Fields(m, self)[kFrameRate] = Value::Number(std::isnan(rate) ? rate : std::clamp(rate, 0.01, 1000.0));
  return Value();
}
Value GetColor(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(0xFF000000u | (m.ToUint32(Fields(m, self)[kColor]) & 0xFFFFFF));
}
Value SetColor(Machine& m, const Value& self, const Value* args, int argc) {
  Fields(m, self)[kColor] = Value::Number(m.ToUint32(Arg(args, argc, 0)) & 0xFFFFFF);
  return Value();
}
Value SetQuality(Machine& m, const Value& self, const Value* args, int argc) {
  std::string quality = StrArg(m, args, argc, 0);
  std::transform(quality.begin(), quality.end(), quality.begin(), [](unsigned char c) { return std::toupper(c); });
  static const char* const known[] = {"LOW", "MEDIUM", "HIGH", "BEST", "8X8", "8X8LINEAR", "16X16", "16X16LINEAR"};
  if (std::find(std::begin(known), std::end(known), quality) == std::end(known)) return Value();
  Fields(m, self)[kQuality] = m.StrValue(quality);
  return Value();
}
Value SetDisplayState(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string state = StrArg(m, args, argc, 0);
  if (state != "normal" && state != "fullScreen" && state != "fullScreenInteractive")
    m.ThrowError("ArgumentError", 2008, "Parameter displayState must be one of the accepted values.");
  Fields(m, self)[kDisplayState] = m.StrValue(state);
  return Value();
}
Value SetScaleMode(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string mode = StrArg(m, args, argc, 0);
  if (mode != "showAll" && mode != "exactFit" && mode != "noBorder" && mode != "noScale")
    m.ThrowError("ArgumentError", 2008, "Parameter scaleMode must be one of the accepted values.");
  Fields(m, self)[kScaleMode] = m.StrValue(mode);
  return Value();
}
// align keeps the letters it knows, in the order T, B, L, R.
Value SetAlign(Machine& m, const Value& self, const Value* args, int argc) {
  std::string text = StrArg(m, args, argc, 0);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  std::string align;
  for (char c : {'T', 'B', 'L', 'R'})
    if (text.find(c) != std::string::npos) align += c;
  if (align.find('T') != std::string::npos && align.find('B') != std::string::npos) align.erase(align.find('B'), 1);
  if (align.find('L') != std::string::npos && align.find('R') != std::string::npos) align.erase(align.find('R'), 1);
  Fields(m, self)[kAlign] = m.StrValue(align);
  return Value();
}
Value SetFocusRect(Machine& m, const Value& self, const Value* args, int argc) {
  Fields(m, self)[kFocusRect] = Value::Bool(m.ToBoolean(Arg(args, argc, 0)));
  return Value();
}

Value GetFocus(Machine& m, const Value& self, const Value*, int) {
  Fields(m, self);
  DisplayObject* focus = m.player ? m.player->Focus() : nullptr;
  return focus ? DisplayObjectValue(m, focus) : Value::Null();
}
Value SetFocus(Machine& m, const Value& self, const Value* args, int argc) {
  Fields(m, self);
  const Value v = Arg(args, argc, 0);
  if (!m.player) return Value();
  if (v.IsNull() || v.IsUndefined()) {
    m.player->SetFocus(nullptr);
    return Value();
  }
  if (!v.IsObject() || v.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(v.object)->display)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.InteractiveObject.");
  m.player->SetFocus(static_cast<NativeObject*>(v.object)->display);
  return Value();
}

// showDefaultContextMenu: whether the player's menu shows its own items (the window
// shows the program's pop-up menu either way).
Value SetShowMenu(Machine& m, const Value& self, const Value* args, int argc) {
  Fields(m, self)[kShowMenu] = Value::Bool(m.ToBoolean(Arg(args, argc, 0)));
  return Value();
}
// colorCorrection is kept; the player here has no colour management to turn on.
Value SetColorCorrection(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) m.ThrowTypeError(2007, "Parameter colorCorrection must be non-null.");
  const std::string mode = m.ToString(v);
  if (mode != "default" && mode != "on" && mode != "off")
    m.ThrowError("ArgumentError", 2008, "Parameter colorCorrection must be one of the accepted values.");
  Fields(m, self)[kColorCorrection] = m.StrValue(mode);
  return Value();
}
Value ColorCorrectionSupport(Machine& m, const Value&, const Value*, int) { return m.StrValue("unsupported"); }
// fullScreenWidth/Height: the screen Capabilities reports, which full screen would fill.
template <bool Height>
Value FullScreenSize(Machine&, const Value&, const Value*, int) {
  return Value::Number(Height ? kScreenHeight : kScreenWidth);
}

Value One(Machine&, const Value&, const Value*, int) { return Value::Number(1); }

}  // namespace

void InstallStage(Machine& m) {
  ClassObject* stage = m.FindClass("flash.display.Stage");
  if (!stage) return;
  // The frame rate and the other fields below replace the plain ones.
  static const Member kStageMembers[] = {
      {"frameRate", GetField<kFrameRate>, SetFrameRate, kAccessor, 0},
      {"color", GetColor, SetColor, kAccessor, 0},
      {"quality", GetField<kQuality>, SetQuality, kAccessor, 0},
      {"displayState", GetField<kDisplayState>, SetDisplayState, kAccessor, 0},
      {"scaleMode", GetField<kScaleMode>, SetScaleMode, kAccessor, 0},
      {"align", GetField<kAlign>, SetAlign, kAccessor, 0},
      {"stageFocusRect", GetField<kFocusRect>, SetFocusRect, kAccessor, 0},
      {"focus", GetFocus, SetFocus, kAccessor, 0},
      {"allowsFullScreen", True, nullptr, kAccessor, 0},
      {"allowsFullScreenInteractive", False, nullptr, kAccessor, 0},
      {"browserZoomFactor", One, nullptr, kAccessor, 0},
      {"contentsScaleFactor", One, nullptr, kAccessor, 0},
      {"showDefaultContextMenu", GetField<kShowMenu>, SetShowMenu, kAccessor, 0},
      {"colorCorrection", GetField<kColorCorrection>, SetColorCorrection, kAccessor, 0},
      {"colorCorrectionSupport", ColorCorrectionSupport, nullptr, kAccessor, 0},
      {"fullScreenWidth", FullScreenSize<false>, nullptr, kAccessor, 0},
      {"fullScreenHeight", FullScreenSize<true>, nullptr, kAccessor, 0},
  };
  Install(m, stage, kStageMembers);
}

}  // namespace vantrel::flash::avm2
