// flash.display.SimpleButton: a button holds one display object per state (up, over,
// down, hit test). A button of the library makes its states from its records when it is
// made: a state with one record is that record's object, a state with several is a
// Sprite holding them. The state shown is the button's only child, though scripts see
// no parent above it.
#include <algorithm>

#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr std::uint8_t kStateBits[MovieClip::kStateCount] = {ButtonCharacter::kUp, ButtonCharacter::kOver,
                                                             ButtonCharacter::kDown, ButtonCharacter::kHitTest};

MovieClip* ButtonOf(Machine& m, const Value& self) {
  NativeObject* o = Receiver<NativeObject>(m, self, ObjectKind::Display, "SimpleButton");
  if (!o->display || o->display->Kind() != DisplayKind::Button)
    m.ThrowError("Error", 2012, "Display objects cannot be made without a player.");
  return static_cast<MovieClip*>(o->display);
}

DisplayObject* StateArg(Machine& m, const Value& v) {
  if (v.IsNull() || v.IsUndefined()) return nullptr;
  if (!v.IsObject() || v.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(v.object)->display)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) +
                               " to flash.display.DisplayObject.");
  return static_cast<NativeObject*>(v.object)->display;
}

// Takes the object off the display list it is on (with the removal's events) before it
// becomes a state.
void TakeFromParent(Machine& m, MovieClip* button, DisplayObject* object) {
  MovieClip* parent = object->Parent();
  if (!parent || parent == button || object->Removed()) return;
  RemoveChildOf(m, parent, object);
}

void SetState(Machine& m, const Value& self, int index, const Value& value) {
  MovieClip* button = ButtonOf(m, self);
  DisplayObject* object = StateArg(m, value);
  if (object == button) m.ThrowError("ArgumentError", 2024, "An object cannot be added as a child of itself.");
  if (object) TakeFromParent(m, button, object);
  button->SetStateObject(index, object);
}

template <int index>
Value GetStateOf(Machine& m, const Value& self, const Value*, int) {
  return DisplayObjectValue(m, ButtonOf(m, self)->stateObjects[index]);
}
template <int index>
Value SetStateOf(Machine& m, const Value& self, const Value* args, int argc) {
  SetState(m, self, index, Arg(args, argc, 0));
  return Value();
}

Value GetEnabled(Machine& m, const Value& self, const Value*, int) { return Value::Bool(ButtonOf(m, self)->buttonEnabled); }
Value SetEnabled(Machine& m, const Value& self, const Value* args, int argc) {
  ButtonOf(m, self)->buttonEnabled = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}
Value GetTrackAsMenu(Machine& m, const Value& self, const Value*, int) {
  const MovieClip* button = ButtonOf(m, self);
  return Value::Bool(button->trackAsMenu);
}
Value SetTrackAsMenu(Machine& m, const Value& self, const Value* args, int argc) {
  ButtonOf(m, self)->trackAsMenu = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}

// new SimpleButton(upState, overState, downState, hitTestState): a library button's
// subclass keeps the states its symbol made where an argument is null.
Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  for (int i = 0; i < MovieClip::kStateCount; ++i)
    if (const Value v = Arg(args, argc, i); !v.IsNull() && !v.IsUndefined()) SetState(m, self, i, v);
  return Value();
}

// The object a record places in a state, made and constructed as the timeline would,
// without the events of an addition (it joins no display list yet).
DisplayObject* MakeRecord(Machine& m, MovieClip& button, const ButtonRecord& record) {
  DisplayObject* object = button.PlaceButtonRecord(record, false);
  if (object) ConstructPlaced(m, object, m.linkedClassOf ? m.linkedClassOf(*object) : nullptr, false);
  return object;
}

}  // namespace

void BuildButtonStates(Machine& m, MovieClip& button) {
  button.keepsStates = true;
  if (!button.button || !m.player) {
    button.ShowButtonState(ButtonCharacter::kUp);
    return;
  }
  std::vector<const ButtonRecord*> records;
  for (const ButtonRecord& record : button.button->records) records.push_back(&record);
  std::stable_sort(records.begin(), records.end(), [](auto* a, auto* b) { return a->depth < b->depth; });
  // Every state makes its own objects, the up state first.
  std::vector<DisplayObject*> made[MovieClip::kStateCount];
  for (int i = 0; i < MovieClip::kStateCount; ++i)
    for (const ButtonRecord* record : records)
      if (record->states & kStateBits[i])
        if (DisplayObject* object = MakeRecord(m, button, *record)) made[i].push_back(object);
  ClassObject* sprite = m.FindClass("flash.display.Sprite");
  for (int i = 0; i < MovieClip::kStateCount; ++i) {
    DisplayObject* state = made[i].size() == 1 ? made[i][0] : nullptr;
    if (made[i].size() != 1 && sprite) {
      MovieClip* holder = m.player->CreateEmptyClip(button.Movie());
      holder->name = "instance" + std::to_string(m.player->NextInstanceNumber());
      ConstructPlaced(m, holder, sprite, false);
      for (DisplayObject* object : made[i]) {
        MovieClip::Detach(object);
        AddChildOf(m, holder, object);
      }
      state = holder;
    }
    if (made[i].size() == 1) MovieClip::Detach(state);
    button.SetStateObject(i, state);
  }
  button.buttonState = 0;
  button.ShowButtonState(ButtonCharacter::kUp);
}

void InstallSimpleButton(Machine& m) {
  ClassObject* interactive = m.FindClass("flash.display.InteractiveObject");
  ClassObject* button = m.DefineClass("flash.display", "SimpleButton", interactive, Construct);
  static const Member kMembers[] = {
      {"upState", GetStateOf<0>, SetStateOf<0>, kAccessor, 0},
      {"overState", GetStateOf<1>, SetStateOf<1>, kAccessor, 0},
      {"downState", GetStateOf<2>, SetStateOf<2>, kAccessor, 0},
      {"hitTestState", GetStateOf<3>, SetStateOf<3>, kAccessor, 0},
      {"enabled", GetEnabled, SetEnabled, kAccessor, 0},
      {"trackAsMenu", GetTrackAsMenu, SetTrackAsMenu, kAccessor, 0},
      {"soundTransform", GetObjectSoundTransform, SetObjectSoundTransform, kAccessor, 0},
  };
  Install(m, button, kMembers);
}

}  // namespace vantrel::flash::avm2
