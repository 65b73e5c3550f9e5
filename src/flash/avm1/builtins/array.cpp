// Array: the constructor (as a function and with new), its methods and the sort flags.
// The methods work on real arrays through their element vector and on any other object
// (Array.prototype.push.call(o, ...)) through its length and indexed properties.
#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm1 {

namespace {

enum SortFlag : std::int32_t {
  kCaseInsensitive = 1,
  kDescending = 2,
  kUniqueSort = 4,
  kReturnIndexedArray = 8,
  kNumeric = 16,
};

// The array-like `this` of a method. Methods work as the player's do: an element moved
// from one index to another is deleted there and created anew (it becomes the newest
// property for for..in), unless it refuses deletion; read-only elements keep their
// values. A real array's elements are read own and stored only; other objects are read
// the same way through their properties (no getters, no prototypes) and written
// through the ordinary property path. Any object may claim a length of millions: once
// the script's time is spent the rest of the walk reads undefined and writes nothing.
class Elements {
 public:
  Elements(MachineInterface& machine, Object* object) : machine_(machine), object_(object), data_(object ? object->Array() : nullptr) {}

  bool Valid() const { return object_ != nullptr; }
  std::int32_t Length() const {
    if (data_) return data_->Length();
    if (!object_) return 0;
    return std::clamp(ToInt32(machine_.ToNumber(machine_.Get(object_, "length"))), 0, kMaxWalkedLength);
  }
  // The length as far as a method walks it.
  std::int32_t Extent() const { return std::clamp(Length(), 0, kMaxWalkedLength); }
  Value Get(std::int32_t i) const {
    if (data_) return i >= 0 ? data_->Get(static_cast<std::size_t>(i)) : Value();
    if (!machine_.TimeLeft()) return Value();
    const Property* p = object_->FindOwn(std::to_string(i), true);
    return p && !p->IsAccessor() ? p->value : Value();
  }
  void Set(std::int32_t i, const Value& v) {
    if (i < 0 || i >= kMaxWalkedLength) return;
    if (data_) {
      const std::size_t before = data_->Bytes();
      data_->Put(static_cast<std::size_t>(i), v);
      machine_.Rt().heap.NoteGrowth(before, data_->Bytes());
      return;
    }
    if (machine_.TimeLeft()) machine_.Set(object_, std::to_string(i), v);
  }
  void Delete(std::int32_t i) {
    if (i < 0) return;
    if (data_) {
      data_->Remove(static_cast<std::size_t>(i));
      return;
    }
    if (machine_.TimeLeft()) object_->DeleteOwn(std::to_string(i), true);
  }
  // Deletes element i and creates it again with v.
  void Recreate(std::int32_t i, const Value& v) {
    Delete(i);
    Set(i, v);
  }
  void SetLength(std::int32_t length) {
    if (data_) {
      data_->SetLength(length);
      return;
    }
    machine_.Set(object_, "length", Value::Number(length));
  }
  std::vector<Value> All() const {
    std::vector<Value> out;
    const std::int32_t n = Extent();
    if (data_) out.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n && (data_ || machine_.TimeLeft()); ++i) out.push_back(Get(i));
    return out;
  }
  Object* object() const { return object_; }

 private:
  MachineInterface& machine_;
  Object* object_;
  ArrayData* data_;
};

Object* MakeArrayOf(MachineInterface& machine, std::vector<Value> elements) { return machine.NewArray(std::move(elements)); }

// Array(3) has length 3 and no elements (Array(-1) keeps -1); Array(1, 2) or
// Array("3") are their arguments.
void Construct(MachineInterface& machine, ArrayData& data, Call& call) {
  const std::size_t before = data.Bytes();
  if (call.Count() == 1 && call.Arg(0).IsNumber()) {
    data.Assign({});
    data.StoreLength(ToInt32(call.Arg(0).number));
  } else {
    data.Assign(std::vector<Value>(call.args.begin(), call.args.end()));
  }
  machine.Rt().heap.NoteGrowth(before, data.Bytes());
}

Value ArrayCall(Call& call) {
  Object* array = MakeArrayOf(call.machine, {});
  Construct(call.machine, *array->Array(), call);
  return Value::Obj(array);
}

