// Array: dense elements with holes, the methods of the language and sort's flags.
#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <tuple>
#include <utility>

#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr int kCaseInsensitive = 1, kDescending = 2, kUniqueSort = 4, kReturnIndexedArray = 8, kNumeric = 16;
constexpr std::size_t kMaxLength = 1u << 26;

ArrayObject* This(Machine& m, const Value& self, const char* name) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Array)
    m.ThrowTypeError(1004, std::string("Method Array.prototype.") + name + " was invoked on an incompatible object.");
  return static_cast<ArrayObject*>(self.object);
}

Value Element(Machine& m, ArrayObject* a, std::size_t i) {
  if (i < a->elements.size() && a->elements[i].type != Value::Type::Hole) return a->elements[i];
  // Holes show what the prototype chain has at that index.
  const std::string name = std::to_string(i);
  for (Object* p = a->proto; p; p = p->proto)
    if (Object::Property* prop = p->FindOwn(name)) return prop->value;
  (void)m;
  return Value();
}

double RelativeIndex(Machine& m, const Value* args, int argc, int index, double fallback, double length) {
  double d = NumArg(m, args, argc, index, fallback);
  if (std::isnan(d)) d = 0;
  d = std::trunc(d);
  if (d < 0) d = std::max(0.0, length + d);
  return std::min(d, length);
}

Object* AllocateArray(Machine& m, ClassObject*) { return m.heap.Make<ArrayObject>(nullptr, nullptr); }

Value ArrayConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* a = static_cast<ArrayObject*>(self.object);
  if (argc == 1 && args[0].IsNumber()) {
    const double n = args[0].number;
    if (n < 0 || n != std::floor(n) || n > 4294967295.0)
      m.ThrowError("RangeError", 1005, "Array index is not a positive integer (" + NumberToString(n) + ").");
    if (n > kMaxLength) m.ThrowError("RangeError", 1005, "Array index is not a positive integer (" + NumberToString(n) + ").");
    a->elements.assign(static_cast<std::size_t>(n), Value::Hole());
    return Value();
  }
  a->elements.assign(args, args + argc);
  return Value();
}

Value ArrayCall(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Obj(m.ConstructClass(m.arrayClass, args, argc));
}

Value Length(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(This(m, self, "length")->elements.size()));
}

Value SetLength(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "length");
  const double n = NumArg(m, args, argc, 0, 0);
  if (n < 0 || n != std::floor(n) || n > 4294967295.0)
    m.ThrowError("RangeError", 1005, "Array index is not a positive integer (" + NumberToString(n) + ").");
  a->elements.resize(std::min<std::size_t>(static_cast<std::size_t>(n), kMaxLength), Value::Hole());
  return Value();
}

std::string Join(Machine& m, ArrayObject* a, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < a->elements.size(); ++i) {
    if (i) out += separator;
    const Value v = Element(m, a, i);
    if (!v.IsNullish()) out += m.ToString(v);
    // Holes and one long string can make a join of any size.
    m.CheckStringRoom(out.size());
  }
  return out;
}

Value JoinMethod(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "join");
  return m.StrValue(Join(m, a, argc > 0 && !args[0].IsUndefined() ? m.ToString(args[0]) : ","));
}

Value ToStringMethod(Machine& m, const Value& self, const Value*, int) {
  if (self.IsObject() && self.object == m.arrayClass->prototype) return m.StrValue("");
  return m.StrValue(Join(m, This(m, self, "toString"), ","));
}

Value ToLocaleStringMethod(Machine& m, const Value& self, const Value*, int) {
  ArrayObject* a = This(m, self, "toLocaleString");
  std::string out;
  for (std::size_t i = 0; i < a->elements.size(); ++i) {
    if (i) out += ",";
    const Value v = Element(m, a, i);
    if (!v.IsNullish()) out += m.ToString(m.CallPublic(v, "toLocaleString"));
  }
  return m.StrValue(out);
}

