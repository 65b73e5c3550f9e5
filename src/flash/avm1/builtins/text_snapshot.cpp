// TextSnapshot: the static text of a clip, read, searched and selected by character
// index. MovieClip.getTextSnapshot() makes one for the clip.
#include <cmath>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/display/movie_clip.h"
#include "flash/display/text_snapshot.h"

namespace vantrel::flash::avm1 {

namespace {

class SnapshotData final : public NativeData {
 public:
  Value clip;
  StaticTextSnapshot text;  // as it was when the snapshot was made
  std::vector<bool> selected;
  double selectColor = 0xFFFF00;  // the highlight of selected characters
  void Trace(gc::Tracer& tracer) const override { TraceValue(tracer, clip); }
};

SnapshotData* SnapshotOfThis(Call& call) {
  Object* self = call.thisValue.AsObject();
  return self ? self->Data<SnapshotData>() : nullptr;
}

std::optional<StaticTextSnapshot> TextOf(Call&, SnapshotData& data) {
  if (data.clip.IsUndefined()) return std::nullopt;
  return data.text;
}

int Index(Call& call, std::size_t i) { return SaturatedInt32(call.machine.ToNumber(call.Arg(i))); }

Value GetCount(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data) return {};
  const auto text = TextOf(call, *data);
  return text ? Value::Number(static_cast<double>(text->text.size())) : Value();
}

Value GetText(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 2 || call.Count() > 3) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  const bool lineEndings = call.Count() >= 3 && call.machine.ToBoolean(call.Arg(2));
  return call.machine.Str(text->Range(Index(call, 0), Index(call, 1), lineEndings).toStdString());
}

// findText(start, text, caseSensitive): only with exactly three arguments.
Value FindText(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() != 3) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  const QString needle = QString::fromStdString(call.machine.ToString(call.Arg(1)));
  return Value::Number(text->Find(Index(call, 0), needle, call.machine.ToBoolean(call.Arg(2))));
}

Value SetSelected(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 3) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  const int count = static_cast<int>(data->selected.size());
  const int begin = std::clamp(Index(call, 0), 0, count), end = std::clamp(Index(call, 1), 0, count);
  const bool select = call.machine.ToBoolean(call.Arg(2));
  for (int i = begin; i < end; ++i) data->selected[static_cast<std::size_t>(i)] = select;
  return {};
}

Value GetSelected(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 2) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  const int count = static_cast<int>(data->selected.size());
  const int begin = std::clamp(Index(call, 0), 0, count);
  const int end = std::clamp(std::max(Index(call, 1), begin + 1), 0, count);
  for (int i = begin; i < end; ++i)
    if (data->selected[static_cast<std::size_t>(i)]) return Value::Bool(true);
  return Value::Bool(false);
}

Value GetSelectedText(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  const bool lineEndings = call.Count() >= 1 && call.machine.ToBoolean(call.Arg(0));
  QString out;
  bool any = false;
  for (qsizetype i = 0; i < text->text.size(); ++i) {
    if (!data->selected[static_cast<std::size_t>(i)]) continue;
    if (lineEndings && any && text->lineStart[static_cast<std::size_t>(i)]) out += '\n';
    out += text->text[i];
    any = true;
  }
  return call.machine.Str(out.toStdString());
}

// hitTestTextNearPos(x, y[, maxDistance]): the character nearest to the point (pixels
// in the clip) within maxDistance, or -1.
Value HitTestTextNearPos(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 2) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  MachineInterface& m = call.machine;
  const double x = m.ToNumber(call.Arg(0)), y = m.ToNumber(call.Arg(1));
  const double distance = call.Count() > 2 ? m.ToNumber(call.Arg(2)) : 0;
  if (std::isnan(x) || std::isnan(y) || std::isnan(distance)) return Value::Number(-1);
  return Value::Number(text->Nearest(QPointF(x * 20, y * 20), std::max(distance, 0.0) * 20));
}

Value SetSelectColor(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 1) return {};
  data->selectColor = static_cast<double>(ToUint32(call.machine.ToNumber(call.Arg(0))) & 0xFFFFFF);
  return {};
}

