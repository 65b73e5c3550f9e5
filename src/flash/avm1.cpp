#include "flash/avm1.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "flash/avm1_object.h"
#include "flash/movie_clip.h"
#include "flash/movie_player.h"

#include <QTransform>

namespace vantrel::flash::avm1 {

namespace {

constexpr std::size_t kMaxStack = 65536;
constexpr int kMaxCallDepth = 64;
constexpr std::size_t kMaxElements = 1u << 22;     // an array never grows past this
constexpr std::size_t kMaxProperties = 1u << 16;   // nor an object's own properties
constexpr std::size_t kMaxString = 16u * 1024 * 1024;  // a doubling loop stops here

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

// A frame or property number as an int; NaN and values out of range become -1 or the
// nearest bound, never undefined behaviour.
int ToIndex(double number) {
  if (std::isnan(number)) return -1;
  return static_cast<int>(std::clamp(number, -1e9, 1e9));
}

MovieClip& RootOf(MovieClip& clip) {
  MovieClip* at = &clip;
  for (int i = 0; at->Parent() && i < 1000; ++i) at = at->Parent();
  return *at;
}

// Reads the operands of one action.
class Operands {
 public:
  explicit Operands(std::span<const std::uint8_t> data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::uint8_t U8() { return pos_ < data_.size() ? data_[pos_++] : 0; }
  std::uint16_t U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  std::string String() {
    std::string text;
    while (pos_ < data_.size() && data_[pos_] != 0) text.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < data_.size()) ++pos_;
    return text;
  }
  double Double() {  // high word first
    const std::uint64_t high = U32();
    const std::uint64_t low = U32();
    const std::uint64_t bits = (high << 32) | low;
    double out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
  }
  float Float() {
    const std::uint32_t bits = U32();
    float out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Bounds of a clip's content in its own space (twips).
QRectF ClipBounds(const MovieClip& clip) {
  QRectF bounds;
  for (const auto& [depth, object] : clip.DisplayList()) {
    QRectF inner = object.clip ? ClipBounds(*object.clip)
                               : (object.character ? object.character->Bounds(object.ratio) : QRectF());
    if (inner.isEmpty() && inner.width() == 0 && inner.height() == 0) continue;
    const Matrix& m = object.matrix;
    const QTransform transform(m.a, m.b, m.c, m.d, m.tx, m.ty);
    bounds = bounds.united(transform.mapRect(inner));
  }
  return bounds;
}

double ScaleX(const Matrix& m) { return std::sqrt(m.a * m.a + m.b * m.b); }
double ScaleY(const Matrix& m) { return std::sqrt(m.c * m.c + m.d * m.d); }
double RotationDegrees(const Matrix& m) { return std::atan2(m.b, m.a) * 180.0 / std::numbers::pi; }

void SetScaleRotation(Matrix& m, double scaleX, double scaleY, double degrees) {
  const double radians = degrees * std::numbers::pi / 180.0;
  const double skew = std::atan2(-m.c, m.d) - std::atan2(m.b, m.a);  // keep any skew
  m.a = scaleX * std::cos(radians);
  m.b = scaleX * std::sin(radians);
  m.c = -scaleY * std::sin(radians + skew);
  m.d = scaleY * std::cos(radians + skew);
}

class Interpreter final : public Machine {
 public:
  Interpreter(MovieClip& clip, int callDepth)
      : origin_(clip), target_(&clip), held_(clip.shared_from_this()), player_(clip.Player()), rt_(clip.Player().Script()),
        version_(clip.Player().SwfVersion()), callDepth_(callDepth) {
    this_ = Value::Clip(clip.TargetPath());
  }

  void Run(std::span<const std::uint8_t> code);

  int Version() const override { return version_; }
  Value Call(const Value& fn, const Value& self, std::vector<Value> args) override {
    return CallWithHome(fn, self, std::move(args), nullptr);
  }
  ObjectPtr NewObject(const std::string& constructor) override {
    if (constructor == "Array") return rt_.Make(Object::Kind::Array, rt_.arrayProto);
    return rt_.Make(Object::Kind::Plain, rt_.objectProto);
  }
  MovieClip* Timeline() override { return target_; }
  void Trace(const std::string& text) override {
    if (player_.Hooks().trace) player_.Hooks().trace(text);
  }
  // For the host's calls into scripts (input events, broadcasts).
  Value CallMethodOf(const Value& object, const std::string& name, std::vector<Value> args) override {
    return CallMethod(object, name, std::move(args));
  }
  Value Member(const Value& object, const std::string& name) { return GetMember(object, name); }

 private:
  struct TryFrame {
    std::size_t tryEnd = 0, catchEnd = 0, finallyEnd = 0;
    bool inCatch = false;
    bool toRegister = false;
    std::uint8_t reg = 0;
    std::string name;
  };

  Value Pop() {
    if (stack_.empty()) return Value::Undefined();
    Value value = std::move(stack_.back());
    stack_.pop_back();
    return value;
  }
  bool Push(Value value) {
    if (stack_.size() >= kMaxStack) return false;
    stack_.push_back(std::move(value));
    return true;
  }
  double PopNumber() { return Num(Pop()); }
  std::string PopString() { return Str(Pop()); }
  Value Logical(bool b) const { return version_ < 5 ? Value::Number(b ? 1 : 0) : Value::Bool(b); }
  bool NoCase() const { return version_ < 7; }
  int PopCount() {
    const double count = PopNumber();
    return std::isnan(count) ? 0 : static_cast<int>(std::clamp(count, 0.0, static_cast<double>(kMaxStack)));
  }
  std::vector<Value> PopArguments() {
    const int n = PopCount();
    std::vector<Value> args;
    for (int i = 0; i < n && !stack_.empty(); ++i) args.push_back(Pop());
    return args;
  }

  // a + b, or undefined (and the block stops) when the text would pass kMaxString.
  Value Concat(const std::string& a, const std::string& b) {
    if (a.size() + b.size() > kMaxString) {
      stopped_ = true;
      return Value::Undefined();
    }
    return Value::String(a + b);
  }

  // Conversions that may run a script's toString or valueOf.
  Value Prim(const Value& value, bool preferString);
  std::string Str(const Value& value) {
    if (value.type != Value::Type::Object) return ToString(value, version_);
    return ToString(Prim(value, true), version_);
  }
  double Num(const Value& value) {
    if (value.type != Value::Type::Object) return ToNumber(value, version_);
    return ToNumber(Prim(value, false), version_);
  }

  MovieClip* ClipOf(const Value& value) {
    if (value.type != Value::Type::Clip) return nullptr;
    return ResolveTarget(RootOf(origin_), value.string);
  }
  Value ClipValue(MovieClip* clip) const { return clip ? Value::Clip(clip->TargetPath()) : Value::Undefined(); }
  ObjectPtr ProtoOf(const Value& value) const;

  Value Lookup(const std::string& name);
  void Assign(const std::string& name, const Value& value);
  void DefineLocal(const std::string& name, const Value& value);
  Value GetMember(const Value& object, const std::string& name);
  void SetMember(const Value& object, const std::string& name, const Value& value);
  Value CallMethod(const Value& object, const std::string& name, std::vector<Value> args);
  bool CallClipMethod(MovieClip& clip, const std::string& name, std::vector<Value>& args, Value& result);
  Value CallWithHome(const Value& fn, const Value& self, std::vector<Value> args, ObjectPtr home);
  Value Construct(const Value& fn, std::vector<Value> args);
  ObjectPtr MakeSuper(const ObjectPtr& home);
  void DefineFunction(std::span<const std::uint8_t> code, std::size_t& pos, Operands& in, bool v2);
  void Enumerate(const Value& object);
  bool InstanceOf(const Value& object, const Value& constructor);
  void Throw(const Value& value, std::size_t& pos);

  void GotoFrameValue(MovieClip* clip, const Value& frame, bool play, int bias);
  bool Equals2(const Value& a, const Value& b);
  Value Less2(const Value& a, const Value& b);
  void GetUrl(const std::string& url, const std::string& target);
  void CallFrame(const Value& frame);

  void SetTarget(MovieClip* clip) {
    target_ = clip;
    held_ = clip ? clip->shared_from_this() : nullptr;  // a goto may remove it meanwhile
  }

  MovieClip& origin_;
  MovieClip* target_;
  std::shared_ptr<MovieClip> held_;
  std::shared_ptr<MovieClip> originHeld_ = origin_.shared_from_this();
  MoviePlayer& player_;
  Runtime& rt_;
  int version_;
  int callDepth_;
  std::vector<Value> stack_;
  std::vector<std::string> constants_;
  std::array<Value, 256> registers_{};
  bool stopped_ = false;

  // Set up for function calls.
  ObjectPtr locals_;          // the activation object of a function
  std::vector<Value> scope_;  // outer scopes and with-objects, innermost last
  std::vector<std::size_t> withEnds_;
  std::vector<TryFrame> tries_;
  ObjectPtr home_;            // the prototype the running method was found on
  Value this_;
  Value result_;
  bool threw_ = false;        // an exception left this block
  Value thrown_;
  bool pendingThrow_ = false;  // a called function threw
  Value pendingValue_;
  std::shared_ptr<const std::vector<std::uint8_t>> codeOwner_;
  std::size_t codeBase_ = 0;

};

void Interpreter::GetUrl(const std::string& url, const std::string& target) {
  if (StartsWithNoCase(url, "FSCommand:")) {
    if (player_.Hooks().fsCommand) player_.Hooks().fsCommand(url.substr(10), target);
    return;
  }
  if (player_.Hooks().getUrl) player_.Hooks().getUrl(url, target);
}

void Interpreter::GotoFrameValue(MovieClip* clip, const Value& frame, bool play, int bias) {
  if (!clip || !clip->GetTimeline()) return;
  if (frame.type == Value::Type::String) {
    std::string text = frame.string;
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
      clip = ResolveTarget(*clip, text.substr(0, colon));
      text = text.substr(colon + 1);
      if (!clip || !clip->GetTimeline()) return;
    }
    const double number = ToNumber(Value::String(text), version_);
    int index = -1;
    if (!std::isnan(number))
      index = ToIndex(number) - 1 + bias;
    else
      index = clip->GetTimeline()->FindLabel(text);
    if (index < 0) return;
    clip->GotoFrame(index, play);
    return;
  }
  const double number = Num(frame);
  if (std::isnan(number)) return;
  const int index = ToIndex(number) - 1 + bias;
  clip->GotoFrame(std::max(index, 0), play);
}

void Interpreter::CallFrame(const Value& frame) {
  MovieClip* clip = target_;
  if (!clip || !clip->GetTimeline() || callDepth_ >= kMaxCallDepth) return;
  int index = -1;
  std::string text = Str(frame);
  const auto colon = text.rfind(':');
  if (colon != std::string::npos) {
    clip = ResolveTarget(*target_, text.substr(0, colon));
    text = text.substr(colon + 1);
    if (!clip || !clip->GetTimeline()) return;
  }
  const double number = ToNumber(Value::String(text), version_);
  index = std::isnan(number) ? clip->GetTimeline()->FindLabel(text) : ToIndex(number) - 1;
  if (index < 0 || index >= clip->TotalFrames()) return;
  for (const ActionBlock& block : clip->GetTimeline()->FrameAt(index).actions) {
    Interpreter nested(*clip, callDepth_ + 1);
    nested.codeOwner_ = block;
    nested.Run(*block);
  }
}

Value Interpreter::Prim(const Value& value, bool preferString) {
  if (value.type != Value::Type::Object || !value.object) return value;
  const Object& object = *value.object;
  if (object.kind == Object::Kind::Primitive) return object.primitive;
  // A script's own valueOf or toString wins over the built-in conversion.
  const char* first = preferString ? "toString" : "valueOf";
  const Value method = GetChain(object, first, NoCase());
  if (method.type == Value::Type::Object && method.object && method.object->script) {
    const Value out = Call(method, value, {});
    if (out.type != Value::Type::Object) return out;
  }
  if (!preferString) {
    const Value toString = GetChain(object, "toString", NoCase());
    if (toString.type == Value::Type::Object && toString.object && toString.object->script) {
      const Value out = Call(toString, value, {});
      if (out.type != Value::Type::Object) return out;
    }
  }
  return Value::String(ToString(value, version_));
}

ObjectPtr Interpreter::ProtoOf(const Value& value) const {
  switch (value.type) {
    case Value::Type::Object: return value.object ? value.object->proto : nullptr;
    case Value::Type::String: return rt_.stringProto;
    case Value::Type::Number: return rt_.numberProto;
    case Value::Type::Boolean: return rt_.booleanProto;
    case Value::Type::Clip: return rt_.clipProto;
    default: return nullptr;
  }
}

// True when name is something the clip has: a variable, a child, a property.
bool ClipHas(MovieClip& clip, const std::string& name) {
  if (clip.HasVariable(name) || clip.FindChild(name)) return true;
  const std::string lower = Lower(name);
  if (lower == "_root" || lower == "_level0" || lower == "_parent") return true;
  return !name.empty() && name[0] == '_' && PropertyIndex(name) >= 0;
}

Value Interpreter::Lookup(const std::string& name) {
  if (name.find_first_of(":/") != std::string::npos) return target_ ? GetVariable(*target_, name) : Value::Undefined();
  const auto dot = name.find('.');
  if (dot != std::string::npos && dot > 0) {
    Value at = Lookup(name.substr(0, dot));
    std::size_t pos = dot + 1;
    for (int i = 0; i < 256 && pos <= name.size(); ++i) {
      const auto next = name.find('.', pos);
      const std::string part = name.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
      at = GetMember(at, part);
      if (next == std::string::npos) break;
      pos = next + 1;
    }
    return at;
  }
  const bool noCase = NoCase();
  if (name == "this") return this_;
  if (Lower(name) == "_global") return Value::Obj(rt_.global);
  if (locals_) {
    if (Value* found = locals_->Find(name, noCase)) return *found;
  }
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
    if (it->type == Value::Type::Object && it->object && HasChain(*it->object, name, noCase)) return GetMember(*it, name);
    if (MovieClip* clip = ClipOf(*it); clip && ClipHas(*clip, name)) return GetVariable(*clip, name);
  }
  if (target_ && ClipHas(*target_, name)) return GetVariable(*target_, name);
  if (HasChain(*rt_.global, name, noCase)) return GetChain(*rt_.global, name, noCase);
  if (target_ && ClipHas(origin_, name)) return GetVariable(origin_, name);
  return Value::Undefined();
}

void Interpreter::Assign(const std::string& name, const Value& value) {
  if (name.find_first_of(":/") != std::string::npos) {
    if (target_) SetVariable(*target_, name, value);
    return;
  }
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    SetMember(Lookup(name.substr(0, dot)), name.substr(dot + 1), value);
    return;
  }
  const bool noCase = NoCase();
  if (name == "this") {  // a script may rebind this for the rest of its block
    this_ = value;
    return;
  }
  if (locals_) {
    if (Value* found = locals_->Find(name, noCase)) {
      *found = value;
      return;
    }
  }
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
    if (it->type == Value::Type::Object && it->object && HasChain(*it->object, name, noCase)) {
      SetMember(*it, name, value);
      return;
    }
    if (MovieClip* clip = ClipOf(*it); clip && ClipHas(*clip, name)) {
      SetVariable(*clip, name, value);
      return;
    }
  }
  if (target_) SetVariable(*target_, name, value);
}