Value ArrayConstruct(Call& call) {
  if (!call.self) return ArrayCall(call);
  // The new object (or a subclass instance calling super()) becomes the array itself.
  if (ArrayData* data = call.self->Array()) {
    Construct(call.machine, *data, call);
  } else if (Fresh(call.self)) {
    call.self->kind = NativeKind::Array;
    call.self->native = std::make_unique<ArrayData>(call.self);
    Construct(call.machine, *call.self->Array(), call);
  }
  return Value::Obj(call.self);
}

Value Push(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  std::int32_t length = a.Length();
  for (const Value& v : call.args) a.Set(length++, v);
  a.SetLength(length);
  return Value::Number(length);
}

Value Pop(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Length();
  if (length <= 0) return Value();
  const Value last = a.Get(length - 1);
  a.Delete(length - 1);
  a.SetLength(length - 1);
  return last;
}

Value Shift(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Extent();
  if (length == 0) return Value();
  const Value first = a.Get(0);
  for (std::int32_t i = 1; i < length; ++i) a.Recreate(i - 1, a.Get(i));
  a.Delete(length - 1);
  a.SetLength(length - 1);
  return first;
}

Value Unshift(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Extent();
  const auto added = static_cast<std::int32_t>(call.Count());
  if (added > 0) {
    for (std::int32_t i = length - 1; i >= 0; --i) a.Recreate(i + added, a.Get(i));
    for (std::int32_t i = 0; i < added; ++i) a.Recreate(i, call.args[i]);
  }
  a.SetLength(length + added);
  return Value::Number(length + added);
}

// Each pair i < j trades places: i is re-created, then j; a middle element stays.
Value Reverse(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Extent();
  for (std::int32_t i = 0, j = length - 1; i < j; ++i, --j) {
    const Value low = a.Get(i);
    const Value high = a.Get(j);
    a.Recreate(i, high);
    a.Recreate(j, low);
  }
  return Value::Obj(call.self);
}

std::string JoinElements(MachineInterface& machine, const Elements& a, const std::string& separator) {
  std::string out;
  const ConversionNesting nesting;
  if (nesting.TooDeep()) return out;
  const std::int32_t length = a.Extent();
  for (std::int32_t i = 0; i < length; ++i) {
    if (i) out += separator;
    out += machine.ToString(a.Get(i));
    // Holes and one long string can make a join of any size.
    if (machine.StringTooLong(out.size())) return {};
  }
  return out;
}

Value Join(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return call.machine.Str("");
  const std::string separator = call.Count() > 0 ? ArgString(call, 0) : ",";
  return call.machine.Str(JoinElements(call.machine, a, separator));
}

Value ToStringMethod(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return call.machine.Str("");
  return call.machine.Str(JoinElements(call.machine, a, ","));
}

// A start or end index: negative counts from the end; clamped to [0, length].
std::int32_t AbsoluteIndex(std::int32_t index, std::int32_t length) {
  if (index < 0) return std::max(index + length, 0);
  return std::min(index, length);
}

Value Slice(Call& call) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Extent();
  const std::int32_t start = AbsoluteIndex(ArgInt(call, 0), length);
  const std::int32_t end = call.Arg(1).IsUndefined() ? length : AbsoluteIndex(ArgInt(call, 1), length);
  std::vector<Value> out;
  for (std::int32_t i = start; i < end; ++i) out.push_back(a.Get(i));
  return Value::Obj(MakeArrayOf(call.machine, std::move(out)));
}

