#include "flash/avm1.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "flash/movie_clip.h"
#include "flash/movie_player.h"

#include <QTransform>

namespace vantrel::flash::avm1 {

namespace {

constexpr std::size_t kMaxStack = 65536;
constexpr int kMaxCallDepth = 16;
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

class Interpreter {
 public:
  Interpreter(MovieClip& clip, int callDepth)
      : origin_(clip), target_(&clip), held_(clip.shared_from_this()), player_(clip.Player()), version_(clip.Player().SwfVersion()),
        callDepth_(callDepth) {}

  void Run(std::span<const std::uint8_t> code);

 private:
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
  double PopNumber() { return ToNumber(Pop(), version_); }
  std::string PopString() { return ToString(Pop(), version_); }
  Value Logical(bool b) const { return version_ < 5 ? Value::Number(b ? 1 : 0) : Value::Bool(b); }
  void PopArguments() {
    const double count = PopNumber();
    const int n = std::isnan(count) ? 0 : static_cast<int>(std::clamp(count, 0.0, static_cast<double>(kMaxStack)));
    for (int i = 0; i < n && !stack_.empty(); ++i) Pop();
  }

  // a + b, or undefined (and the block stops) when the text would pass kMaxString.
  Value Concat(const std::string& a, const std::string& b) {
    if (a.size() + b.size() > kMaxString) {
      stopped_ = true;
      return Value::Undefined();
    }
    return Value::String(a + b);
  }

