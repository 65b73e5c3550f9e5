#include "flash/avm1_object.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "flash/avm1/builtins/builtins.h"

namespace vantrel::flash::avm1 {

namespace {

bool SameName(const std::string& a, const std::string& b, bool noCase) {
  if (!noCase) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

constexpr int kMaxChain = 256;
constexpr std::size_t kMaxElements = 1u << 22;  // an array never grows past this

}  // namespace

Value* Object::Find(const std::string& name, bool noCase) {
  for (auto& [key, value] : properties) {
    if (SameName(key, name, noCase)) return &value;
  }
  return nullptr;
}

void Object::Set(const std::string& name, Value value, bool noCase) {
  if (Value* existing = Find(name, noCase)) {
    *existing = std::move(value);
    return;
  }
  properties.emplace_back(name, std::move(value));
}

bool Object::Remove(const std::string& name, bool noCase) {
  for (auto it = properties.begin(); it != properties.end(); ++it) {
    if (SameName(it->first, name, noCase)) {
      properties.erase(it);
      return true;
    }
  }
  return false;
}

Value GetChain(const Object& object, const std::string& name, bool noCase) {
  const Object* at = &object;
  for (int i = 0; at && i < kMaxChain; ++i) {
    if (Value* found = const_cast<Object*>(at)->Find(name, noCase)) return *found;
    at = at->proto.get();
  }
  return Value::Undefined();
}

bool HasChain(const Object& object, const std::string& name, bool noCase) {
  const Object* at = &object;
  for (int i = 0; at && i < kMaxChain; ++i) {
    if (const_cast<Object*>(at)->Find(name, noCase)) return true;
    at = at->proto.get();
  }
  return false;
}

long ArrayIndex(const std::string& name) {
  if (name.empty() || name.size() > 9) return -1;
  if (name.size() > 1 && name[0] == '0') return -1;
  long index = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return -1;
    index = index * 10 + (c - '0');
  }
  return index;
}

Runtime::Runtime() {
  objectProto = Make(Object::Kind::Plain, nullptr);
  functionProto = Make(Object::Kind::Plain, objectProto);
  arrayProto = Make(Object::Kind::Plain, objectProto);
  stringProto = Make(Object::Kind::Plain, objectProto);
  numberProto = Make(Object::Kind::Plain, objectProto);
  booleanProto = Make(Object::Kind::Plain, objectProto);
  clipProto = Make(Object::Kind::Plain, objectProto);
  global = Make(Object::Kind::Plain, objectProto);
}

Runtime::~Runtime() {
  // Prototype links and constructor properties form cycles: empty every object.
  for (auto& weak : all) {
    if (ObjectPtr object = weak.lock()) {
      object->properties.clear();
      object->elements.clear();
      object->proto.reset();
      object->interfaces.clear();
      object->script.reset();
      object->native = nullptr;
      object->primitive = Value::Undefined();
    }
  }
}

ObjectPtr Runtime::Make(Object::Kind kind, ObjectPtr proto) {
  if (created >= kMaxObjects) return nullptr;
  ++created;
  auto object = std::make_shared<Object>();
  object->kind = kind;
  object->proto = std::move(proto);
  if ((created & 0xFFFF) == 0) {
    std::erase_if(all, [](const std::weak_ptr<Object>& weak) { return weak.expired(); });
  }
  all.push_back(object);
  return object;
}

ObjectPtr Runtime::MakeNative(Native fn) {
  ObjectPtr object = Make(Object::Kind::Function, functionProto);
  if (object) object->native = std::move(fn);
  return object;
}

std::string JoinArray(Machine& machine, const Object& array, const std::string& separator, int depth) {
  std::string out;
  const int version = machine.Version();
  for (std::size_t i = 0; i < array.elements.size(); ++i) {
    if (i) out += separator;
    const Value& element = array.elements[i];
    if (element.type == Value::Type::Object && element.object && element.object->kind == Object::Kind::Array) {
      if (depth < 16) out += JoinArray(machine, *element.object, ",", depth + 1);
    } else if (element.type == Value::Type::Undefined) {
      out += version >= 7 ? "undefined" : "";
    } else {
      out += ToString(element, version);
    }
    if (out.size() > (16u << 20)) break;
  }
  return out;
}

namespace {

Value Arg(const std::vector<Value>& args, std::size_t i) { return i < args.size() ? args[i] : Value::Undefined(); }

ObjectPtr SelfObject(const Value& self) { return self.type == Value::Type::Object ? self.object : nullptr; }

// The start of a slice: negative counts from the end, clamped to [0, size].
long SliceIndex(double value, long size) {
  if (std::isnan(value)) return 0;
  if (value < 0) return std::max(0L, size + static_cast<long>(std::max(value, -1e9)));
  return std::min(size, static_cast<long>(std::min(value, 1e9)));
}

}  // namespace

void Method(Runtime& rt, const ObjectPtr& on, const std::string& name, Native fn) {
  if (!on) return;
  ObjectPtr function = rt.MakeNative(std::move(fn));
  on->Set(name, Value::Obj(function), false);
}

namespace {

ObjectPtr Constructor(Runtime& rt, const std::string& name, const ObjectPtr& proto, Native fn) {
  ObjectPtr function = rt.MakeNative(std::move(fn));
  if (!function) return nullptr;
  function->className = name;
  function->Set("prototype", Value::Obj(proto), false);
  proto->Set("constructor", Value::Obj(function), false);
  rt.global->Set(name, Value::Obj(function), false);
  return function;
}

bool CompareForSort(Machine& m, const Value& a, const Value& b, const Value& compare, bool numeric, bool descending) {
  bool less;
  if (compare.type == Value::Type::Object) {
    less = ToNumber(m.Call(compare, Value::Undefined(), {a, b}), m.Version()) < 0;
  } else if (numeric) {
    less = ToNumber(a, m.Version()) < ToNumber(b, m.Version());
  } else {
    less = ToString(a, m.Version()) < ToString(b, m.Version());
  }
  return descending ? !less && !(ToString(a, m.Version()) == ToString(b, m.Version())) : less;
}

void InstallArray(Runtime& rt) {
  const ObjectPtr proto = rt.arrayProto;
  Constructor(rt, "Array", proto, [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    ObjectPtr array = m.NewObject("Array");
    if (!array) return Value::Null();
    if (args.size() == 1 && args[0].type == Value::Type::Number) {
      const double n = args[0].number;
      if (n >= 0 && n < static_cast<double>(kMaxElements)) array->elements.resize(static_cast<std::size_t>(n));
    } else {
      array->elements = args;
    }
    return Value::Obj(array);
  });
  auto arrayOf = [](const Value& self) -> Object* {
    ObjectPtr o = SelfObject(self);
    return o && o->kind == Object::Kind::Array ? o.get() : nullptr;
  };
  Method(rt, proto, "push", [arrayOf](Machine&, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    if (!a) return Value::Undefined();
    for (auto& v : args) {
      if (a->elements.size() < kMaxElements) a->elements.push_back(v);
    }
    return Value::Number(static_cast<double>(a->elements.size()));
  });
  Method(rt, proto, "pop", [arrayOf](Machine&, const Value& self, std::vector<Value>&) -> Value {
    Object* a = arrayOf(self);
    if (!a || a->elements.empty()) return Value::Undefined();
    Value last = a->elements.back();
    a->elements.pop_back();
    return last;
  });
  Method(rt, proto, "shift", [arrayOf](Machine&, const Value& self, std::vector<Value>&) -> Value {
    Object* a = arrayOf(self);
    if (!a || a->elements.empty()) return Value::Undefined();
    Value first = a->elements.front();
    a->elements.erase(a->elements.begin());
    return first;
  });
  Method(rt, proto, "unshift", [arrayOf](Machine&, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    if (!a) return Value::Undefined();
    if (a->elements.size() + args.size() < kMaxElements) a->elements.insert(a->elements.begin(), args.begin(), args.end());
    return Value::Number(static_cast<double>(a->elements.size()));
  });
  Method(rt, proto, "join", [arrayOf](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    if (!a) return Value::Undefined();
    const std::string sep = args.empty() || args[0].IsUndefined() ? "," : ToString(args[0], m.Version());
    return Value::String(JoinArray(m, *a, sep, 0));
  });
  Method(rt, proto, "toString", [arrayOf](Machine& m, const Value& self, std::vector<Value>&) -> Value {
    Object* a = arrayOf(self);
    return a ? Value::String(JoinArray(m, *a, ",", 0)) : Value::String("[object Object]");
  });
  Method(rt, proto, "reverse", [arrayOf](Machine&, const Value& self, std::vector<Value>&) -> Value {
    Object* a = arrayOf(self);
    if (a) std::reverse(a->elements.begin(), a->elements.end());
    return self;
  });
  Method(rt, proto, "concat", [arrayOf](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    ObjectPtr out = m.NewObject("Array");
    if (!a || !out) return Value::Undefined();
    out->elements = a->elements;
    for (const Value& v : args) {
      if (out->elements.size() >= kMaxElements) break;
      if (v.type == Value::Type::Object && v.object && v.object->kind == Object::Kind::Array)
        out->elements.insert(out->elements.end(), v.object->elements.begin(), v.object->elements.end());
      else
        out->elements.push_back(v);
    }
    return Value::Obj(out);
  });
  Method(rt, proto, "slice", [arrayOf](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    ObjectPtr out = m.NewObject("Array");
    if (!a || !out) return Value::Undefined();
    const long size = static_cast<long>(a->elements.size());
    const long from = SliceIndex(ToNumber(Arg(args, 0), m.Version()), size);
    const long to = args.size() < 2 || args[1].IsUndefined() ? size : SliceIndex(ToNumber(args[1], m.Version()), size);
    if (to > from) out->elements.assign(a->elements.begin() + from, a->elements.begin() + to);
    return Value::Obj(out);
  });
  Method(rt, proto, "splice", [arrayOf](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    ObjectPtr out = m.NewObject("Array");
    if (!a || !out || args.empty()) return out ? Value::Obj(out) : Value::Undefined();
    const long size = static_cast<long>(a->elements.size());
    const long from = SliceIndex(ToNumber(args[0], m.Version()), size);
    long count = size - from;
    if (args.size() >= 2) {
      const double n = ToNumber(args[1], m.Version());
      count = std::isnan(n) || n < 0 ? 0 : std::min(count, static_cast<long>(std::min(n, 1e9)));
    }
    out->elements.assign(a->elements.begin() + from, a->elements.begin() + from + count);
    a->elements.erase(a->elements.begin() + from, a->elements.begin() + from + count);
    if (args.size() > 2 && a->elements.size() + args.size() < kMaxElements)
      a->elements.insert(a->elements.begin() + from, args.begin() + 2, args.end());
    return Value::Obj(out);
  });
  Method(rt, proto, "sort", [arrayOf](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    Object* a = arrayOf(self);
    if (!a) return Value::Undefined();
    Value compare;
    int options = 0;
    for (const Value& v : args) {
      if (v.type == Value::Type::Object) compare = v;
      else if (v.type == Value::Type::Number) options = ToInt32(v.number);
    }
    const bool numeric = (options & 16) != 0, descending = (options & 2) != 0;
    // A stable insertion sort: comparisons that disagree with themselves cannot break it.
    std::vector<Value>& e = a->elements;
    if (e.size() > 4096) return self;  // the quadratic sort stays cheap
    for (std::size_t i = 1; i < e.size(); ++i) {
      Value key = e[i];
      std::size_t j = i;
      while (j > 0 && CompareForSort(m, key, e[j - 1], compare, numeric, descending)) {
        e[j] = e[j - 1];
        --j;
      }
      e[j] = key;
    }
    return self;
  });
}

void InstallObject(Runtime& rt) {
  const ObjectPtr proto = rt.objectProto;
  Constructor(rt, "Object", proto, [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    if (!args.empty() && args[0].type == Value::Type::Object) return args[0];
    ObjectPtr object = m.NewObject("Object");
    return Value::Obj(object);
  });
  Method(rt, proto, "toString", [](Machine&, const Value& self, std::vector<Value>&) -> Value {
    ObjectPtr o = SelfObject(self);
    if (o && o->kind == Object::Kind::Function) return Value::String("[type Function]");
    return Value::String("[object Object]");
  });
  Method(rt, proto, "valueOf", [](Machine&, const Value& self, std::vector<Value>&) -> Value {
    ObjectPtr o = SelfObject(self);
    if (o && o->kind == Object::Kind::Primitive) return o->primitive;
    return self;
  });
  Method(rt, proto, "hasOwnProperty", [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    ObjectPtr o = SelfObject(self);
    return Value::Bool(o && o->Find(ToString(Arg(args, 0), m.Version()), m.Version() < 7));
  });
  Method(rt, proto, "addProperty", [](Machine&, const Value&, std::vector<Value>&) -> Value { return Value::Bool(false); });
  Method(rt, proto, "registerClass", [](Machine&, const Value&, std::vector<Value>&) -> Value { return Value::Bool(true); });

  const ObjectPtr fproto = rt.functionProto;
  Constructor(rt, "Function", fproto, [](Machine&, const Value&, std::vector<Value>&) -> Value { return Value::Undefined(); });
  Method(rt, fproto, "call", [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    const Value thisArg = Arg(args, 0);
    std::vector<Value> rest(args.size() > 1 ? args.begin() + 1 : args.end(), args.end());
    return m.Call(self, thisArg, std::move(rest));
  });
  Method(rt, fproto, "apply", [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    const Value thisArg = Arg(args, 0);
    std::vector<Value> rest;
    const Value list = Arg(args, 1);
    if (list.type == Value::Type::Object && list.object && list.object->kind == Object::Kind::Array) rest = list.object->elements;
    return m.Call(self, thisArg, std::move(rest));
  });
}

Value Primitive(const Value& self) {
  if (self.type == Value::Type::Object && self.object && self.object->kind == Object::Kind::Primitive) return self.object->primitive;
  return self;
}

void InstallWrappers(Runtime& rt) {
  Constructor(rt, "String", rt.stringProto, [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    const Value text = Value::String(args.empty() ? std::string() : ToString(args[0], m.Version()));
    ObjectPtr o = SelfObject(self);
    if (o && o->className == "String") {
      o->kind = Object::Kind::Primitive;
      o->primitive = text;
      return self;
    }
    return text;
  });
  Constructor(rt, "Number", rt.numberProto, [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    const Value number = Value::Number(args.empty() ? 0 : ToNumber(args[0], m.Version()));
    ObjectPtr o = SelfObject(self);
    if (o && o->className == "Number") {
      o->kind = Object::Kind::Primitive;
      o->primitive = number;
      return self;
    }
    return number;
  });
  Constructor(rt, "Boolean", rt.booleanProto, [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
    const Value b = Value::Bool(!args.empty() && ToBoolean(args[0], m.Version()));
    ObjectPtr o = SelfObject(self);
    if (o && o->className == "Boolean") {
      o->kind = Object::Kind::Primitive;
      o->primitive = b;
      return self;
    }
    return b;
  });
  for (const ObjectPtr& proto : {rt.stringProto, rt.numberProto, rt.booleanProto}) {
    Method(rt, proto, "toString", [](Machine& m, const Value& self, std::vector<Value>& args) -> Value {
      const Value p = Primitive(self);
      if (p.type == Value::Type::Number && !args.empty()) {
        const int radix = ToInt32(ToNumber(args[0], m.Version()));
        if (radix >= 2 && radix <= 36 && radix != 10 && std::isfinite(p.number)) {
          long long n = static_cast<long long>(std::clamp(p.number, -9e15, 9e15));
          const bool negative = n < 0;
          if (negative) n = -n;
          std::string digits;
          do {
            digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % radix]);
            n /= radix;
          } while (n > 0);
          return Value::String(negative ? "-" + digits : digits);
        }
      }
      return Value::String(ToString(p, m.Version()));
    });
    Method(rt, proto, "valueOf", [](Machine&, const Value& self, std::vector<Value>&) -> Value { return Primitive(self); });
  }
  rt.stringProto->className = "String";
}