void Interpreter::DefineLocal(const std::string& name, const Value& value) {
  if (locals_) {
    locals_->Set(name, value, NoCase());
    return;
  }
  if (target_) SetVariable(*target_, name, value);
}

Value Interpreter::GetMember(const Value& object, const std::string& name) {
  const bool noCase = NoCase();
  switch (object.type) {
    case Value::Type::Object: {
      if (!object.object) return Value::Undefined();
      Object& o = *object.object;
      // super stands for the superclass's prototype, which is its own proto.
      const ObjectPtr proto = o.className == "super" && o.proto ? o.proto->proto : o.proto;
      if (name == "__proto__") return proto ? Value::Obj(proto) : Value::Undefined();
      if (o.kind == Object::Kind::Array) {
        if (name == "length") return Value::Number(static_cast<double>(o.elements.size()));
        const long index = ArrayIndex(name);
        if (index >= 0) {
          return static_cast<std::size_t>(index) < o.elements.size() ? o.elements[static_cast<std::size_t>(index)] : Value::Undefined();
        }
      }
      if (o.kind == Object::Kind::Primitive && o.primitive.type == Value::Type::String && name == "length")
        return Value::Number(static_cast<double>(o.primitive.string.size()));
      return GetChain(o, name, noCase);
    }
    case Value::Type::String:
      if (name == "length") return Value::Number(static_cast<double>(object.string.size()));
      return GetChain(*rt_.stringProto, name, noCase);
    case Value::Type::Number: return GetChain(*rt_.numberProto, name, noCase);
    case Value::Type::Boolean: return GetChain(*rt_.booleanProto, name, noCase);
    case Value::Type::Clip: {
      MovieClip* clip = ClipOf(object);
      if (!clip) return Value::Undefined();
      if (ClipHas(*clip, name)) return GetVariable(*clip, name);
      if (name == "__proto__") return Value::Obj(rt_.clipProto);
      return GetChain(*rt_.clipProto, name, noCase);
    }
    default: return Value::Undefined();
  }
}