// getTextRunInfo(begin, end): for each character of the range, an object with its
// index, selection, font, colour, height and where its glyph stands (matrix and the
// corners of its cell, in pixels of the clip).
Value GetTextRunInfo(Call& call) {
  SnapshotData* data = SnapshotOfThis(call);
  if (!data || call.Count() < 2) return {};
  const auto text = TextOf(call, *data);
  if (!text) return {};
  MachineInterface& m = call.machine;
  const int count = static_cast<int>(text->glyphs.size());
  const int begin = std::clamp(Index(call, 0), 0, count), end = std::clamp(Index(call, 1), begin, count);
  std::vector<Value> runs;
  for (int i = begin; i < end; ++i) {
    const StaticTextSnapshot::Glyph& g = text->glyphs[static_cast<std::size_t>(i)];
    Object* info = m.NewObject();
    auto set = [&](const char* name, const Value& v) { m.Set(info, name, v); };
    set("indexInRun", Value::Number(i));
    set("selected", Value::Bool(data->selected[static_cast<std::size_t>(i)]));
    set("font", m.Str(g.font.toStdString()));
    set("color", Value::Number(g.color));
    set("height", Value::Number(g.height / 20));
    set("matrix_a", Value::Number(g.matrix.a));
    set("matrix_b", Value::Number(g.matrix.b));
    set("matrix_c", Value::Number(g.matrix.c));
    set("matrix_d", Value::Number(g.matrix.d));
    set("matrix_tx", Value::Number(g.matrix.tx / 20));
    set("matrix_ty", Value::Number(g.matrix.ty / 20));
    static const char* kCorners[4][2] = {
        {"corner0x", "corner0y"}, {"corner1x", "corner1y"}, {"corner2x", "corner2y"}, {"corner3x", "corner3y"}};
    for (int c = 0; c < 4; ++c) {
      set(kCorners[c][0], Value::Number(g.corners[c].x() / 20));
      set(kCorners[c][1], Value::Number(g.corners[c].y() / 20));
    }
    runs.push_back(Value::Obj(info));
  }
  return Value::Obj(m.NewArray(std::move(runs)));
}

Value Construct(Call& call) {
  if (!call.self) return {};
  auto data = std::make_unique<SnapshotData>();
  if (Object* target = call.Arg(0).AsObject()) {
    DisplayObject* d = call.machine.AsDisplay(target);
    if (d && d->Kind() == DisplayKind::MovieClip) {
      data->clip = call.Arg(0);
      data->text = SnapshotOf(static_cast<const MovieClip&>(*d));
      data->selected.assign(static_cast<std::size_t>(data->text.text.size()), false);
    }
  }
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(data);
  return Value::Obj(call.self);
}

Value GetTextSnapshot(Call& call) {
  Object* ctor = call.machine.Get(call.machine.Rt().global, "TextSnapshot").AsObject();
  if (!ctor || !call.self) return {};
  const Value clip = Value::Obj(call.self);
  Object* snapshot = call.machine.Construct(ctor, std::span<const Value>(&clip, 1));
  return snapshot ? Value::Obj(snapshot) : Value();
}

// Enumerable, as the player makes them, and hidden from SWF 5 code.
const Member kMembers[] = {
    {"getCount", GetCount, nullptr, kVersion6},
    {"setSelected", SetSelected, nullptr, kVersion6},
    {"getSelected", GetSelected, nullptr, kVersion6},
    {"getText", GetText, nullptr, kVersion6},
    {"getSelectedText", GetSelectedText, nullptr, kVersion6},
    {"hitTestTextNearPos", HitTestTextNearPos, nullptr, kVersion6},
    {"findText", FindText, nullptr, kVersion6},
    {"setSelectColor", SetSelectColor, nullptr, kVersion6},
    {"getTextRunInfo", GetTextRunInfo, nullptr, kVersion6},
};

}  // namespace

void InstallTextSnapshot(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  rt.AddMembers(data::PrototypeOf(ctor), kMembers);
  data::RegisterClass(rt, rt.global, "TextSnapshot", ctor);
  if (rt.movieClipProto) {
    static const Member kClipMembers[] = {{"getTextSnapshot", GetTextSnapshot}};
    rt.AddMembers(rt.movieClipProto, kClipMembers);
  }
}

}  // namespace vantrel::flash::avm1