Value Push(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "push");
  a->elements.insert(a->elements.end(), args, args + argc);
  return Value::Number(static_cast<double>(a->elements.size()));
}

Value Pop(Machine& m, const Value& self, const Value*, int) {
  ArrayObject* a = This(m, self, "pop");
  if (a->elements.empty()) return Value();
  const Value v = Element(m, a, a->elements.size() - 1);
  a->elements.pop_back();
  return v;
}

Value Shift(Machine& m, const Value& self, const Value*, int) {
  ArrayObject* a = This(m, self, "shift");
  if (a->elements.empty()) return Value();
  const Value v = Element(m, a, 0);
  a->elements.erase(a->elements.begin());
  return v;
}

Value Unshift(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "unshift");
  a->elements.insert(a->elements.begin(), args, args + argc);
  return Value::Number(static_cast<double>(a->elements.size()));
}

Value Reverse(Machine& m, const Value& self, const Value*, int) {
  ArrayObject* a = This(m, self, "reverse");
  // The player turns the elements up to the last one set; holes after it stay at the end.
  auto end = a->elements.end();
  while (end != a->elements.begin() && std::prev(end)->type == Value::Type::Hole) --end;
  std::reverse(a->elements.begin(), end);
  return self;
}

Value Concat(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "concat");
  std::vector<Value> out = a->elements;
  for (int i = 0; i < argc; ++i) {
    if (args[i].IsObject() && args[i].object->kind == ObjectKind::Array) {
      const auto& e = static_cast<ArrayObject*>(args[i].object)->elements;
      out.insert(out.end(), e.begin(), e.end());
    } else {
      out.push_back(args[i]);
    }
  }
  return Value::Obj(m.NewArray(std::move(out)));
}

// A hole copied out of an array takes what the prototype chain has at its index.
Value Inherited(ArrayObject* a, std::size_t index) {
  const Value& v = a->elements[index];
  if (v.type != Value::Type::Hole) return v;
  const std::string name = std::to_string(index);
  for (Object* p = a->proto; p; p = p->proto) {
    if (p->kind == ObjectKind::Array) {
      auto* pa = static_cast<ArrayObject*>(p);
      if (index < pa->elements.size() && pa->elements[index].type != Value::Type::Hole) return pa->elements[index];
    }
    if (Object::Property* prop = p->FindOwn(name)) return prop->value;
  }
  return v;
}

Value Slice(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "slice");
  const double length = static_cast<double>(a->elements.size());
  const double start = RelativeIndex(m, args, argc, 0, 0, length);
  const double end = RelativeIndex(m, args, argc, 1, length, length);
  std::vector<Value> out;
  for (double i = start; i < end; ++i) out.push_back(Inherited(a, static_cast<std::size_t>(i)));
  return Value::Obj(m.NewArray(std::move(out)));
}

Value Splice(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "splice");
  if (argc == 0) return Value::Undefined();  // nothing to do, and nothing given back
  const double length = static_cast<double>(a->elements.size());
  const double start = RelativeIndex(m, args, argc, 0, 0, length);
  double remove = argc > 1 ? NumArg(m, args, argc, 1, 0) : length - start;
  if (std::isnan(remove)) remove = 0;
  remove = std::clamp(std::trunc(remove), 0.0, length - start);
  const auto s = static_cast<std::size_t>(start);
  const auto r = static_cast<std::size_t>(remove);
  std::vector<Value> removed;
  for (std::size_t i = s; i < s + r; ++i) removed.push_back(Inherited(a, i));
  // Elements that move are read and written one by one: a hole after the cut takes
  // what the prototype chain has at its old index.
  const std::size_t inserted = argc > 2 ? static_cast<std::size_t>(argc - 2) : 0;
  if (inserted != r)
    for (std::size_t i = s + r; i < a->elements.size(); ++i) a->elements[i] = Inherited(a, i);
  a->elements.erase(a->elements.begin() + s, a->elements.begin() + s + r);
  if (argc > 2) a->elements.insert(a->elements.begin() + s, args + 2, args + argc);
  return Value::Obj(m.NewArray(std::move(removed)));
}