void Interpreter::SetMember(const Value& object, const std::string& name, const Value& value) {
  if (object.type == Value::Type::Clip) {
    if (MovieClip* clip = ClipOf(object)) SetVariable(*clip, name, value);
    return;
  }
  if (object.type != Value::Type::Object || !object.object) return;
  Object& o = *object.object;
  if (name == "__proto__") {
    o.proto = value.type == Value::Type::Object ? value.object : nullptr;
    // A chain that loops back to o would never end a lookup: cut it.
    const Object* at = o.proto.get();
    for (int i = 0; at && i < 300; ++i, at = at->proto.get()) {
      if (at == &o) {
        o.proto.reset();
        break;
      }
    }
    return;
  }
  if (o.kind == Object::Kind::Array) {
    if (name == "length") {
      const double n = Num(value);
      if (n >= 0 && n <= static_cast<double>(kMaxElements)) o.elements.resize(static_cast<std::size_t>(n));
      return;
    }
    const long index = ArrayIndex(name);
    if (index >= 0 && static_cast<std::size_t>(index) < kMaxElements) {
      if (static_cast<std::size_t>(index) >= o.elements.size()) o.elements.resize(static_cast<std::size_t>(index) + 1);
      o.elements[static_cast<std::size_t>(index)] = value;
      return;
    }
  }
  if (o.properties.size() >= kMaxProperties && !o.Find(name, NoCase())) return;
  o.Set(name, value, NoCase());
}

ObjectPtr Interpreter::MakeSuper(const ObjectPtr& home) {
  if (!home) return nullptr;
  ObjectPtr super = rt_.Make(Object::Kind::Plain, home->proto);
  if (!super) return nullptr;
  super->className = "super";
  super->primitive = this_;
  super->Set("__constructor__", GetChain(*home, "__constructor__", NoCase()), false);
  return super;
}

// The object in object's chain that owns name; null when none does.
ObjectPtr Holder(const ObjectPtr& object, const std::string& name, bool noCase) {
  ObjectPtr at = object;
  for (int i = 0; at && i < 256; ++i) {
    if (at->Find(name, noCase)) return at;
    at = at->proto;
  }
  return nullptr;
}

Value Interpreter::CallWithHome(const Value& fn, const Value& self, std::vector<Value> args, ObjectPtr home) {
  if (fn.type != Value::Type::Object || !fn.object || !fn.object->IsFunction()) return Value::Undefined();
  if (callDepth_ >= kMaxCallDepth) return Value::Undefined();
  const ObjectPtr function = fn.object;
  if (function->native) {
    const Native native = function->native;
    return native(*this, self, args);
  }
  const std::shared_ptr<ScriptFunction> script = function->script;
  if (!script || !script->code) return Value::Undefined();
  const std::shared_ptr<MovieClip> timeline = script->timeline.lock();
  MovieClip& clip = timeline && (timeline->Parent() || timeline.get() == &RootOf(origin_)) ? *timeline : origin_;
  Interpreter inner(clip, callDepth_ + 1);
  inner.locals_ = rt_.Make(Object::Kind::Plain, nullptr);
  if (!inner.locals_) return Value::Undefined();
  inner.scope_ = script->scope;
  inner.constants_ = script->constants;
  inner.codeOwner_ = script->code;
  inner.codeBase_ = script->start;
  inner.this_ = self.IsUndefined() || self.type == Value::Type::Null ? Value::Clip(clip.TargetPath()) : self;
  if (!home && self.type == Value::Type::Object && self.object) home = self.object->proto;
  inner.home_ = home;

  ObjectPtr arguments = NewObject("Array");
  if (arguments) {
    arguments->elements = args;
    arguments->Set("callee", fn, false);
  }
  const bool noCase = NoCase();
  if (!script->v2) {
    for (std::size_t i = 0; i < script->params.size(); ++i)
      inner.locals_->Set(script->params[i], i < args.size() ? args[i] : Value::Undefined(), noCase);
    inner.locals_->Set("arguments", Value::Obj(arguments), noCase);
    if (self.type == Value::Type::Object) inner.locals_->Set("super", Value::Obj(inner.MakeSuper(home)), noCase);
  } else {
    const std::uint16_t flags = script->flags;
    std::size_t reg = 1;
    auto preload = [&](const Value& value) {
      if (reg < inner.registers_.size()) inner.registers_[reg++] = value;
    };
    if (flags & 0x01) preload(inner.this_);
    if (flags & 0x04) preload(Value::Obj(arguments));
    else if (!(flags & 0x08)) inner.locals_->Set("arguments", Value::Obj(arguments), noCase);
    if (flags & 0x10) preload(Value::Obj(inner.MakeSuper(home)));
    else if (!(flags & 0x20) && self.type == Value::Type::Object) inner.locals_->Set("super", Value::Obj(inner.MakeSuper(home)), noCase);
    if (flags & 0x40) preload(Value::Clip("_level0"));
    if (flags & 0x80) preload(ClipValue(clip.Parent()));
    if (flags & 0x100) preload(Value::Obj(rt_.global));
    for (std::size_t i = 0; i < script->params.size(); ++i) {
      const Value arg = i < args.size() ? args[i] : Value::Undefined();
      const std::uint8_t r = i < script->paramRegisters.size() ? script->paramRegisters[i] : 0;
      if (r) inner.registers_[r] = arg;
      else inner.locals_->Set(script->params[i], arg, noCase);
    }
  }
  const std::size_t start = std::min(script->start, script->code->size());
  const std::size_t length = std::min(script->length, script->code->size() - start);
  inner.Run(std::span<const std::uint8_t>(script->code->data() + start, length));
  if (inner.threw_) {
    pendingThrow_ = true;
    pendingValue_ = inner.thrown_;
  }
  return inner.result_;
}

