// Color: the old colour transform interface of a clip. Multipliers are percentages and
// offsets whole numbers, both stored the way the player stores them (8.8 fixed-point
// multipliers, 16-bit offsets), so what a movie reads back is what it would see there.
#include <cmath>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

namespace {

std::int16_t Wrap16(double value) { return static_cast<std::int16_t>(ToInt32(value)); }

// The display object the Color stands for: its `target` as a clip, or as a path from
// the running code's timeline.
DisplayObject* TargetOf(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self) return nullptr;
  const Value target = m.Get(call.self, "target");
  if (Object* object = target.AsObject()) return m.AsDisplay(object);
  if (!target.IsString() || target.Text().empty()) return nullptr;
  const std::string path = target.Text();
  Value at = Value::Obj(m.Target());
  std::size_t start = 0;
  if (!path.empty() && path[0] == '/') {
    at = m.GetMember(at, "_root");
    start = 1;
  }
  while (start < path.size()) {
    std::size_t end = path.find_first_of("./", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      at = m.GetMember(at, "_parent");
    } else if (!part.empty()) {
      at = m.GetMember(at, part);
    }
    start = end + 1;
  }
  Object* object = at.AsObject();
  return object ? m.AsDisplay(object) : nullptr;
}

Value Construct(Call& call) {
  if (!call.self) return Value();
  call.self->Define("target", call.Arg(0), kDontEnum | kDontDelete | kReadOnly);
  return Value::Obj(call.self);
}

Value SetRgb(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  const std::uint32_t rgb = ToUint32(call.machine.ToNumber(call.Arg(0)));
  ColorTransform ct = target->GetColorTransform();
  ct.mulR = ct.mulG = ct.mulB = 0;
  ct.addR = (rgb >> 16) & 255;
  ct.addG = (rgb >> 8) & 255;
  ct.addB = rgb & 255;
  target->SetColorTransform(ct);
  // A clip a Color has changed no longer follows its timeline's moves.
  target->transformedByScript = true;
  return Value();
}

// The transform as the player holds it: multipliers in 1/256, offsets as integers.
std::int32_t Fixed(double multiplier) { return Wrap16(std::trunc(multiplier * 256)); }
std::int32_t Offset(double offset) { return Wrap16(std::trunc(offset)); }

Value GetRgb(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  const ColorTransform& ct = target->GetColorTransform();
  return Value::Number((Offset(ct.addR) << 16) | (Offset(ct.addG) << 8) | Offset(ct.addB));
}

Value SetTransform(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* target = TargetOf(call);
  Object* values = call.Arg(0).AsObject();
  if (!target || !values) return Value();
  ColorTransform ct = target->GetColorTransform();
  const struct {
    const char* name;
    double* field;
    bool multiplier;
  } fields[] = {{"ra", &ct.mulR, true},  {"rb", &ct.addR, false}, {"ga", &ct.mulG, true},  {"gb", &ct.addG, false},
                {"ba", &ct.mulB, true},  {"bb", &ct.addB, false}, {"aa", &ct.mulA, true},  {"ab", &ct.addA, false}};
  // Only the object's own properties count (not what its prototypes offer).
  for (const auto& f : fields) {
    if (!values->FindOwn(f.name, m.CaseSensitive())) continue;
    const double v = m.ToNumber(m.Get(values, f.name));
    if (f.multiplier) {
      *f.field = Wrap16(v * 256 / 100) / 256.0;
    } else {
      *f.field = Wrap16(v);
    }
  }
  target->SetColorTransform(ct);
  target->transformedByScript = true;
  return Value();
}

Value GetTransform(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  const ColorTransform& ct = target->GetColorTransform();
  Object* out = m.NewObject();
  const struct {
    const char* name;
    double value;
  } fields[] = {{"ra", Fixed(ct.mulR) * 100 / 256.0}, {"rb", static_cast<double>(Offset(ct.addR))},
                {"ga", Fixed(ct.mulG) * 100 / 256.0}, {"gb", static_cast<double>(Offset(ct.addG))},
                {"ba", Fixed(ct.mulB) * 100 / 256.0}, {"bb", static_cast<double>(Offset(ct.addB))},
                {"aa", Fixed(ct.mulA) * 100 / 256.0}, {"ab", static_cast<double>(Offset(ct.addA))}};
  for (const auto& f : fields) m.Set(out, f.name, Value::Number(f.value));
  return Value::Obj(out);
}

}  // namespace

void InstallColor(Runtime& rt) {
  Object* color = rt.MakeClass(Construct, Construct);
  data::RegisterClass(rt, rt.global, "Color", color);
  static const Member members[] = {
      {"setRGB", SetRgb, nullptr, kDontEnum | kDontDelete | kReadOnly, 700, 0},
      {"setTransform", SetTransform, nullptr, kDontEnum | kDontDelete | kReadOnly, 700, 1},
      {"getRGB", GetRgb, nullptr, kDontEnum | kDontDelete | kReadOnly, 700, 2},
      {"getTransform", GetTransform, nullptr, kDontEnum | kDontDelete | kReadOnly, 700, 3},
  };
  rt.AddMembers(data::PrototypeOf(color), members);
}

}  // namespace vantrel::flash::avm1