Value Splice(Call& call) {
  // An undefined start or count makes the player give up, leaving the array alone.
  if (call.Count() == 0 || call.Arg(0).IsUndefined()) return Value();
  if (call.Count() > 1 && call.Arg(1).IsUndefined()) return Value();
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::int32_t length = a.Extent();
  const std::int32_t start = AbsoluteIndex(ArgInt(call, 0), length);
  std::int32_t count = length - start;
  if (call.Count() > 1) {
    const std::int32_t asked = ArgInt(call, 1);
    if (asked < 0) return Value();
    count = std::min(asked, length - start);
  }
  const std::vector<Value> all = a.All();
  std::vector<Value> removed(all.begin() + start, all.begin() + start + count);
  const std::span<const Value> inserted = call.Count() > 2 ? call.args.subspan(2) : std::span<const Value>();
  const auto added = static_cast<std::int32_t>(inserted.size());
  const std::int32_t tail = start + count;
  // What moves is deleted and created again at its new index, the far end first when
  // the tail moves up (as unshift does), the near end first otherwise (as shift does).
  if (added > count) {
    for (std::int32_t i = length - 1; i >= tail; --i) a.Recreate(i - count + added, all[i]);
  } else {
    for (std::int32_t i = tail; i < length; ++i) a.Recreate(i - count + added, all[i]);
  }
  for (std::int32_t i = 0; i < added; ++i) a.Recreate(start + i, inserted[i]);
  const std::int32_t newLength = length - count + added;
  for (std::int32_t i = length - 1; i >= newLength; --i) a.Delete(i);
  a.SetLength(newLength);
  return Value::Obj(MakeArrayOf(call.machine, std::move(removed)));
}

Value Concat(Call& call) {
  std::vector<Value> out;
  const auto add = [&](const Value& v) {
    Object* object = v.AsObject();
    if (object && object->IsArray()) {
      const std::vector<Value> elements = Elements(call.machine, object).All();
      out.insert(out.end(), elements.begin(), elements.end());
    } else {
      out.push_back(v);
    }
  };
  if (call.self && call.self->IsArray()) {
    add(Value::Obj(call.self));
  } else if (call.self) {
    Elements a(call.machine, call.self);
    const std::vector<Value> all = a.All();
    out.insert(out.end(), all.begin(), all.end());
  }
  for (const Value& v : call.args) add(v);
  return Value::Obj(MakeArrayOf(call.machine, std::move(out)));
}

// --- sort and sortOn --------------------------------------------------------------

// -1, 0 or 1 as a sort of the elements sees them.
class Comparer {
 public:
  virtual ~Comparer() = default;
  virtual int Compare(const Value& a, const Value& b, std::int32_t flags) = 0;
  // A comparison failed by throwing, or the script's time ran out: the sort stops.
  bool failed = false;
};

// The player's default comparison: numbers by value with NUMERIC, everything else by
// its text (UTF-16 unit order), optionally ignoring case; DESCENDING turns it round.
int CompareValues(MachineInterface& machine, const Value& a, const Value& b, std::int32_t flags) {
  int result = 0;
  if ((flags & kNumeric) && a.IsNumber() && b.IsNumber()) {
    // NaN compares equal to everything, as in the player.
    if (a.number < b.number) result = -1;
    else if (a.number > b.number) result = 1;
  } else {
    result = script::CompareUtf16(machine.ToString(a), machine.ToString(b), (flags & kCaseInsensitive) != 0);
  }
  return (flags & kDescending) ? -result : result;
}

class DefaultComparer final : public Comparer {
 public:
  explicit DefaultComparer(MachineInterface& machine) : machine_(machine) {}
  int Compare(const Value& a, const Value& b, std::int32_t flags) override { return CompareValues(machine_, a, b, flags); }

 private:
  MachineInterface& machine_;
};

class ScriptComparer final : public Comparer {
 public:
  ScriptComparer(MachineInterface& machine, Object* function) : machine_(machine), function_(function) {}
  int Compare(const Value& a, const Value& b, std::int32_t) override {
    if (failed) return 0;
    const Value args[] = {a, b};
    const Value r = machine_.CallFunction(Value::Obj(function_), Value(), args);
    if (machine_.Throwing()) {
      failed = true;
      return 0;
    }
    const double n = machine_.ToNumber(r);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
  }

 private:
  MachineInterface& machine_;
  Object* function_;
};

struct Field {
  std::string name;
  std::int32_t flags = 0;
};