Value Interpreter::Construct(const Value& fn, std::vector<Value> args) {
  if (fn.type != Value::Type::Object || !fn.object || !fn.object->IsFunction()) return Value::Undefined();
  const Value prototype = GetChain(*fn.object, "prototype", false);
  const ObjectPtr proto = prototype.type == Value::Type::Object ? prototype.object : rt_.objectProto;
  ObjectPtr object = rt_.Make(Object::Kind::Plain, proto);
  if (!object) return Value::Undefined();
  object->className = fn.object->className;
  const Value self = Value::Obj(object);
  object->Set(version_ < 7 ? "constructor" : "__constructor__", fn, false);
  const Value result = CallWithHome(fn, self, std::move(args), proto);
  if (fn.object->native && result.type == Value::Type::Object) return result;
  return self;
}

bool Interpreter::CallClipMethod(MovieClip& clip, const std::string& name, std::vector<Value>& args, Value& result) {
  const std::string lower = Lower(name);
  const Value first = args.empty() ? Value::Undefined() : args[0];
  if (lower == "play") clip.Play();
  else if (lower == "stop") clip.Stop();
  else if (lower == "gotoandplay") GotoFrameValue(&clip, first, true, 0);
  else if (lower == "gotoandstop") GotoFrameValue(&clip, first, false, 0);
  else if (lower == "nextframe") clip.GotoFrame(clip.CurrentFrame() + 1, false);
  else if (lower == "prevframe") clip.GotoFrame(std::max(0, clip.CurrentFrame() - 1), false);
  else if (lower == "getbytesloaded" || lower == "getbytestotal") {
    result = Value::Number(static_cast<double>(player_.GetMovie().header.fileLength));
  } else if (lower == "getdepth") {
    result = clip.Owner() ? Value::Number(static_cast<double>(clip.Owner()->depth) - 16384) : Value::Undefined();
  } else if (lower == "tostring") {
    result = Value::String(clip.TargetPath());
  } else {
    return false;
  }
  return true;
}

Value Interpreter::CallMethod(const Value& object, const std::string& name, std::vector<Value> args) {
  if (name.empty()) {
    if (object.type == Value::Type::Object && object.object && object.object->className == "super") {
      const Value constructor = GetChain(*object.object, "__constructor__", false);
      const ObjectPtr home = object.object->proto;
      return CallWithHome(constructor, object.object->primitive, std::move(args), home);
    }
    return Call(object, Value::Undefined(), std::move(args));
  }
  const bool noCase = NoCase();
  switch (object.type) {
    case Value::Type::Object: {
      if (!object.object) return Value::Undefined();
      const ObjectPtr& o = object.object;
      if (o->className == "super") {
        const ObjectPtr holder = Holder(o->proto, name, noCase);
        if (!holder) return Value::Undefined();
        return CallWithHome(GetChain(*holder, name, noCase), o->primitive, std::move(args), holder);
      }
      if (o->kind == Object::Kind::Primitive) {
        Value result;
        if (!o->Find(name, noCase) && CallPrimitiveMethod(*this, object, name, args, result)) return result;
      }
      const ObjectPtr holder = Holder(o, name, noCase);
      const Value fn = GetMember(object, name);
      return CallWithHome(fn, object, std::move(args), holder);
    }
    case Value::Type::String:
    case Value::Type::Number:
    case Value::Type::Boolean: {
      const ObjectPtr proto = ProtoOf(object);
      if (proto && proto->Find(name, noCase) && GetChain(*proto, name, noCase).object && GetChain(*proto, name, noCase).object->script)
        return Call(GetChain(*proto, name, noCase), object, std::move(args));
      Value result;
      if (CallPrimitiveMethod(*this, object, name, args, result)) return result;
      return proto ? Call(GetChain(*proto, name, noCase), object, std::move(args)) : Value::Undefined();
    }
    case Value::Type::Clip: {
      MovieClip* clip = ClipOf(object);
      if (!clip) return Value::Undefined();
      if (clip->HasVariable(name)) return Call(clip->GetVariable(name), object, std::move(args));
      const std::shared_ptr<MovieClip> keep = clip->shared_from_this();
      Value result;
      if (CallClipMethod(*clip, name, args, result)) return result;
      const ObjectPtr holder = Holder(rt_.clipProto, name, noCase);
      return holder ? CallWithHome(GetChain(*holder, name, noCase), object, std::move(args), holder) : Value::Undefined();
    }
    default: return Value::Undefined();
  }
}

void Interpreter::DefineFunction(std::span<const std::uint8_t> code, std::size_t& pos, Operands& in, bool v2) {
  auto script = std::make_shared<ScriptFunction>();
  const std::string name = in.String();
  const std::uint16_t params = in.U16();
  script->v2 = v2;
  if (v2) {
    script->registerCount = in.U8();
    script->flags = in.U16();
    for (int i = 0; i < params && !in.AtEnd(); ++i) {
      script->paramRegisters.push_back(in.U8());
      script->params.push_back(in.String());
    }
  } else {
    for (int i = 0; i < params && !in.AtEnd(); ++i) script->params.push_back(in.String());
  }
  const std::uint16_t size = in.U16();
  const std::size_t bodyStart = pos;
  pos = std::min(code.size(), pos + size);
  if (!codeOwner_) {
    codeOwner_ = std::make_shared<const std::vector<std::uint8_t>>(code.begin(), code.end());
    codeBase_ = 0;
  }
  script->code = codeOwner_;
  script->start = codeBase_ + bodyStart;
  script->length = pos - bodyStart;
  script->scope = scope_;
  if (locals_) script->scope.push_back(Value::Obj(locals_));
  script->timeline = target_ ? target_->weak_from_this() : origin_.weak_from_this();
  script->constants = constants_;
  ObjectPtr function = rt_.Make(Object::Kind::Function, rt_.functionProto);
  ObjectPtr prototype = rt_.Make(Object::Kind::Plain, rt_.objectProto);
  if (!function || !prototype) {
    if (name.empty()) Push(Value::Undefined());
    return;
  }
  function->script = script;
  function->className = name;
  function->Set("prototype", Value::Obj(prototype), false);
  prototype->Set("constructor", Value::Obj(function), false);
  if (name.empty()) Push(Value::Obj(function));
  else DefineLocal(name, Value::Obj(function));
}

void Interpreter::Enumerate(const Value& object) {
  Push(Value::Undefined());  // the end marker: for-in stops at undefined or null
  std::vector<std::string> names;
  if (MovieClip* clip = ClipOf(object)) {
    for (const auto& [key, value] : clip->Variables()) names.push_back(key);
    for (const auto& [depth, child] : clip->DisplayList())
      if (child.clip && !child.name.empty()) names.push_back(child.name);
  } else if (object.type == Value::Type::Object && object.object) {
    const Object* at = object.object.get();
    for (int i = 0; at && i < 256; ++i, at = at->proto.get()) {
      if (at == rt_.objectProto.get() || at == rt_.functionProto.get() || at == rt_.arrayProto.get() ||
          at == rt_.stringProto.get() || at == rt_.numberProto.get() || at == rt_.booleanProto.get())
        break;
      if (at->kind == Object::Kind::Array) {
        for (std::size_t e = 0; e < at->elements.size() && names.size() < kMaxStack / 2; ++e) names.push_back(std::to_string(e));
      }
      for (const auto& [key, value] : at->properties) {
        if (key == "constructor" || key == "__constructor__" || key == "prototype" || key == "__proto__") continue;
        if (std::find(names.begin(), names.end(), key) == names.end()) names.push_back(key);
      }
    }
  }
  for (const std::string& key : names) {
    if (!Push(Value::String(key))) break;
  }
}

bool Interpreter::InstanceOf(const Value& object, const Value& constructor) {
  if (object.type != Value::Type::Object || !object.object) {
    if (object.type != Value::Type::Clip) return false;
  }
  if (constructor.type != Value::Type::Object || !constructor.object) return false;
  const Value prototype = GetChain(*constructor.object, "prototype", false);
  if (prototype.type != Value::Type::Object || !prototype.object) return false;
  ObjectPtr at = ProtoOf(object);
  for (int i = 0; at && i < 256; ++i, at = at->proto) {
    if (at == prototype.object) return true;
    // Interfaces, and the interfaces those extend, one level deep each.
    for (const ObjectPtr& face : at->interfaces) {
      if (face == prototype.object) return true;
      for (const ObjectPtr& inner : face->interfaces)
        if (inner == prototype.object) return true;
    }
  }
  return false;
}