  void GotoFrameValue(const Value& frame, bool play, int bias);
  bool Equals2(const Value& a, const Value& b) const;
  Value Less2(const Value& a, const Value& b) const;
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
  int version_;
  int callDepth_;
  std::vector<Value> stack_;
  std::vector<std::string> constants_;
  std::array<Value, 256> registers_{};
  bool stopped_ = false;
};

void Interpreter::GetUrl(const std::string& url, const std::string& target) {
  if (StartsWithNoCase(url, "FSCommand:")) {
    if (player_.Hooks().fsCommand) player_.Hooks().fsCommand(url.substr(10), target);
    return;
  }
  if (player_.Hooks().getUrl) player_.Hooks().getUrl(url, target);
}

void Interpreter::GotoFrameValue(const Value& frame, bool play, int bias) {
  MovieClip* clip = target_;
  if (!clip || !clip->GetTimeline()) return;
  if (frame.type == Value::Type::String) {
    std::string text = frame.string;
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
      clip = ResolveTarget(*target_, text.substr(0, colon));
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
  const double number = ToNumber(frame, version_);
  if (std::isnan(number)) return;
  const int index = ToIndex(number) - 1 + bias;
  clip->GotoFrame(std::max(index, 0), play);
}

void Interpreter::CallFrame(const Value& frame) {
  MovieClip* clip = target_;
  if (!clip || !clip->GetTimeline() || callDepth_ >= kMaxCallDepth) return;
  int index = -1;
  std::string text = ToString(frame, version_);
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
    nested.Run(*block);
  }
}

bool Interpreter::Equals2(const Value& a, const Value& b) const {
  using T = Value::Type;
  if (a.type == b.type) {
    switch (a.type) {
      case T::Undefined:
      case T::Null: return true;
      case T::Boolean: return a.boolean == b.boolean;
      case T::Number: return a.number == b.number;
      case T::String:
      case T::Clip: return a.string == b.string;
    }
  }
  if ((a.type == T::Undefined || a.type == T::Null) && (b.type == T::Undefined || b.type == T::Null)) return true;
  if (a.type == T::Undefined || a.type == T::Null || b.type == T::Undefined || b.type == T::Null) return false;
  return ToNumber(a, version_) == ToNumber(b, version_);
}

Value Interpreter::Less2(const Value& a, const Value& b) const {
  if (a.type == Value::Type::String && b.type == Value::Type::String) return Value::Bool(a.string < b.string);
  const double x = ToNumber(a, version_);
  const double y = ToNumber(b, version_);
  if (std::isnan(x) || std::isnan(y)) return Value::Undefined();
  return Value::Bool(x < y);
}

void Interpreter::Run(std::span<const std::uint8_t> code) {
  std::size_t pos = 0;
  std::size_t skipFrom = SIZE_MAX, skipTo = 0;  // a try block's catch, stepped over
  long& shared = player_.InstructionBudget();
  for (int budget = kMaxInstructions; budget > 0 && shared > 0 && pos < code.size() && !stopped_; --budget, --shared) {
    if (pos == skipFrom) {
      pos = skipTo;
      skipFrom = SIZE_MAX;
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
      case 0x18: { const double n = PopNumber(); Push(Value::Number(std::isnan(n) ? 0 : std::trunc(n))); break; }
      case 0x1C: { const std::string name = PopString(); Push(target_ ? GetVariable(*target_, name) : Value::Undefined()); break; }
      case 0x1D: {
        Value value = Pop();
        const std::string name = PopString();
        if (target_) SetVariable(*target_, name, value);
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
        const std::string text = value.IsUndefined() ? "undefined" : ToString(value, version_);
        if (player_.Hooks().trace) player_.Hooks().trace(text);
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
      case 0x3A: Pop(); Pop(); Push(Value::Bool(true)); break;  // delete
      case 0x3B: Pop(); Push(Value::Bool(true)); break;         // delete2
      case 0x3C: {
        Value value = Pop();
        const std::string name = PopString();
        if (target_) SetVariable(*target_, name, value);
        break;
      }
      case 0x3D: Pop(); PopArguments(); Push(Value::Undefined()); break;          // call function
      case 0x3E: stopped_ = true; break;                                          // return
      case 0x3F: { const double b = PopNumber(), a = PopNumber(); Push(Value::Number(std::fmod(a, b))); break; }
      case 0x40: Pop(); PopArguments(); Push(Value::Undefined()); break;          // new object
      case 0x41: {
        const std::string name = PopString();
        if (target_ && !target_->HasVariable(name)) target_->SetVariable(name, Value::Undefined());
        break;
      }
      case 0x42: PopArguments(); Push(Value::Undefined()); break;                 // array literal
      case 0x43: {                                                                // object literal
        const double count = PopNumber();
        const int n = std::isnan(count) ? 0 : static_cast<int>(std::clamp(count, 0.0, 32768.0));
        for (int i = 0; i < 2 * n && !stack_.empty(); ++i) Pop();
        Push(Value::Undefined());
        break;
      }
      case 0x44: Push(Value::String(TypeOf(Pop()))); break;
      case 0x45: Pop(); Push(Value::Undefined()); break;                          // target path
      case 0x46: case 0x55: Pop(); Push(Value::Null()); break;                    // enumerate: nothing
      case 0x47: {
        const Value b = Pop(), a = Pop();
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
      case 0x4E: Pop(); Pop(); Push(Value::Undefined()); break;                   // get member
      case 0x4F: Pop(); Pop(); Pop(); break;                                      // set member
      case 0x50: Push(Value::Number(PopNumber() + 1)); break;
      case 0x51: Push(Value::Number(PopNumber() - 1)); break;
      case 0x52: case 0x53: Pop(); Pop(); PopArguments(); Push(Value::Undefined()); break;  // methods
      case 0x54: Pop(); Pop(); Push(Value::Bool(false)); break;                   // instanceof
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
      case 0x69: Pop(); Pop(); break;                                             // extends
      case 0x2A: stopped_ = true; break;                                          // throw
      case 0x2B: Pop(); Pop(); Push(Value::Null()); break;                        // cast
      case 0x2C: Pop(); PopArguments(); break;                                    // implements
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
      case 0x8E: {              // function definitions are not run by this core: step over the body
        const std::string name = in.String();
        const std::uint16_t params = in.U16();
        in.U8();
        in.U16();
        for (int i = 0; i < params && !in.AtEnd(); ++i) {
          in.U8();
          in.String();
        }
        pos = std::min(code.size(), pos + in.U16());
        if (name.empty()) Push(Value::Undefined());
        break;
      }
      case 0x9B: {
        const std::string name = in.String();
        const std::uint16_t params = in.U16();
        for (int i = 0; i < params && !in.AtEnd(); ++i) in.String();
        pos = std::min(code.size(), pos + in.U16());
        if (name.empty()) Push(Value::Undefined());
        break;
      }
      case 0x8F: {  // try: run the try and finally blocks, step over catch
        const std::uint8_t flags = in.U8();
        const std::uint16_t trySize = in.U16(), catchSize = in.U16();
        in.U16();
        (void)flags;
        skipFrom = pos + trySize;
        skipTo = skipFrom + catchSize;
        break;
      }
      case 0x94: Pop(); break;  // with: the body runs in the current scope
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
        GotoFrameValue(Pop(), (flags & 1) != 0, bias);
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
    case 21: return Value::Number(0);
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
