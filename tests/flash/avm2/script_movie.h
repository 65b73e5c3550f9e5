// ActionScript 3 code written a piece at a time and run as the first frame of a movie
// in the player, for tests of the classes that need the player (display list, events,
// text fields). The script's scope is set up on entry; locals 1 to 4, 6 and 7 are free,
// local 5 holds a caught error.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "abc_writer.h"
#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace vantrel::testing {

// An operand: a local register, a small integer, a string, null or a boolean.
struct Arg {
  enum Kind { kLocal, kInt, kStr, kNull, kBool } kind = kNull;
  std::int32_t i = 0;
  std::string s;
};
inline Arg L(int local) { return {Arg::kLocal, local, {}}; }
inline Arg I(std::int32_t v) { return {Arg::kInt, v, {}}; }
inline Arg S(std::string s) { return {Arg::kStr, 0, std::move(s)}; }
inline Arg Null() { return {}; }
inline Arg B(bool v) { return {Arg::kBool, v ? 1 : 0, {}}; }

struct Code {
  explicit Code(AbcWriter& writer) : w(writer) {
    bytes.push_back(0xD0);  // getlocal0
    bytes.push_back(0x30);  // pushscope
  }
  AbcWriter& w;
  AbcWriter::Bytes bytes;
  std::vector<std::array<std::uint32_t, 5>> handlers;

  Code& Op(std::initializer_list<std::uint8_t> ops) {
    bytes.insert(bytes.end(), ops);
    return *this;
  }
  Code& OpName(std::uint8_t op, std::uint32_t name) {
    bytes.push_back(op);
    AbcWriter::U30(bytes, name);
    return *this;
  }
  Code& Call(std::uint8_t op, std::uint32_t name, std::uint32_t argc) {
    OpName(op, name);
    AbcWriter::U30(bytes, argc);
    return *this;
  }
  // pushbyte for small numbers, pushint (from the pool) for others.
  Code& Int(std::int32_t v) {
    if (v >= -128 && v < 128) return Op({0x24, static_cast<std::uint8_t>(v)});
    return OpName(0x2D, w.Int(v));
  }
  Code& Str(const std::string& s) { return OpName(0x2C, w.String(s)); }
  Code& Push(const Arg& a) {
    switch (a.kind) {
      case Arg::kLocal: return a.i < 4 ? Op({static_cast<std::uint8_t>(0xD0 + a.i)}) : Op({0x62, static_cast<std::uint8_t>(a.i)});
      case Arg::kInt: return Int(a.i);
      case Arg::kStr: return Str(a.s);
      case Arg::kBool: return Op({static_cast<std::uint8_t>(a.i ? 0x26 : 0x27)});
      case Arg::kNull: return Op({0x20});
    }
    return *this;
  }
  Code& SetLocal(int local) {
    return local < 4 ? Op({static_cast<std::uint8_t>(0xD4 + local)}) : Op({0x63, static_cast<std::uint8_t>(local)});
  }
  // local = new package.name(args)
  Code& New(const std::string& package, const std::string& name, std::uint8_t local, std::vector<Arg> args = {}) {
    const std::uint32_t cls = w.PackageName(package, name);
    OpName(0x5D, cls);  // findpropstrict
    for (const Arg& a : args) Push(a);
    return Call(0x4A, cls, static_cast<std::uint32_t>(args.size())).SetLocal(local);
  }
  // object.method(args), the result dropped.
  Code& Do(const Arg& object, const std::string& method, std::vector<Arg> args = {}) {
    Push(object);
    for (const Arg& a : args) Push(a);
    return Call(0x4F, w.Name(method), static_cast<std::uint32_t>(args.size()));
  }
  // local = object.method(args)
  Code& Keep(std::uint8_t local, const Arg& object, const std::string& method, std::vector<Arg> args = {}) {
    Push(object);
    for (const Arg& a : args) Push(a);
    return Call(0x46, w.Name(method), static_cast<std::uint32_t>(args.size())).SetLocal(local);
  }
  // trace(object.method(args))
  Code& TraceCall(const Arg& object, const std::string& method, std::vector<Arg> args = {}) {
    const std::uint32_t trace = w.Name("trace");
    OpName(0x5D, trace).Push(object);
    for (const Arg& a : args) Push(a);
    return Call(0x46, w.Name(method), static_cast<std::uint32_t>(args.size())).Call(0x4F, trace, 1);
  }
  // object.property = value
  Code& Set(const Arg& object, const std::string& property, const Arg& value) {
    return Push(object).Push(value).OpName(0x61, w.Name(property));
  }
  // trace(object.a.b...) for the dotted path
  Code& Trace(const Arg& object, const std::string& path = "") {
    const std::uint32_t trace = w.Name("trace");
    OpName(0x5D, trace).Push(object);
    for (std::size_t start = 0; start < path.size();) {
      const std::size_t dot = std::min(path.find('.', start), path.size());
      OpName(0x66, w.Name(path.substr(start, dot - start)));
      start = dot + 1;
    }
    return Call(0x4F, trace, 1);
  }
  // object.graphics.method(ints)
  Code& Draw(std::uint8_t local, const std::string& method, std::initializer_list<std::int32_t> args) {
    Push(L(local)).OpName(0x66, w.Name("graphics"));
    for (std::int32_t v : args) Int(v);
    return Call(0x4F, w.Name(method), static_cast<std::uint32_t>(args.size()));
  }
  // try { body } catch (e) { trace(e) }: the error's text is traced and the code goes on.
  Code& TryTrace(const std::function<void(Code&)>& body) {
    const auto from = static_cast<std::uint32_t>(bytes.size());
    body(*this);
    const auto to = static_cast<std::uint32_t>(bytes.size());
    Op({0x10, 0, 0, 0});  // jump over the handler
    const auto target = static_cast<std::uint32_t>(bytes.size());
    SetLocal(5).Op({0xD0, 0x30}).Trace(L(5));
    const auto skip = static_cast<std::int32_t>(bytes.size() - target);
    bytes[to + 1] = static_cast<std::uint8_t>(skip);
    bytes[to + 2] = static_cast<std::uint8_t>(skip >> 8);
    bytes[to + 3] = static_cast<std::uint8_t>(skip >> 16);
    handlers.push_back({from, to, target, 0, 0});
    return *this;
  }
};