void Interpreter::Throw(const Value& value, std::size_t& pos) {
  while (!tries_.empty()) {
    TryFrame& frame = tries_.back();
    if (!frame.inCatch && frame.catchEnd > frame.tryEnd) {
      frame.inCatch = true;
      if (frame.toRegister) registers_[frame.reg] = value;
      else DefineLocal(frame.name, value);
      pos = frame.tryEnd;
      return;
    }
    tries_.pop_back();
  }
  threw_ = true;
  thrown_ = value;
  stopped_ = true;
}

bool Interpreter::Equals2(const Value& a, const Value& b) {
  using T = Value::Type;
  if (a.type == b.type) {
    switch (a.type) {
      case T::Undefined:
      case T::Null: return true;
      case T::Boolean: return a.boolean == b.boolean;
      case T::Number: return a.number == b.number;
      case T::String:
      case T::Clip: return a.string == b.string;
      case T::Object: return a.object == b.object;
    }
  }
  if ((a.type == T::Undefined || a.type == T::Null) && (b.type == T::Undefined || b.type == T::Null)) return true;
  if (a.type == T::Undefined || a.type == T::Null || b.type == T::Undefined || b.type == T::Null) return false;
  if (a.type == T::Object || b.type == T::Object) {
    const Value pa = Prim(a, false), pb = Prim(b, false);
    if (pa.type == T::String && pb.type == T::String) return pa.string == pb.string;
    return ToNumber(pa, version_) == ToNumber(pb, version_);
  }
  if (a.type == T::Clip || b.type == T::Clip) return false;
  return ToNumber(a, version_) == ToNumber(b, version_);
}

Value Interpreter::Less2(const Value& a0, const Value& b0) {
  const Value a = Prim(a0, false), b = Prim(b0, false);
  if (a.type == Value::Type::String && b.type == Value::Type::String) return Value::Bool(a.string < b.string);
  const double x = ToNumber(a, version_);
  const double y = ToNumber(b, version_);
  if (std::isnan(x) || std::isnan(y)) return Value::Undefined();
  return Value::Bool(x < y);
}

