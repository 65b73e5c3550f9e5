// What the interpreter's loop and the action functions (actions_*.cpp) share: the
// activation record of a running block or function, its try and with blocks, the
// reader of an action's payload and the stack's push and pop.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "flash/avm1/interpreter.h"
#include "flash/avm1/object.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

using script::CodePointLess;
using script::CodeUnitToString;
using script::FirstCodeUnit;
using script::Utf16Extract;
using script::Utf16Length;

// Strings of one ConstantPool action, made once and kept for as long as the block.
struct Pool {
  std::vector<const String*> cells;
};

struct TryBlock {
  std::size_t tryEnd = 0, catchEnd = 0, finallyEnd = 0;
  bool hasCatch = false, hasFinally = false;
  bool catchInRegister = false;
  std::uint8_t catchRegister = 0;
  std::string catchName;
  enum class State { Try, Catch, Finally } state = State::Try;
  bool rethrow = false;
  bool returning = false;  // a return inside try or catch waits for the finally block
  Value pending;
  std::size_t stackDepth = 0;
  std::size_t scopeDepth = 0;
};

struct WithBlock {
  std::size_t end = 0;
};

struct Interpreter::Frame {
  ActionBlock block;
  const std::uint8_t* code = nullptr;
  std::size_t pc = 0, end = 0;
  int version = 8;
  std::shared_ptr<const Pool> pool;
  Value thisValue;
  Object* callee = nullptr;
  Object* locals = nullptr;     // the activation of a function; null at a block's top level
  std::vector<Object*> scope;   // [0] _global, [1] the timeline, then closures and withs
  Object* target = nullptr;     // the timeline the timeline actions act on
  Object* originalTarget = nullptr;
  Object* superBase = nullptr;  // where the running method was found (super looks above)
  bool superBaseIsHolder = false;
  bool thisHidden = false;  // a function that preloads or suppresses `this` has no variable of that name
  std::vector<Value> registers;
  std::size_t stackBase = 0;
  std::vector<TryBlock> tries;
  std::vector<WithBlock> withs;
  bool construct = false;
  Object* newObject = nullptr;
  bool pushResult = false;  // the caller is a frame of the same run waiting for the result
  bool targetRestored = false;  // SetTarget("") ran in this frame
  bool targetLost = false;      // the last SetTarget named nothing (the root stands in)
  // A call or construction ran from this frame: when the clip it runs for has been
  // removed meanwhile, the frame ends there.
  bool callMade = false;
  // A frame's own action block run by the player (not by a script): what it leaves on
  // the stack stays there for the next such block of the same frame.
  bool carriesStack = false;
};

// The pools and literal strings of every block run so far, by the address of their
// bytes; the blocks stay alive as long as the entry does.
struct StringCache {
  std::unordered_map<const std::uint8_t*, std::shared_ptr<Pool>> pools;
  std::unordered_map<const std::uint8_t*, const String*> literals;
  std::vector<ActionBlock> pinned;
  std::unordered_map<const void*, bool> pinnedSet;
  void Pin(const ActionBlock& block) {
    if (block && pinnedSet.emplace(block.get(), true).second) pinned.push_back(block);
  }
};

class ActionReader {
 public:
  ActionReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  std::size_t Pos() const { return pos_; }
  std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  std::string_view StringView() {
    const std::size_t start = pos_;
    while (pos_ < size_ && data_[pos_] != 0) ++pos_;
    const std::string_view text(reinterpret_cast<const char*>(data_ + start), pos_ - start);
    if (pos_ < size_) ++pos_;
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
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// What an action's function sees: the frame it runs in, its payload and where it sits.
struct Interpreter::Step {
  Frame& frame;
  ActionReader r;             // the payload (empty for actions below 0x80)
  const std::uint8_t* code;   // the frame's code
  std::size_t at;             // where the action starts in it
  std::size_t length;         // the payload's length
  std::size_t base;           // frames below this index belong to outer runs
  Value& runResult;           // what the run gives back once its first frame returns
  bool finished = false;      // Return left the run: the loop hands runResult back
};

inline bool HasPathCharacters(std::string_view name) {
  for (const char c : name) {
    if (c == ':' || c == '/' || c == '.') return true;
  }
  return false;
}

class SuperData final : public NativeData {
 public:
  Value thisValue;
  Object* base = nullptr;
  // base is where the running method was found, not the prototype of `this`: super()
  // then looks above it.
  bool baseIsHolder = false;
  // How many prototype links above `this` base stood when the function started (-1
  // when it is not on that chain). The player counts super's place this way, so a
  // method that gives `this` another __proto__ finds its base class on the new chain.
  int depth = -1;
  Object* Base() const {
    Object* at = thisValue.AsObject();
    if (depth < 0 || !at) return base;
    for (int i = 0; i < depth && at; ++i) at = at->proto;
    return at;
  }
  void Trace(gc::Tracer& tracer) const override {
    TraceValue(tracer, thisValue);
    tracer.Mark(base);
  }
};

inline void Interpreter::Push(const Value& v) {
  if (stack_.size() < kMaxStack) stack_.push_back(v);
}

inline Value Interpreter::Pop() {
  Frame& frame = *frames_.back();
  if (stack_.size() <= frame.stackBase) return Value();
  const Value v = stack_.back();
  stack_.pop_back();
  return v;
}

}  // namespace vantrel::flash::avm1