void InstallMath(Runtime& rt) {
  ObjectPtr math = rt.Make(Object::Kind::Plain, rt.objectProto);
  if (!math) return;
  rt.global->Set("Math", Value::Obj(math), false);
  math->Set("PI", Value::Number(std::numbers::pi), false);
  math->Set("E", Value::Number(std::numbers::e), false);
  math->Set("LN2", Value::Number(std::numbers::ln2), false);
  math->Set("LN10", Value::Number(std::numbers::ln10), false);
  math->Set("LOG2E", Value::Number(std::numbers::log2e), false);
  math->Set("LOG10E", Value::Number(std::numbers::log10e), false);
  math->Set("SQRT2", Value::Number(std::numbers::sqrt2), false);
  math->Set("SQRT1_2", Value::Number(std::numbers::sqrt2 / 2), false);
  using Fn1 = double (*)(double);
  const std::pair<const char*, Fn1> unary[] = {
      {"abs", [](double x) { return std::fabs(x); }},   {"acos", [](double x) { return std::acos(x); }},
      {"asin", [](double x) { return std::asin(x); }},  {"atan", [](double x) { return std::atan(x); }},
      {"ceil", [](double x) { return std::ceil(x); }},  {"cos", [](double x) { return std::cos(x); }},
      {"exp", [](double x) { return std::exp(x); }},    {"floor", [](double x) { return std::floor(x); }},
      {"log", [](double x) { return std::log(x); }},    {"sin", [](double x) { return std::sin(x); }},
      {"sqrt", [](double x) { return std::sqrt(x); }},  {"tan", [](double x) { return std::tan(x); }},
      {"round", [](double x) { return std::floor(x + 0.5); }},
  };
  for (const auto& entry : unary) {
    const Fn1 fn = entry.second;
    Method(rt, math, entry.first, [fn](Machine& m, const Value&, std::vector<Value>& args) -> Value {
      return Value::Number(fn(args.empty() ? std::nan("") : ToNumber(args[0], m.Version())));
    });
  }
  Method(rt, math, "atan2", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    return Value::Number(std::atan2(ToNumber(Arg(args, 0), m.Version()), ToNumber(Arg(args, 1), m.Version())));
  });
  Method(rt, math, "pow", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    return Value::Number(std::pow(ToNumber(Arg(args, 0), m.Version()), ToNumber(Arg(args, 1), m.Version())));
  });
  Method(rt, math, "min", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    double out = INFINITY;
    for (const Value& v : args) {
      const double x = ToNumber(v, m.Version());
      if (std::isnan(x)) return Value::Number(x);
      out = std::min(out, x);
    }
    return Value::Number(out);
  });
  Method(rt, math, "max", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    double out = -INFINITY;
    for (const Value& v : args) {
      const double x = ToNumber(v, m.Version());
      if (std::isnan(x)) return Value::Number(x);
      out = std::max(out, x);
    }
    return Value::Number(out);
  });
}