void Interpreter::Run(std::span<const std::uint8_t> code) {
  std::size_t pos = 0;
  long& shared = player_.InstructionBudget();
  for (int budget = kMaxInstructions; budget > 0 && shared > 0 && pos < code.size() && !stopped_; --budget, --shared) {
    // The clock is read now and then: a tick's scripts also stop when its time is up.
    if ((budget & 4095) == 0 && !player_.ScriptTimeLeft()) {
      shared = 0;
      break;
    }
    while (!withEnds_.empty() && pos >= withEnds_.back()) {
      withEnds_.pop_back();
      if (!scope_.empty()) scope_.pop_back();
    }
    if (!tries_.empty()) {
      TryFrame& frame = tries_.back();
      if (!frame.inCatch && pos == frame.tryEnd) pos = frame.catchEnd;  // no exception: step over catch
      if (pos >= frame.finallyEnd) tries_.pop_back();
      if (pos >= code.size()) break;
    }
    if (pendingThrow_) {
      pendingThrow_ = false;
      Throw(pendingValue_, pos);
      if (stopped_) break;
      continue;
    }
    const std::uint8_t op = code[pos++];
    if (op == 0) break;
    std::span<const std::uint8_t> data;
    if (op >= 0x80) {
      if (pos + 2 > code.size()) break;
      const std::size_t length = code[pos] | (code[pos + 1] << 8);
      pos += 2;
      data = code.subspan(pos, std::min(length, code.size() - pos));
      pos += data.size();
    }
    Operands in(data);
    switch (op) {
      case 0x04: if (target_) target_->GotoFrame(target_->CurrentFrame() + 1, false); break;  // next frame
      case 0x05: if (target_) target_->GotoFrame(std::max(0, target_->CurrentFrame() - 1), false); break;
      case 0x06: if (target_) target_->Play(); break;
      case 0x07: if (target_) target_->Stop(); break;
      case 0x08: {  // toggle quality
        auto& hooks = player_.Hooks();
        if (hooks.getQuality && hooks.setQuality) hooks.setQuality(hooks.getQuality() == "Low" ? "High" : "Low");
        break;
      }
      case 0x09: break;  // stop sounds: no sound yet
      case 0x0A: { const double b = PopNumber(), a = PopNumber(); Push(Value::Number(a + b)); break; }
      case 0x0B: { const double b = PopNumber(), a = PopNumber(); Push(Value::Number(a - b)); break; }
      case 0x0C: { const double b = PopNumber(), a = PopNumber(); Push(Value::Number(a * b)); break; }
      case 0x0D: {
        const double b = PopNumber(), a = PopNumber();
        if (b == 0 && version_ < 5) Push(Value::String("#ERROR#"));
        else Push(Value::Number(a / b));
        break;
      }
      case 0x0E: { const double b = PopNumber(), a = PopNumber(); Push(Logical(a == b)); break; }
      case 0x0F: { const double b = PopNumber(), a = PopNumber(); Push(Logical(a < b)); break; }
      case 0x10: { const bool b = ToBoolean(Pop(), version_), a = ToBoolean(Pop(), version_); Push(Logical(a && b)); break; }
      case 0x11: { const bool b = ToBoolean(Pop(), version_), a = ToBoolean(Pop(), version_); Push(Logical(a || b)); break; }
      case 0x12: Push(Logical(!ToBoolean(Pop(), version_))); break;
      case 0x13: { const std::string b = PopString(), a = PopString(); Push(Logical(a == b)); break; }
      case 0x14: case 0x31: Push(Value::Number(static_cast<double>(PopString().size()))); break;
      case 0x15: case 0x35: {  // substring: string, 1-based index, count
        const double count = PopNumber(), index = PopNumber();
        const std::string text = PopString();
        const long start = std::isnan(index) ? 0 : std::clamp(static_cast<long>(ToIndex(index)) - 1, 0L, static_cast<long>(text.size()));
        const long length = std::isnan(count) || count < 0 ? static_cast<long>(text.size())
                                                           : std::min(static_cast<long>(ToIndex(count)), static_cast<long>(text.size()));
        Push(Value::String(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length))));
        break;
      }
      case 0x17: Pop(); break;
      case 0x18: Push(Value::Number(ToInt32(PopNumber()))); break;  // int(): wraps to 32 bits
      case 0x1C: { const std::string name = PopString(); Push(Lookup(name)); break; }
      case 0x1D: {
        Value value = Pop();
        const std::string name = PopString();
        Assign(name, value);
        break;
      }
      case 0x20: {  // set target by expression
        const std::string path = PopString();
        SetTarget(path.empty() ? &origin_ : ResolveTarget(origin_, path));
        break;
      }
      case 0x21: { const std::string b = PopString(), a = PopString(); Push(Concat(a, b)); break; }
      case 0x22: {
        const double index = PopNumber();
        const std::string path = PopString();
        MovieClip* clip = target_ ? ResolveTarget(*target_, path) : nullptr;
        Push(clip && !std::isnan(index) ? GetProperty(*clip, ToIndex(index)) : Value::Undefined());
        break;
      }
      case 0x23: {
        const Value value = Pop();
        const double index = PopNumber();
        const std::string path = PopString();
        MovieClip* clip = target_ ? ResolveTarget(*target_, path) : nullptr;
        if (clip && !std::isnan(index)) SetProperty(*clip, ToIndex(index), value);
        break;
      }
      case 0x24: Pop(); Pop(); Pop(); break;  // duplicateMovieClip: later
      case 0x25: Pop(); break;                // removeMovieClip: later
      case 0x26: {
        const Value value = Pop();
        Trace(value.IsUndefined() ? "undefined" : Str(value));
        break;
      }
      case 0x27: {  // startDrag: target, lock centre, constrain [, rectangle]
        Pop();
        Pop();
        if (ToBoolean(Pop(), version_)) { Pop(); Pop(); Pop(); Pop(); }
        break;
      }
      case 0x28: break;
      case 0x29: { const std::string b = PopString(), a = PopString(); Push(Logical(a < b)); break; }
      case 0x68: { const std::string b = PopString(), a = PopString(); Push(Logical(a > b)); break; }
      case 0x30: {
        const double max = PopNumber();
        const auto limit = std::isnan(max) || max < 1 ? 1u : static_cast<std::uint32_t>(std::min(max, 4e9));
        Push(Value::Number(static_cast<double>(player_.Random() % limit)));
        break;
      }
      case 0x32: case 0x36: {
        const std::string text = PopString();
        Push(Value::Number(text.empty() ? 0 : static_cast<unsigned char>(text[0])));
        break;
      }
      case 0x33: case 0x37: {
        const int code = ToInt32(PopNumber()) & 0xFF;
        Push(Value::String(code ? std::string(1, static_cast<char>(code)) : std::string()));
        break;
      }
      case 0x34: Push(Value::Number(std::floor(player_.Milliseconds()))); break;
      case 0x3A: {  // delete object.name
        const std::string name = PopString();
        const Value object = Pop();
        bool removed = false;
        if (object.type == Value::Type::Object && object.object) removed = object.object->Remove(name, NoCase());
        if (MovieClip* clip = ClipOf(object)) removed = clip->RemoveVariable(name);
        Push(Value::Bool(removed));
        break;
      }
      case 0x3B: {  // delete name
        const std::string name = PopString();
        bool removed = locals_ && locals_->Remove(name, NoCase());
        for (auto it = scope_.rbegin(); !removed && it != scope_.rend(); ++it) {
          if (it->type == Value::Type::Object && it->object) removed = it->object->Remove(name, NoCase());
        }
        if (!removed && target_) removed = target_->RemoveVariable(name);
        Push(Value::Bool(removed));
        break;
      }
      case 0x3C: {
        Value value = Pop();
        const std::string name = PopString();
        DefineLocal(name, value);
        break;
      }
      case 0x3D: {
        const std::string name = PopString();
        std::vector<Value> args = PopArguments();
        const Value fn = Lookup(name);
        Push(CallWithHome(fn, Value::Undefined(), std::move(args), nullptr));
        break;
      }
      case 0x3E: result_ = Pop(); stopped_ = true; break;
      case 0x3F: { const double b = PopNumber(), a = PopNumber(); Push(Value::Number(std::fmod(a, b))); break; }
      case 0x40: {  // new
        const std::string name = PopString();
        std::vector<Value> args = PopArguments();
        Push(Construct(Lookup(name), std::move(args)));
        break;
      }
      case 0x41: {
        const std::string name = PopString();
        if (locals_) {
          if (!locals_->Find(name, NoCase())) locals_->Set(name, Value::Undefined(), NoCase());
        } else if (target_ && !target_->HasVariable(name)) {
          target_->SetVariable(name, Value::Undefined());
        }
        break;
      }
      case 0x42: {  // array literal
        std::vector<Value> elements = PopArguments();
        ObjectPtr array = NewObject("Array");
        if (array) array->elements = std::move(elements);
        Push(array ? Value::Obj(array) : Value::Undefined());
        break;
      }
      case 0x43: {  // object literal
        const int n = PopCount();
        ObjectPtr object = NewObject("Object");
        for (int i = 0; i < n && !stack_.empty(); ++i) {
          Value value = Pop();
          const std::string name = PopString();
          if (object) object->Set(name, std::move(value), NoCase());
        }
        // Literal properties keep their written order.
        if (object) std::reverse(object->properties.begin(), object->properties.end());
        Push(object ? Value::Obj(object) : Value::Undefined());
        break;
      }
      case 0x44: Push(Value::String(TypeOf(Pop()))); break;
      case 0x45: {
        MovieClip* clip = ClipOf(Pop());
        Push(clip ? Value::String(clip->TargetPath()) : Value::Undefined());
        break;
      }
      case 0x46: { const std::string name = PopString(); Enumerate(Lookup(name)); break; }
      case 0x55: Enumerate(Pop()); break;
      case 0x47: {
        const Value b = Prim(Pop(), false), a = Prim(Pop(), false);
        if (a.type == Value::Type::String || b.type == Value::Type::String)
          Push(Concat(ToString(a, version_), ToString(b, version_)));
        else
          Push(Value::Number(ToNumber(a, version_) + ToNumber(b, version_)));
        break;
      }
      case 0x48: { const Value b = Pop(), a = Pop(); Push(Less2(a, b)); break; }
      case 0x49: { const Value b = Pop(), a = Pop(); Push(Value::Bool(Equals2(a, b))); break; }
      case 0x4A: Push(Value::Number(PopNumber())); break;
      case 0x4B: Push(Value::String(PopString())); break;
      case 0x4C: { const Value top = stack_.empty() ? Value::Undefined() : stack_.back(); Push(top); break; }
      case 0x4D: { const Value b = Pop(), a = Pop(); Push(b); Push(a); break; }
      case 0x4E: {
        const std::string name = PopString();
        const Value object = Pop();
        Push(GetMember(object, name));
        break;
      }
      case 0x4F: {
        const Value value = Pop();
        const std::string name = PopString();
        SetMember(Pop(), name, value);
        break;
      }
      case 0x50: Push(Value::Number(PopNumber() + 1)); break;
      case 0x51: Push(Value::Number(PopNumber() - 1)); break;
      case 0x52: case 0x53: {  // call method, new method
        const Value nameValue = Pop();
        const Value object = Pop();
        std::vector<Value> args = PopArguments();
        const std::string name = nameValue.IsUndefined() ? std::string() : Str(nameValue);
        if (op == 0x52) {
          Push(CallMethod(object, name, std::move(args)));
        } else {
          Push(Construct(name.empty() ? object : GetMember(object, name), std::move(args)));
        }
        break;
      }
      case 0x54: { const Value constructor = Pop(), object = Pop(); Push(Value::Bool(InstanceOf(object, constructor))); break; }
      case 0x60: { const int b = ToInt32(PopNumber()), a = ToInt32(PopNumber()); Push(Value::Number(a & b)); break; }
      case 0x61: { const int b = ToInt32(PopNumber()), a = ToInt32(PopNumber()); Push(Value::Number(a | b)); break; }
      case 0x62: { const int b = ToInt32(PopNumber()), a = ToInt32(PopNumber()); Push(Value::Number(a ^ b)); break; }
      case 0x63: {
        const int b = ToInt32(PopNumber()) & 31, a = ToInt32(PopNumber());
        Push(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(a) << b)));
        break;
      }
      case 0x64: { const int b = ToInt32(PopNumber()) & 31, a = ToInt32(PopNumber()); Push(Value::Number(a >> b)); break; }
      case 0x65: {
        const int b = ToInt32(PopNumber()) & 31, a = ToInt32(PopNumber());
        Push(Value::Number(static_cast<double>(static_cast<std::uint32_t>(a) >> b)));
        break;
      }
      case 0x66: {
        const Value b = Pop(), a = Pop();
        Push(Value::Bool(a.type == b.type && Equals2(a, b)));
        break;
      }
      case 0x67: { const Value b = Pop(), a = Pop(); Push(Less2(b, a)); break; }
      case 0x69: {  // extends
        const Value superclass = Pop(), subclass = Pop();
        if (subclass.type != Value::Type::Object || !subclass.object || superclass.type != Value::Type::Object || !superclass.object) break;
        const Value superProto = GetChain(*superclass.object, "prototype", false);
        ObjectPtr prototype = rt_.Make(Object::Kind::Plain, superProto.type == Value::Type::Object ? superProto.object : rt_.objectProto);
        if (!prototype) break;
        prototype->Set("__constructor__", superclass, false);
        prototype->Set("constructor", subclass, false);
        subclass.object->Set("prototype", Value::Obj(prototype), false);
        break;
      }
      case 0x2A: Throw(Pop(), pos); break;
      case 0x2B: { const Value object = Pop(), constructor = Pop(); Push(InstanceOf(object, constructor) ? object : Value::Null()); break; }
      case 0x2C: {  // implements: the class's prototype remembers the interfaces' prototypes
        const Value constructor = Pop();
        const int n = PopCount();
        ObjectPtr prototype;
        if (constructor.type == Value::Type::Object && constructor.object) {
          const Value p = GetChain(*constructor.object, "prototype", false);
          if (p.type == Value::Type::Object) prototype = p.object;
        }
        for (int i = 0; i < n && !stack_.empty(); ++i) {
          const Value face = Pop();
          if (!prototype || face.type != Value::Type::Object || !face.object || prototype->interfaces.size() >= 64) continue;
          const Value p = GetChain(*face.object, "prototype", false);
          if (p.type == Value::Type::Object && p.object && p.object != prototype) prototype->interfaces.push_back(p.object);
        }
        break;
      }
      case 0x2D: PopArguments(); Push(Value::Undefined()); break;                 // fscommand2
      case 0x81: if (target_) target_->GotoFrame(in.U16(), false); break;
      case 0x83: { const std::string url = in.String(); GetUrl(url, in.String()); break; }
      case 0x87: {
        const std::uint8_t reg = in.U8();
        registers_[reg] = stack_.empty() ? Value::Undefined() : stack_.back();
        break;
      }
      case 0x88: {
        constants_.clear();
        const std::uint16_t count = in.U16();
        for (int i = 0; i < count && !in.AtEnd(); ++i) constants_.push_back(in.String());
        break;
      }
      case 0x8A: break;  // wait for frame: every frame is loaded
      case 0x8B: {
        const std::string path = in.String();
        SetTarget(path.empty() ? &origin_ : ResolveTarget(origin_, path));
        break;
      }
      case 0x8C: {
        const std::string label = in.String();
        if (target_ && target_->GetTimeline()) {
          const int frame = target_->GetTimeline()->FindLabel(label);
          if (frame >= 0) target_->GotoFrame(frame, false);
        }
        break;
      }
      case 0x8D: Pop(); break;  // wait for frame: loaded
      case 0x8E: DefineFunction(code, pos, in, true); break;
      case 0x9B: DefineFunction(code, pos, in, false); break;
      case 0x8F: {  // try: the catch runs only when the try block throws
        TryFrame frame;
        const std::uint8_t flags = in.U8();
        const std::uint16_t trySize = in.U16(), catchSize = in.U16(), finallySize = in.U16();
        frame.toRegister = (flags & 4) != 0;
        if (frame.toRegister) frame.reg = in.U8();
        else frame.name = in.String();
        frame.tryEnd = std::min(code.size(), pos + trySize);
        frame.catchEnd = std::min(code.size(), frame.tryEnd + ((flags & 1) ? catchSize : 0));
        frame.finallyEnd = std::min(code.size(), frame.catchEnd + finallySize);
        if (tries_.size() < 64) tries_.push_back(frame);
        break;
      }
      case 0x94: {  // with
        const Value object = Pop();
        const std::size_t end = std::min(code.size(), pos + in.U16());
        if (withEnds_.size() < 16 && (object.type == Value::Type::Object || object.type == Value::Type::Clip)) {
          scope_.push_back(object);
          withEnds_.push_back(end);
        }
        break;
      }
      case 0x96:
        while (!in.AtEnd()) {
          const std::uint8_t type = in.U8();
          Value value;
          switch (type) {
            case 0: value = Value::String(in.String()); break;
            case 1: value = Value::Number(in.Float()); break;
            case 2: value = Value::Null(); break;
            case 3: value = Value::Undefined(); break;
            case 4: value = registers_[in.U8()]; break;
            case 5: value = Value::Bool(in.U8() != 0); break;
            case 6: value = Value::Number(in.Double()); break;
            case 7: value = Value::Number(static_cast<std::int32_t>(in.U32())); break;
            case 8: case 9: {
              const std::uint16_t index = type == 8 ? in.U8() : in.U16();
              value = index < constants_.size() ? Value::String(constants_[index]) : Value::Undefined();
              break;
            }
            default: stopped_ = true; break;
          }
          if (stopped_ || !Push(std::move(value))) break;
        }
        break;
      case 0x99: {
        const auto offset = static_cast<std::int16_t>(in.U16());
        const auto next = static_cast<std::ptrdiff_t>(pos) + offset;
        if (next < 0 || next > static_cast<std::ptrdiff_t>(code.size())) return;
        pos = static_cast<std::size_t>(next);
        break;
      }
      case 0x9A: {
        const std::uint8_t flags = in.U8();
        const std::string target = PopString();
        const std::string url = PopString();
        (void)flags;
        GetUrl(url, target);
        break;
      }
      case 0x9D: {
        const auto offset = static_cast<std::int16_t>(in.U16());
        if (!ToBoolean(Pop(), version_)) break;
        const auto next = static_cast<std::ptrdiff_t>(pos) + offset;
        if (next < 0 || next > static_cast<std::ptrdiff_t>(code.size())) return;
        pos = static_cast<std::size_t>(next);
        break;
      }
      case 0x9E: CallFrame(Pop()); break;
      case 0x9F: {
        const std::uint8_t flags = in.U8();
        const int bias = (flags & 2) ? in.U16() : 0;
        GotoFrameValue(target_, Pop(), (flags & 1) != 0, bias);
        break;
      }
      default: break;  // actions of later players: skipped
    }
    if (stack_.size() >= kMaxStack) break;
  }
}

}  // namespace