// removeAt(index) and insertAt(index, element): splice of one element; a negative index
// counts from the end, and removing outside the array gives undefined.
Value RemoveAt(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "removeAt");
  const double length = static_cast<double>(a->elements.size());
  double index = std::trunc(script::ToInt32(NumArg(m, args, argc, 0, 0)));
  if (index < 0) index += length;
  if (index < 0 || index >= length) return Value::Undefined();
  const auto i = static_cast<std::size_t>(index);
  const Value removed = Inherited(a, i);
  a->elements.erase(a->elements.begin() + static_cast<long>(i));
  return removed.type == Value::Type::Hole ? Value::Undefined() : removed;
}
Value InsertAt(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "insertAt");
  const double length = static_cast<double>(a->elements.size());
  double index = script::ToInt32(NumArg(m, args, argc, 0, 0));
  if (index < 0) index = std::max(0.0, index + length);
  const auto i = static_cast<std::size_t>(std::min(index, length));
  a->elements.insert(a->elements.begin() + static_cast<long>(i), Arg(args, argc, 1));
  return Value::Undefined();
}

// Array's indexOf and lastIndexOf take their start as an int: NaN and numbers past the int
// range wrap (1e300 is 0) before the start is held within the array.
Value IndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "indexOf");
  const Value wanted = Arg(args, argc, 0);
  const double from = script::ToInt32(NumArg(m, args, argc, 1, 0));
  for (std::size_t i = SearchStart(from, a->elements.size()); i < a->elements.size(); ++i)
    if (m.StrictEquals(a->elements[i], wanted)) return Value::Number(static_cast<double>(i));
  return Value::Number(-1);
}

Value LastIndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "lastIndexOf");
  const Value wanted = Arg(args, argc, 0);
  const std::size_t length = a->elements.size();
  const double from = script::ToInt32(NumArg(m, args, argc, 1, 0x7FFFFFFF));
  // A start before the first element still looks at it; a start at the length looks at the last.
  std::size_t start = SearchStart(from, length);
  if (start == length) {
    if (length == 0) return Value::Number(-1);
    --start;
  }
  for (std::size_t i = start + 1; i-- > 0;)
    if (m.StrictEquals(a->elements[i], wanted)) return Value::Number(static_cast<double>(i));
  return Value::Number(-1);
}

// forEach, map, filter, some, every (tag picks which).
Value Iterate(Machine& m, const Value& self, const Value* args, int argc, int tag) {
  static const char* names[] = {"forEach", "map", "filter", "some", "every"};
  ArrayObject* a = This(m, self, names[tag]);
  const Value callback = Arg(args, argc, 0);
  const Value receiver = Arg(args, argc, 1);
  std::vector<Value> out;
  if (callback.IsNullish()) return tag == 1 || tag == 2 ? Value::Obj(m.NewArray()) : tag == 4 ? Value::Bool(true) : tag == 3 ? Value::Bool(false) : Value();
  if (!IsCallable(callback)) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(callback) + " to Function.");
  for (std::size_t i = 0; i < a->elements.size(); ++i) {
    const Value item = Element(m, a, i);
    const Value callArgs[3] = {item, Value::Number(static_cast<double>(i)), self};
    const Value r = m.Call(callback, receiver, callArgs, 3);
    switch (tag) {
      case 1: out.push_back(r); break;
      case 2: if (m.ToBoolean(r)) out.push_back(item); break;
      case 3: if (m.ToBoolean(r)) return Value::Bool(true); break;
      case 4: if (!m.ToBoolean(r)) return Value::Bool(false); break;
      default: break;
    }
  }
  if (tag == 1 || tag == 2) return Value::Obj(m.NewArray(std::move(out)));
  if (tag == 3) return Value::Bool(false);
  if (tag == 4) return Value::Bool(true);
  return Value();
}
Value ForEach(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 0); }
Value Map(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 1); }
Value Filter(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 2); }
Value Some(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 3); }
Value Every(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 4); }