// FileAttributes (ActionScript 3) and a DoABC tag named name holding the writer's code.
inline Bytes AbcTags(AbcWriter& w, const std::string& name = "test") {
  Bytes body;
  PutU32(body, 0);
  PutString(body, name);
  PutBytes(body, w.Finish());
  Bytes tags = FileAttributes(true);
  PutBytes(tags, Tag(82, body));
  return tags;
}

// Loads a 100 x 100 movie of tags (frames long, SWF 10) in a control of that size when
// sized, hands the control to input, ticks it ticks times; the lines it traced.
inline std::vector<std::string> TracedRun(const Bytes& tags, int frames, bool sized,
                                          const std::function<void(flash::FlashControl&)>& input, int ticks) {
  flash::FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  if (sized) control.SetSize(100, 100);
  EXPECT_TRUE(control.LoadMovieData(MakeMovie(tags, 100, 100, frames, 10)));
  if (input) input(control);
  for (int i = 0; i < ticks; ++i) control.Tick();
  return lines;
}

// Runs the code as the first frame of an ActionScript 3 movie; its trace lines (an
// error no one caught shows among them, as the player prints it).
// input, when given, is handed the control after the first frame (the movie's pixels
// map one to one to the control's).
inline std::vector<std::string> RunMovie(AbcWriter& w, Code& code, int frames = 1,
                                         const std::function<void(flash::FlashControl&)>& input = {}) {
  code.Op({0x47});  // returnvoid
  w.Script(w.Method(code.bytes, code.handlers, 8));
  Bytes tags = AbcTags(w);
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return TracedRun(tags, 1, static_cast<bool>(input), input, frames);
}