void RunActions(MovieClip& clip, std::span<const std::uint8_t> code) {
  Interpreter interpreter(clip, 0);
  interpreter.Run(code);
}

void CallMethod(MovieClip& clip, const Value& object, const std::string& name, std::vector<Value> args) {
  Interpreter interpreter(clip, 0);
  const Value fn = interpreter.Member(object, name);
  if (fn.type != Value::Type::Object || !fn.object || !fn.object->IsFunction()) return;
  interpreter.CallMethodOf(object, name, std::move(args));
}

bool Broadcast(MovieClip& clip, const Value& source, const std::string& event, std::vector<Value> args) {
  Interpreter interpreter(clip, 0);
  const Value listeners = interpreter.Member(source, "_listeners");
  if (listeners.type != Value::Type::Object || !listeners.object || listeners.object->kind != Object::Kind::Array)
    return false;
  // A listener may remove itself (or others) while it runs: walk a copy.
  const std::vector<Value> targets = listeners.object->elements;
  for (const Value& target : targets) {
    const Value fn = interpreter.Member(target, event);
    if (fn.type == Value::Type::Object && fn.object && fn.object->IsFunction()) interpreter.CallMethodOf(target, event, args);
  }
  return true;
}

void CallHandler(MovieClip& clip, const std::string& name) {
  if (!clip.HasVariable(name)) return;
  const Value handler = clip.GetVariable(name);
  if (handler.type != Value::Type::Object || !handler.object || !handler.object->IsFunction()) return;
  Interpreter interpreter(clip, 0);
  interpreter.Call(handler, Value::Clip(clip.TargetPath()), {});
}