void InstallGlobalFunctions(Runtime& rt) {
  const ObjectPtr& g = rt.global;
  Method(rt, g, "isNaN", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    return Value::Bool(std::isnan(ToNumber(Arg(args, 0), m.Version())));
  });
  Method(rt, g, "isFinite", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    return Value::Bool(std::isfinite(ToNumber(Arg(args, 0), m.Version())));
  });
  Method(rt, g, "parseFloat", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    const std::string text = ToString(Arg(args, 0), m.Version());
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t end = i;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
    bool digits = false, point = false, exponent = false;
    while (end < text.size()) {
      const char c = text[end];
      if (std::isdigit(static_cast<unsigned char>(c))) digits = true;
      else if (c == '.' && !point && !exponent) point = true;
      else if ((c == 'e' || c == 'E') && digits && !exponent && end + 1 < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[end + 1])) ||
                ((text[end + 1] == '+' || text[end + 1] == '-') && end + 2 < text.size() &&
                 std::isdigit(static_cast<unsigned char>(text[end + 2]))))) {
        exponent = true;
        ++end;
      } else break;
      ++end;
    }
    if (!digits) return Value::Number(std::nan(""));
    return Value::Number(std::strtod(text.substr(i, end - i).c_str(), nullptr));
  });
  Method(rt, g, "parseInt", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    const std::string text = ToString(Arg(args, 0), m.Version());
    int radix = args.size() > 1 ? ToInt32(ToNumber(args[1], m.Version())) : 0;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if ((radix == 0 || radix == 16) && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      radix = 16;
      i += 2;
    } else if (radix == 0 && i + 1 < text.size() && text[i] == '0') {
      radix = 8;
    }
    if (radix == 0) radix = 10;
    if (radix < 2 || radix > 36) return Value::Number(std::nan(""));
    double out = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
      const int c = std::tolower(static_cast<unsigned char>(text[i]));
      const int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'z' ? c - 'a' + 10 : 99);
      if (digit >= radix) break;
      out = out * radix + digit;
      any = true;
    }
    if (!any) return Value::Number(std::nan(""));
    return Value::Number(negative ? -out : out);
  });
  Method(rt, g, "ASSetPropFlags", [](Machine&, const Value&, std::vector<Value>&) -> Value { return Value::Undefined(); });
  g->Set("NaN", Value::Number(std::nan("")), false);
  g->Set("Infinity", Value::Number(INFINITY), false);
}

}  // namespace