// sortOn: own data properties of the fields in turn (no getters, no prototypes), each
// with its flags; elements that are not objects compare as themselves.
class FieldComparer final : public Comparer {
 public:
  FieldComparer(MachineInterface& machine, std::vector<Field> fields) : machine_(machine), fields_(std::move(fields)) {}
  int Compare(const Value& a, const Value& b, std::int32_t flags) override {
    Object* x = a.AsObject();
    Object* y = b.AsObject();
    if (!x || !y) return CompareValues(machine_, a, b, flags);
    for (const Field& field : fields_) {
      const int r = CompareValues(machine_, FieldOf(x, field.name), FieldOf(y, field.name), field.flags);
      if (r != 0) return r;
    }
    return 0;
  }

 private:
  Value FieldOf(Object* object, const std::string& name) {
    const Property* p = object->FindOwn(name, machine_.CaseSensitive());
    return p && !p->IsAccessor() ? p->value : Value();
  }
  MachineInterface& machine_;
  std::vector<Field> fields_;
};

struct Entry {
  std::int32_t index;
  Value value;
};

// The player's quicksort: the leftmost element is the pivot; the left end walks up while
// it is short of the right end, the right end walks down to the pivot's slot; the
// left part is sorted before the right one. Kept exactly, so that equal elements and
// comparison functions that contradict themselves see the calls the player makes. The
// parts wait on a list instead of the C++ stack (a reversed array would go n deep).
// Equal elements take it n^2 / 2 comparisons, within the script's time.
void QuickSort(MachineInterface& machine, std::vector<Entry>& e, Comparer& cmp, std::int32_t flags) {
  const auto compare = [&](const Value& a, const Value& b) {
    if (cmp.failed || !machine.TimeLeft()) {
      cmp.failed = true;
      return 0;
    }
    return cmp.Compare(a, b, flags);
  };
  std::vector<std::pair<std::size_t, std::size_t>> parts{{0, e.size()}};
  while (!parts.empty() && !cmp.failed) {
    auto [begin, end] = parts.back();
    parts.pop_back();
    while (end - begin >= 2 && !cmp.failed) {
      if (end - begin == 2) {
        if (compare(e[begin].value, e[begin + 1].value) > 0) std::swap(e[begin], e[begin + 1]);
        break;
      }
      const Value pivot = e[begin].value;
      std::size_t left = begin + 1;
      std::size_t right = end - 1;
      for (;;) {
        while (left < right && compare(pivot, e[left].value) > 0) ++left;
        while (right > begin && !cmp.failed && compare(pivot, e[right].value) <= 0) --right;
        if (left >= right || cmp.failed) break;
        std::swap(e[left], e[right]);
      }
      std::swap(e[begin], e[right]);
      parts.emplace_back(right + 1, end);
      end = right;
    }
  }
}

Value SortElements(Call& call, Comparer& cmp, std::int32_t flags, bool sortOn) {
  Elements a(call.machine, call.self);
  if (!a.Valid()) return Value();
  const std::vector<Value> all = a.All();
  std::vector<Entry> entries;
  entries.reserve(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) entries.push_back({static_cast<std::int32_t>(i), all[i]});

  // sort() applies DESCENDING by reversing its ascending result; sortOn() compares
  // the other way round.
  const bool descending = (flags & kDescending) != 0;
  const std::int32_t compareFlags = sortOn ? flags : (flags & ~kDescending);
  QuickSort(call.machine, entries, cmp, compareFlags);
  if (cmp.failed) return Value();
  if (!sortOn && descending) std::reverse(entries.begin(), entries.end());

  if (flags & kUniqueSort) {
    DefaultComparer plain(call.machine);
    Comparer& check = sortOn ? cmp : plain;
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if (check.Compare(entries[i - 1].value, entries[i].value, compareFlags) == 0) return Value::Number(0);
    }
  }
  if (flags & kReturnIndexedArray) {
    std::vector<Value> indices;
    for (const Entry& e : entries) indices.push_back(Value::Number(e.index));
    return Value::Obj(MakeArrayOf(call.machine, std::move(indices)));
  }
  for (std::size_t i = 0; i < entries.size(); ++i) a.Set(static_cast<std::int32_t>(i), entries[i].value);
  return Value::Obj(call.self);
}