// The code runs in the constructor of the document class (a MovieClip, the root), so
// local 0 is the root; the stage is kept in local 7. input is played after the first
// frame on a 100 x 100 movie. extra: tags after the code, before the first ShowFrame of
// the movie's frames.
inline std::vector<std::string> RunDocument(AbcWriter& w, Code& code,
                                            const std::function<void(flash::FlashControl&)>& input = {},
                                            const Bytes& extra = {}, int frames = 1) {
  code.Op({0x47});
  const std::uint32_t sprite = w.PackageName("flash.display", "MovieClip");
  const std::uint32_t name = w.Name("Test");
  // The constructor: super(), then the code (after the getlocal0/pushscope it starts with).
  Bytes ctor = {0xD0, 0x30, 0xD0, 0x49, 0x00};
  ctor.insert(ctor.end(), code.bytes.begin() + 2, code.bytes.end());
  // The exception handlers move with the code (three bytes on).
  std::vector<std::array<std::uint32_t, 5>> handlers = code.handlers;
  for (auto& h : handlers)
    for (int i = 0; i < 3; ++i) h[i] += 3;
  const std::uint32_t iinit = w.Method(ctor, handlers, 8);
  const std::uint32_t cinit = w.Method({0x47});
  const std::uint32_t cls = w.Class({name, sprite, 0x01, {}, iinit, cinit, {}, {}});
  Bytes init = {0xD0, 0x30, 0x65, 0x00, 0x60};  // getlocal0 pushscope getscopeobject 0 getlex MovieClip
  AbcWriter::U30(init, sprite);
  init.push_back(0x58);  // newclass
  AbcWriter::U30(init, cls);
  init.push_back(0x68);  // initproperty Test
  AbcWriter::U30(init, name);
  init.push_back(0x47);
  w.Script(w.Method(init), {});
  w.scriptClasses[static_cast<std::uint32_t>(w.scripts.size() - 1)] = {{name, 4, cls}};
  Bytes tags = AbcTags(w);
  PutBytes(tags, Tag(76, {1, 0, 0, 0, 'T', 'e', 's', 't', 0}));  // SymbolClass 0 -> Test
  PutBytes(tags, extra);
  for (int i = 0; i < frames; ++i) PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return TracedRun(tags, frames, true, input, 0);
}

// A method for addEventListener that traces the event's type and, for a path, a space and
// what the path names on the event ("target.bytesLoaded").
inline std::uint32_t TracingListener(AbcWriter& w, const std::string& path) {
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace");
  f.OpName(0x5D, trace).Op({0xD1}).OpName(0x66, w.Name("type"));
  if (!path.empty()) {
    f.Str(" ").Op({0xA0, 0xD1});
    for (std::size_t start = 0; start < path.size();) {
      const std::size_t dot = std::min(path.find('.', start), path.size());
      f.OpName(0x66, w.Name(path.substr(start, dot - start)));
      start = dot + 1;
    }
    f.Op({0xA0});
  }
  f.Call(0x4F, trace, 1).Op({0x47});
  const std::uint32_t method = w.Method(f.bytes);
  w.methods[method] = 1;  // (event)
  return method;
}

// A test with a folder of its own for the files its movies load, removed afterwards.
class FolderTest : public ::testing::Test {
 protected:
  std::filesystem::path folder;
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = std::filesystem::temp_directory_path() /
             ("vantrel_" + std::string(test->test_suite_name()) + "_" +
              std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" + test->name());
    std::filesystem::create_directories(folder);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(folder / name, std::ios::binary) << content;
    return (folder / name).string();
  }
};

}  // namespace vantrel::testing