// The player's sort, whose order matters wherever elements compare equal and to
// comparators that watch their calls: a quicksort that moves the middle element to the
// front as the pivot, walks in from both ends, sorts ranges of up to three elements by
// compare-and-swap, and works on the smaller side first (the larger waits on a stack).
void PlayerSort(std::vector<std::size_t>& items, const std::function<int(std::size_t, std::size_t)>& compare) {
  if (items.size() < 2) return;
  auto cmp = [&](std::size_t i, std::size_t j) { return compare(items[i], items[j]); };
  auto swap = [&](std::size_t i, std::size_t j) { std::swap(items[i], items[j]); };
  std::vector<std::pair<std::size_t, std::size_t>> pending;
  std::size_t lo = 0, hi = items.size() - 1;
  for (;;) {
    const std::size_t size = hi - lo + 1;
    bool next = true;  // this range is done: take one from the stack
    if (size == 2) {
      if (cmp(lo, lo + 1) > 0) swap(lo, lo + 1);
    } else if (size == 3) {
      if (cmp(lo, lo + 1) > 0) swap(lo, lo + 1);
      if (cmp(lo + 1, lo + 2) > 0) {
        swap(lo + 1, lo + 2);
        if (cmp(lo, lo + 1) > 0) swap(lo, lo + 1);
      }
    } else if (size > 3) {
      swap(lo + size / 2, lo);
      std::size_t left = lo, right = hi + 1;
      for (;;) {
        do ++left; while (left <= hi && cmp(left, lo) <= 0);
        do --right; while (right > lo && cmp(right, lo) >= 0);
        if (right < left) break;
        swap(left, right);
      }
      swap(lo, right);
      // [lo, right) holds what is not above the pivot, (right, hi] what is above it.
      const bool lowHasTwo = lo + 1 < right, highHasTwo = left < hi;
      if (right - 1 - lo >= hi - left) {
        if (lowHasTwo) pending.emplace_back(lo, right - 1);
        if (highHasTwo) {
          lo = left;
          next = false;
        }
      } else {
        if (highHasTwo) pending.emplace_back(left, hi);
        if (lowHasTwo) {
          hi = right - 1;
          next = false;
        }
      }
    }
    if (next) {
      if (pending.empty()) return;
      std::tie(lo, hi) = pending.back();
      pending.pop_back();
    }
  }
}