void InstallBuiltins(Runtime& rt) {
  InstallGlobalFunctions(rt);
  InstallObject(rt);
  InstallArray(rt);
  InstallWrappers(rt);
  InstallMath(rt);
  InstallAsBroadcaster(rt);
  InstallKey(rt);
  InstallMouse(rt);
  InstallStage(rt);
  InstallSystem(rt);
  InstallMovieClipLoader(rt);
  ObjectPtr clip = rt.Make(Object::Kind::Function, rt.functionProto);
  if (clip) {
    clip->Set("prototype", Value::Obj(rt.clipProto), false);
    rt.global->Set("MovieClip", Value::Obj(clip), false);
  }
}

bool CallPrimitiveMethod(Machine& m, const Value& self, const std::string& name, std::vector<Value>& args, Value& result) {
  const int version = m.Version();
  const Value p = Primitive(self);
  if (p.type == Value::Type::Number || p.type == Value::Type::Boolean) {
    if (name == "toString" || name == "valueOf") {
      if (name == "valueOf") {
        result = p;
        return true;
      }
      if (p.type == Value::Type::Number && !args.empty()) return false;  // radix: the prototype's method
      result = Value::String(ToString(p, version));
      return true;
    }
    return false;
  }
  if (p.type != Value::Type::String) return false;
  const std::string& s = p.string;
  const long size = static_cast<long>(s.size());
  auto num = [&](std::size_t i) { return ToNumber(Arg(args, i), version); };
  auto clampIndex = [size](double v) { return std::isnan(v) ? 0L : std::clamp(static_cast<long>(std::clamp(v, -1e9, 1e9)), 0L, size); };
  if (name == "length") return false;
  if (name == "charAt" || name == "charCodeAt") {
    const double i = num(0);
    const long index = std::isnan(i) ? 0 : static_cast<long>(std::clamp(i, -1.0, 1e9));
    const bool in = index >= 0 && index < size;
    if (name == "charAt") result = Value::String(in ? std::string(1, s[static_cast<std::size_t>(index)]) : std::string());
    else result = Value::Number(in ? static_cast<unsigned char>(s[static_cast<std::size_t>(index)]) : std::nan(""));
    return true;
  }
  if (name == "substr") {
    const long from = SliceIndex(num(0), size);
    long count = size - from;
    if (args.size() > 1 && !args[1].IsUndefined()) {
      const double n = num(1);
      count = std::isnan(n) || n < 0 ? 0 : std::min(count, static_cast<long>(std::min(n, 1e9)));
    }
    result = Value::String(s.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(count)));
    return true;
  }
  if (name == "substring") {
    long from = clampIndex(num(0));
    long to = args.size() > 1 && !args[1].IsUndefined() ? clampIndex(num(1)) : size;
    if (from > to) std::swap(from, to);
    result = Value::String(s.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
    return true;
  }
  if (name == "slice") {
    const long from = SliceIndex(num(0), size);
    const long to = args.size() > 1 && !args[1].IsUndefined() ? SliceIndex(num(1), size) : size;
    result = Value::String(to > from ? s.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)) : std::string());
    return true;
  }
  if (name == "indexOf" || name == "lastIndexOf") {
    const std::string needle = ToString(Arg(args, 0), version);
    std::size_t found;
    if (name == "indexOf") {
      found = s.find(needle, static_cast<std::size_t>(args.size() > 1 ? clampIndex(num(1)) : 0));
    } else {
      found = s.rfind(needle, args.size() > 1 ? static_cast<std::size_t>(clampIndex(num(1))) : std::string::npos);
    }
    result = Value::Number(found == std::string::npos ? -1 : static_cast<double>(found));
    return true;
  }
  if (name == "toUpperCase" || name == "toLowerCase") {
    std::string out = s;
    for (char& c : out) {
      c = static_cast<char>(name == "toUpperCase" ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
    }
    result = Value::String(out);
    return true;
  }
  if (name == "split") {
    ObjectPtr array = m.NewObject("Array");
    if (!array) return false;
    if (args.empty() || args[0].IsUndefined()) {
      array->elements.push_back(Value::String(s));
    } else {
      const std::string sep = ToString(args[0], version);
      if (sep.empty()) {
        for (const char c : s) array->elements.push_back(Value::String(std::string(1, c)));
      } else {
        std::size_t start = 0;
        while (array->elements.size() < kMaxElements) {
          const std::size_t at = s.find(sep, start);
          array->elements.push_back(Value::String(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
          if (at == std::string::npos) break;
          start = at + sep.size();
        }
      }
    }
    result = Value::Obj(array);
    return true;
  }
  if (name == "concat") {
    std::string out = s;
    for (const Value& v : args) out += ToString(v, version);
    result = Value::String(out);
    return true;
  }
  if (name == "toString" || name == "valueOf") {
    result = p;
    return true;
  }
  return false;
}

}  // namespace vantrel::flash::avm1