// sort(), sort(flags), sort(compare), sort(compare, flags); other first arguments make
// the player give up with undefined.
Value Sort(Call& call) {
  Object* function = nullptr;
  std::int32_t flags = 0;
  const Value first = call.Arg(0);
  const Value second = call.Arg(1);
  if (call.Count() == 0) {
  } else if (first.IsObject()) {
    function = first.object;
    if (second.IsNumber()) flags = ToInt32(second.number);
  } else if (first.IsNumber()) {
    flags = ToInt32(second.IsNumber() ? second.number : first.number);
  } else {
    return Value();
  }
  if (function && function->IsFunction()) {
    ScriptComparer cmp(call.machine, function);
    return SortElements(call, cmp, flags, false);
  }
  DefaultComparer cmp(call.machine);
  return SortElements(call, cmp, flags, false);
}

Value SortOn(Call& call) {
  if (call.Count() == 0) return Value();
  std::vector<Field> fields;
  const Value names = call.Arg(0);
  const Value options = call.Arg(1);
  if (Object* list = names.AsObject()) {
    if (!list->IsArray()) {
      DefaultComparer cmp(call.machine);
      return SortElements(call, cmp, 0, true);
    }
    const auto& elements = list->Array()->elements;
    if (elements.empty()) return Value::Obj(call.self);
    for (const Value& v : elements) fields.push_back({call.machine.ToString(v), 0});
    Object* flagList = options.AsObject();
    if (flagList && flagList->IsArray() && flagList->Array()->elements.size() == fields.size()) {
      const auto flagValues = flagList->Array()->elements;
      for (std::size_t i = 0; i < fields.size(); ++i) fields[i].flags = ToInt32(call.machine.ToNumber(flagValues[i]));
    } else if (!options.IsObject() && call.Count() > 1) {
      const std::int32_t flags = ToInt32(call.machine.ToNumber(options));
      for (Field& f : fields) f.flags = flags;
    }
  } else {
    fields.push_back({call.machine.ToString(names), options.IsNumber() ? ToInt32(options.number) : 0});
  }
  const std::int32_t mainFlags = fields[0].flags;
  FieldComparer cmp(call.machine, std::move(fields));
  return SortElements(call, cmp, mainFlags, true);
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"push", Push, nullptr, kMethod, 252, 1},         {"pop", Pop, nullptr, kMethod, 252, 2},
    {"concat", Concat, nullptr, kMethod, 252, 3},     {"shift", Shift, nullptr, kMethod, 252, 4},
    {"unshift", Unshift, nullptr, kMethod, 252, 5},   {"slice", Slice, nullptr, kMethod, 252, 6},
    {"join", Join, nullptr, kMethod, 252, 7},         {"splice", Splice, nullptr, kMethod, 252, 8},
    {"toString", ToStringMethod, nullptr, kMethod, 252, 9}, {"sort", Sort, nullptr, kMethod, 252, 10},
    {"reverse", Reverse, nullptr, kMethod, 252, 11},  {"sortOn", SortOn, nullptr, kMethod, 252, 12},
};

}  // namespace

void InstallArray(Runtime& rt) {
  Object* ctor = rt.MakeClass(ArrayCall, ArrayConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  // Array.prototype is an array itself, as in the player.
  proto->kind = NativeKind::Array;
  proto->native = std::make_unique<ArrayData>(proto);
  rt.arrayProto = proto;
  Install(rt, proto, kPrototypeMembers);
  constexpr std::uint16_t kConstant = kDontEnum | kDontDelete | kReadOnly;
  ctor->Define("CASEINSENSITIVE", Value::Number(kCaseInsensitive), kConstant);
  ctor->Define("DESCENDING", Value::Number(kDescending), kConstant);
  ctor->Define("UNIQUESORT", Value::Number(kUniqueSort), kConstant);
  ctor->Define("RETURNINDEXEDARRAY", Value::Number(kReturnIndexedArray), kConstant);
  ctor->Define("NUMERIC", Value::Number(kNumeric), kConstant);
  rt.RegisterNative(252, 0, ctor);
  rt.global->Define("Array", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Array"] = proto;
}

}  // namespace vantrel::flash::avm1