// Compares two values by the flags; comparator (when callable) decides instead. Movies
// before version 13 take its result as an integer (a difference of fractions below one
// counts as equal).
int CompareValues(Machine& m, const Value& x, const Value& y, int flags, const Value& comparator) {
  if (IsCallable(comparator)) {
    const Value args[2] = {x, y};
    double r = m.ToNumber(m.Call(comparator, Value::Null(), args, 2));
    if (m.swfVersion < 13) r = std::trunc(r);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  if (flags & kNumeric) {
    const double a = m.ToNumber(x), b = m.ToNumber(y);
    // Movies up to version 10 compare two small integers (those of 29 bits, which the
    // player keeps unboxed) by the difference of their tagged forms, eight times the
    // values' difference in 32 bits: far apart values wrap around.
    constexpr double kSmall = 1 << 28;
    if (m.swfVersion <= 10 && x.IsNumber() && y.IsNumber() && a == std::trunc(a) && b == std::trunc(b) && a >= -kSmall &&
        a < kSmall && b >= -kSmall && b < kSmall) {
      const auto tagged = static_cast<std::uint32_t>(static_cast<std::int32_t>(a) - static_cast<std::int32_t>(b)) << 3;
      const auto difference = static_cast<std::int32_t>(tagged);
      return difference < 0 ? -1 : difference > 0 ? 1 : 0;
    }
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) ? (std::isnan(b) ? 0 : 1) : -1;
    return a < b ? -1 : a > b ? 1 : 0;
  }
  const int c = script::CompareUtf16(m.ToString(x), m.ToString(y), (flags & kCaseInsensitive) != 0);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Sorts the array's values (as read, holes and all) by compare over their indices.
Value SortList(Machine& m, ArrayObject* a, const std::vector<Value>& values, std::vector<std::size_t>& order,
               int flags, const std::function<int(std::size_t, std::size_t)>& compare) {
  // undefined values go to the end, unsorted.
  std::vector<std::size_t> defined, undefinedOnes;
  for (std::size_t i : order) (values[i].IsUndefined() ? undefinedOnes : defined).push_back(i);
  // Descending asks the same question with the two values the other way round.
  const auto ordered = [&](std::size_t x, std::size_t y) { return (flags & kDescending) ? compare(y, x) : compare(x, y); };
  PlayerSort(defined, ordered);
  if (flags & kUniqueSort) {
    for (std::size_t i = 0; i + 1 < defined.size(); ++i)
      if (ordered(defined[i], defined[i + 1]) == 0) return Value::Number(0);
  }
  order = defined;
  order.insert(order.end(), undefinedOnes.begin(), undefinedOnes.end());
  if (flags & kReturnIndexedArray) {
    std::vector<Value> out;
    for (std::size_t i : order) out.push_back(Value::Number(static_cast<double>(i)));
    return Value::Obj(m.NewArray(std::move(out)));
  }
  // The undefined values end the array as holes.
  std::vector<Value> sorted;
  for (std::size_t i : order) sorted.push_back(values[i].IsUndefined() ? Value::Hole() : values[i]);
  a->elements = std::move(sorted);
  return Value::Obj(a);
}

// Sorting reads each element as a script would: a hole takes what the prototype chain
// has at its index, and is undefined without it.
std::vector<Value> ReadElements(ArrayObject* a) {
  std::vector<Value> values;
  for (std::size_t i = 0; i < a->elements.size(); ++i) {
    const Value v = Inherited(a, i);
    values.push_back(v.type == Value::Type::Hole ? Value() : v);
  }
  return values;
}

Value Sort(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "sort");
  Value comparator;
  int flags = 0;
  if (argc > 0 && IsCallable(args[0])) {
    comparator = args[0];
    flags = argc > 1 ? m.ToInt32(args[1]) : 0;
  } else if (argc > 0) {
    flags = m.ToInt32(args[0]);
  }
  const std::vector<Value> snapshot = ReadElements(a);
  std::vector<std::size_t> order(a->elements.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  return SortList(m, a, snapshot, order, flags, [&](std::size_t x, std::size_t y) {
    return CompareValues(m, snapshot[x], snapshot[y], flags, comparator);
  });
}

Value SortOn(Machine& m, const Value& self, const Value* args, int argc) {
  ArrayObject* a = This(m, self, "sortOn");
  std::vector<std::string> names;
  std::vector<int> flagList;
  const Value fields = Arg(args, argc, 0);
  if (fields.IsObject() && fields.object->kind == ObjectKind::Array) {
    for (const Value& v : static_cast<ArrayObject*>(fields.object)->elements) names.push_back(m.ToString(v));
  } else {
    names.push_back(m.ToString(fields));
  }
  const Value options = Arg(args, argc, 1);
  int flags = 0;
  if (options.IsObject() && options.object->kind == ObjectKind::Array) {
    for (const Value& v : static_cast<ArrayObject*>(options.object)->elements) flagList.push_back(m.ToInt32(v));
    if (!flagList.empty()) flags = flagList[0] & (kUniqueSort | kReturnIndexedArray);
  } else if (!options.IsUndefined()) {
    flags = m.ToInt32(options);
  }
  const std::vector<Value> snapshot = ReadElements(a);
  std::vector<std::size_t> order(a->elements.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  // Each field's own flags; descending applies per field.
  auto compare = [&](std::size_t x, std::size_t y) {
    for (std::size_t f = 0; f < names.size(); ++f) {
      const int fieldFlags = f < flagList.size() ? flagList[f] : flags;
      const Value vx = snapshot[x].IsObject() ? m.GetPublic(snapshot[x], names[f]) : Value();
      const Value vy = snapshot[y].IsObject() ? m.GetPublic(snapshot[y], names[f]) : Value();
      int c = CompareValues(m, vx, vy, fieldFlags, Value());
      if (flagList.size() > f && (fieldFlags & kDescending) && !(flags & kDescending)) c = -c;
      if (c != 0) return c;
    }
    return 0;
  };
  return SortList(m, a, snapshot, order, flags, compare);
}

}  // namespace

bool SortValues(Machine& m, std::vector<Value>& values, int flags, const Value& comparator) {
  std::vector<std::size_t> defined, undefinedOnes;
  for (std::size_t i = 0; i < values.size(); ++i) (values[i].IsUndefined() ? undefinedOnes : defined).push_back(i);
  const std::vector<Value> snapshot = values;
  const auto ordered = [&](std::size_t x, std::size_t y) {
    return (flags & kDescending) ? CompareValues(m, snapshot[y], snapshot[x], flags, comparator)
                                 : CompareValues(m, snapshot[x], snapshot[y], flags, comparator);
  };
  PlayerSort(defined, ordered);
  if (flags & kUniqueSort) {
    for (std::size_t i = 0; i + 1 < defined.size(); ++i)
      if (ordered(defined[i], defined[i + 1]) == 0) return false;
  }
  values.clear();
  for (std::size_t i : defined) values.push_back(snapshot[i]);
  for (std::size_t i : undefinedOnes) values.push_back(snapshot[i]);
  return true;
}

void InstallArray(Machine& m) {
  ClassObject* c = m.DefineClass("", "Array", m.objectClass, ArrayConstruct, false);
  m.arrayClass = c;
  c->allocate = AllocateArray;
  c->callHandler = m.NativeMethod("Array", ArrayCall);
  static const Member kArrayMembers[] = {
      {"length", Length, SetLength, kAccessor, 0},
      {"join", JoinMethod, nullptr, kPrototype, 0, 1},
      {"toString", ToStringMethod, nullptr, kPrototype, 0},
      {"toLocaleString", ToLocaleStringMethod, nullptr, kPrototype, 0},
      {"push", Push, nullptr, kPrototype, 0},
      {"pop", Pop, nullptr, kPrototype, 0},
      {"shift", Shift, nullptr, kPrototype, 0},
      {"unshift", Unshift, nullptr, kPrototype, 0},
      {"reverse", Reverse, nullptr, kPrototype, 0},
      {"concat", Concat, nullptr, kPrototype, 0},
      {"slice", Slice, nullptr, kPrototype, 0, 2},
      {"splice", Splice, nullptr, kPrototype, 0},
      {"removeAt", RemoveAt, nullptr, kPrototype, 0, 1},
      {"insertAt", InsertAt, nullptr, kPrototype, 0, 2},
      {"indexOf", IndexOf, nullptr, kPrototype, 0, 2},
      {"lastIndexOf", LastIndexOf, nullptr, kPrototype, 0, 2},
      {"forEach", ForEach, nullptr, kPrototype, 0, 2},
      {"map", Map, nullptr, kPrototype, 0, 2},
      {"filter", Filter, nullptr, kPrototype, 0, 2},
      {"some", Some, nullptr, kPrototype, 0, 2},
      {"every", Every, nullptr, kPrototype, 0, 2},
      {"sort", Sort, nullptr, kPrototype, 0},
      {"sortOn", SortOn, nullptr, kPrototype, 0, 2},
  };
  Install(m, c, kArrayMembers);
  static const Constant kArrayConstants[] = {
      {"CASEINSENSITIVE", kCaseInsensitive},
      {"DESCENDING", kDescending},
      {"UNIQUESORT", kUniqueSort},
      {"RETURNINDEXEDARRAY", kReturnIndexedArray},
      {"NUMERIC", kNumeric},
      {"length", 1},
  };
  Install(m, c, kArrayConstants);
}

}  // namespace vantrel::flash::avm2