MovieClip* ResolveTarget(MovieClip& clip, const std::string& path) {
  MovieClip* at = &clip;
  std::size_t pos = 0;
  if (!path.empty() && path[0] == '/') {
    at = &RootOf(clip);
    pos = 1;
  }
  // Each step consumes at least one character, so the walk ends with the path.
  while (pos < path.size()) {
    std::size_t end = path.find_first_of("./", pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    // ".." is the parent in slash syntax.
    if (part.empty() && end < path.size() && path[end] == '.' && end + 1 < path.size() && path[end + 1] == '.') {
      part = "..";
      end += 1;
    }
    pos = end + 1;
    if (part.empty()) continue;
    const std::string lower = Lower(part);
    if (lower == "_root" || lower == "_level0") {
      at = &RootOf(*at);
    } else if (lower == "_parent" || lower == "..") {
      at = at->Parent();
    } else if (lower == "this") {
      // stays
    } else {
      at = at->FindChild(part);
    }
    if (!at) return nullptr;
  }
  return at;
}

int PropertyIndex(const std::string& name) {
  static const char* const kNames[] = {"_x",        "_y",         "_xscale",     "_yscale",       "_currentframe",
                                       "_totalframes", "_alpha",  "_visible",    "_width",        "_height",
                                       "_rotation", "_target",    "_framesloaded", "_name",       "_droptarget",
                                       "_url",      "_highquality", "_focusrect", "_soundbuftime", "_quality",
                                       "_xmouse",   "_ymouse"};
  const std::string lower = Lower(name);
  for (int i = 0; i < 22; ++i) {
    if (lower == kNames[i]) return i;
  }
  return -1;
}

Value GetProperty(MovieClip& clip, int index) {
  DisplayObject* object = clip.Owner();
  if (!object) return Value::Undefined();
  const Matrix& m = object->matrix;
  auto& hooks = clip.Player().Hooks();
  switch (index) {
    case 0: return Value::Number(m.tx / 20.0);
    case 1: return Value::Number(m.ty / 20.0);
    case 2: return Value::Number(ScaleX(m) * 100.0);
    case 3: return Value::Number(ScaleY(m) * 100.0);
    case 4: return Value::Number(clip.CurrentFrame() + 1);
    case 5: return Value::Number(clip.TotalFrames());
    case 6: return Value::Number(object->colorTransform.mulA * 100.0);
    case 7: return Value::Bool(object->visible);
    case 8:
    case 9: {
      const Matrix& own = object->matrix;
      const QRectF inner = ClipBounds(clip);
      const QRectF outer = QTransform(own.a, own.b, own.c, own.d, own.tx, own.ty).mapRect(inner);
      return Value::Number((index == 8 ? outer.width() : outer.height()) / 20.0);
    }
    case 10: return Value::Number(RotationDegrees(m));
    case 11: {
      std::string path;
      for (const MovieClip* at = &clip; at && at->Parent(); at = at->Parent())
        path = "/" + (at->Owner() ? at->Owner()->name : std::string()) + path;
      return Value::String(path.empty() ? "/" : path);
    }
    case 12: return Value::Number(clip.TotalFrames());
    case 13: return Value::String(object->name);
    case 14: return Value::String("");
    case 15: return Value::String("");
    case 16: return Value::Number(hooks.getQuality && hooks.getQuality() == "Low" ? 0 : 1);
    case 17: return Value::Bool(true);
    case 18: return Value::Number(5);
    case 19: {
      std::string quality = hooks.getQuality ? hooks.getQuality() : std::string("High");
      if (quality == "AutoHigh") quality = "High";
      if (quality == "AutoLow") quality = "Low";
      for (char& c : quality) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return Value::String(quality);
    }
    case 20:
    case 21: {
      // The pointer in the clip's own coordinates, in pixels.
      bool invertible = false;
      const QTransform toLocal = ClipToStage(clip).inverted(&invertible);
      if (!invertible) return Value::Number(0);
      const QPointF local = toLocal.map(clip.Player().MousePosition());
      return Value::Number(std::nearbyint(index == 20 ? local.x() : local.y()) / 20.0);
    }
    default: return Value::Undefined();
  }
}

void SetProperty(MovieClip& clip, int index, const Value& value) {
  DisplayObject* object = clip.Owner();
  if (!object) return;
  const int version = clip.Player().SwfVersion();
  const double number = ToNumber(value, version);
  Matrix& m = object->matrix;
  auto& hooks = clip.Player().Hooks();
  const bool finite = std::isfinite(number);
  switch (index) {
    case 0: if (finite) m.tx = std::round(number * 20.0); break;
    case 1: if (finite) m.ty = std::round(number * 20.0); break;
    case 2: if (finite) SetScaleRotation(m, number / 100.0, ScaleY(m), RotationDegrees(m)); break;
    case 3: if (finite) SetScaleRotation(m, ScaleX(m), number / 100.0, RotationDegrees(m)); break;
    case 6: if (finite) object->colorTransform.mulA = number / 100.0; break;
    case 7: object->visible = ToBoolean(value, version); break;
    case 8:
    case 9: {
      if (!finite || number < 0) break;
      const QRectF inner = ClipBounds(clip);
      const double current = (index == 8 ? inner.width() : inner.height()) / 20.0;
      if (current <= 0) break;
      if (index == 8)
        SetScaleRotation(m, number / current, ScaleY(m), RotationDegrees(m));
      else
        SetScaleRotation(m, ScaleX(m), number / current, RotationDegrees(m));
      break;
    }
    case 10: if (finite) SetScaleRotation(m, ScaleX(m), ScaleY(m), std::fmod(number, 360.0)); break;
    case 13: object->name = ToString(value, version); break;
    case 16: if (hooks.setQuality) hooks.setQuality(ToBoolean(value, version) ? "High" : "Low"); break;
    case 19: {
      const std::string name = Lower(ToString(value, version));
      if (!hooks.setQuality) break;
      if (name == "low") hooks.setQuality("Low");
      else if (name == "medium") hooks.setQuality("Medium");
      else if (name == "high" || name == "best") hooks.setQuality("High");
      break;
    }
    default: break;  // read-only or not kept
  }
}

namespace {

// Splits "path:name" and "path.name" into the clip and the name; false when the path
// names no clip.
bool SplitVariablePath(MovieClip& scope, const std::string& path, MovieClip*& clip, std::string& name) {
  clip = &scope;
  name = path;
  auto split = path.rfind(':');
  if (split == std::string::npos) split = path.rfind('.');
  if (split == std::string::npos) return true;
  clip = ResolveTarget(scope, path.substr(0, split));
  name = path.substr(split + 1);
  return clip != nullptr;
}

}  // namespace

Value GetVariable(MovieClip& scope, const std::string& path) {
  MovieClip* clip = nullptr;
  std::string name;
  if (!SplitVariablePath(scope, path, clip, name)) return Value::Undefined();
  const std::string lower = Lower(name);
  if (lower == "_root" || lower == "_level0" || lower == "_parent" || lower == "this") {
    MovieClip* named = ResolveTarget(*clip, name);
    return named ? Value::Clip(named->TargetPath()) : Value::Undefined();
  }
  if (!name.empty() && name[0] == '_') {
    const int index = PropertyIndex(name);
    if (index >= 0) return GetProperty(*clip, index);
  }
  if (clip->HasVariable(name)) return clip->GetVariable(name);
  // Named children are members of their timeline.
  if (MovieClip* child = clip->FindChild(name)) return Value::Clip(child->TargetPath());
  return Value::Undefined();
}

void SetVariable(MovieClip& scope, const std::string& path, const Value& value) {
  MovieClip* clip = nullptr;
  std::string name;
  if (!SplitVariablePath(scope, path, clip, name) || name.empty()) return;
  if (name[0] == '_') {
    const int index = PropertyIndex(name);
    if (index >= 0) {
      SetProperty(*clip, index, value);
      return;
    }
  }
  clip->SetVariable(name, value);
}

}  // namespace vantrel::flash::avm1
