// ContextMenu and ContextMenuItem: the menu a movie gives its clips, buttons and text
// fields (their `menu` property). A menu holds the switches of the player's own items
// (builtInItems), the movie's items (customItems) and the handler told before the menu
// opens (onSelect); both classes copy themselves with copy().
#include <algorithm>
#include <array>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

// The player's own items in the order they are made (for..in lists them backwards).
constexpr std::array<const char*, 8> kBuiltInItems = {"print", "forward_back", "rewind", "loop",
                                                      "play",  "quality",      "zoom",   "save"};

Object* Self(Call& call) { return call.thisValue.AsObject(); }

Value MenuConstruct(Call& call) {
  Object* self = call.self;
  if (!self) return {};
  MachineInterface& m = call.machine;
  m.Set(self, "onSelect", call.Arg(0));
  Object* items = m.NewObject();
  for (const char* name : kBuiltInItems) m.Set(items, name, Value::Bool(true));
  m.Set(self, "builtInItems", Value::Obj(items));
  m.Set(self, "customItems", Value::Obj(m.NewArray()));
  return Value::Obj(self);
}

// A new menu with the same handler, the same switches and a copy of every custom item.
Value MenuCopy(Call& call) {
  Object* self = Self(call);
  Object* ctor = data::ConstructorOf(call.machine.Rt(), "ContextMenu");
  if (!self || !ctor) return {};
  MachineInterface& m = call.machine;
  const Value onSelect = m.Get(self, "onSelect");
  Object* copy = m.Construct(ctor, std::span<const Value>(&onSelect, 1));
  if (!copy) return {};
  const Value from = m.Get(self, "builtInItems");
  Object* items = m.Get(copy, "builtInItems").AsObject();
  if (items)
    for (const char* name : kBuiltInItems) m.Set(items, name, m.GetMember(from, name));
  const Value custom = m.Get(self, "customItems");
  std::vector<Value> copies;
  // Any object may claim any length: the copy goes no further than an array's elements can.
  const double count = std::min(m.ToNumber(m.GetMember(custom, "length")), static_cast<double>(kMaxWalkedLength));
  for (double i = 0; i < count && m.TimeLeft(); ++i)
    copies.push_back(m.CallMethod(m.GetMember(custom, NumberToString(i)), "copy", {}));
  m.Set(copy, "customItems", Value::Obj(m.NewArray(std::move(copies))));
  return Value::Obj(copy);
}

// Switches off every item of the player's own that a movie may hide.
Value HideBuiltInItems(Call& call) {
  Object* self = Self(call);
  if (!self) return {};
  Object* items = call.machine.Get(self, "builtInItems").AsObject();
  if (items)
    for (const char* name : kBuiltInItems) call.machine.Set(items, name, Value::Bool(false));
  return {};
}

// new ContextMenuItem(caption, onSelect, separatorBefore = false, enabled = true,
// visible = true).
Value ItemConstruct(Call& call) {
  Object* self = call.self;
  if (!self) return {};
  MachineInterface& m = call.machine;
  auto flag = [&](std::size_t i, bool absent) {
    return Value::Bool(call.Arg(i).IsUndefined() ? absent : m.ToBoolean(call.Arg(i)));
  };
  m.Set(self, "caption", call.Arg(0));
  m.Set(self, "onSelect", call.Arg(1));
  m.Set(self, "separatorBefore", flag(2, false));
  m.Set(self, "enabled", flag(3, true));
  m.Set(self, "visible", flag(4, true));
  return Value::Obj(self);
}

Value ItemCopy(Call& call) {
  Object* self = Self(call);
  Object* ctor = data::ConstructorOf(call.machine.Rt(), "ContextMenuItem");
  if (!self || !ctor) return {};
  MachineInterface& m = call.machine;
  const Value args[] = {m.Get(self, "caption"), m.Get(self, "onSelect"), m.Get(self, "separatorBefore"),
                        m.Get(self, "enabled"), m.Get(self, "visible")};
  Object* copy = m.Construct(ctor, args);
  return copy ? Value::Obj(copy) : Value();
}

}  // namespace

void InstallContextMenu(Runtime& rt) {
  Object* menu = rt.MakeClass(MenuConstruct, MenuConstruct);
  static const Member kMenuMembers[] = {
      {"copy", MenuCopy},
      {"hideBuiltInItems", HideBuiltInItems},
  };
  rt.AddMembers(data::PrototypeOf(menu), kMenuMembers);
  data::RegisterClass(rt, rt.global, "ContextMenu", menu);

  Object* item = rt.MakeClass(ItemConstruct, ItemConstruct);
  static const Member kItemMembers[] = {{"copy", ItemCopy}};
  rt.AddMembers(data::PrototypeOf(item), kItemMembers);
  data::RegisterClass(rt, rt.global, "ContextMenuItem", item);
}

}  // namespace vantrel::flash::avm1
