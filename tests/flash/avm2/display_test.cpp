// The display side of ActionScript 3 movies in the player: the drawing API's bounds and
// the event classes that carry input fields.
#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/flash_control.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash::avm2 {
namespace {

using testing::AbcWriter;
using Bytes = AbcWriter::Bytes;

// Builds a script's code a piece at a time.
struct Code {
  AbcWriter& w;
  Bytes bytes = {0xD0, 0x30};  // getlocal0 pushscope
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
  // local = new package.name()
  Code& New(const std::string& package, const std::string& name, std::uint8_t local) {
    const std::uint32_t cls = w.PackageName(package, name);
    OpName(0x5D, cls);  // findpropstrict
    return Call(0x4A, cls, 0).Op({static_cast<std::uint8_t>(0xD4 + local)});  // constructprop, setlocal
  }
  // trace(local.property)
  Code& TraceProperty(std::uint8_t local, const std::string& property) {
    const std::uint32_t trace = w.Name("trace");
    OpName(0x5D, trace).Op({static_cast<std::uint8_t>(0xD0 + local)}).OpName(0x66, w.Name(property));
    return Call(0x4F, trace, 1);
  }
  Code& TraceLocal(std::uint8_t local) {
    const std::uint32_t trace = w.Name("trace");
    OpName(0x5D, trace).Op({static_cast<std::uint8_t>(0xD0 + local)});
    return Call(0x4F, trace, 1);
  }
  // local.graphics.method(ints)
  Code& Draw(std::uint8_t local, const std::string& method, std::initializer_list<std::int32_t> args) {
    Op({static_cast<std::uint8_t>(0xD0 + local)}).OpName(0x66, w.Name("graphics"));
    for (std::int32_t v : args) Int(v);
    return Call(0x4F, w.Name(method), static_cast<std::uint32_t>(args.size()));
  }
};

// Runs the script as the first frame of an ActionScript 3 movie; its trace lines.
std::vector<std::string> RunMovie(AbcWriter& w, Code& code) {
  code.Op({0x47});  // returnvoid
  w.Script(w.Method(code.bytes, {}, 6));
  Bytes body;
  testing::PutU32(body, 0);
  testing::PutString(body, "test");
  testing::PutBytes(body, w.Finish());
  Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::Tag(82, body));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  EXPECT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 1, 10)));
  control.Tick();
  return lines;
}

TEST(Avm2Graphics, DrawingSetsTheBoundsAndClearEmptiesThem) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1);
  code.Draw(1, "beginFill", {0xFF0000}).Draw(1, "drawRect", {10, 20, 30, 40}).Draw(1, "endFill", {});
  code.TraceProperty(1, "width").TraceProperty(1, "height");
  // A line widens the bounds by half its thickness on every side.
  code.Draw(1, "lineStyle", {4}).Draw(1, "drawCircle", {50, 50, 10});
  code.TraceProperty(1, "width");
  code.Draw(1, "clear", {}).TraceProperty(1, "width");
  // Shapes draw too.
  code.New("flash.display", "Shape", 2);
  code.Draw(2, "beginFill", {0}).Draw(2, "drawEllipse", {0, 0, 16, 8}).TraceProperty(2, "width").TraceProperty(2, "height");
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"30", "40", "52", "0", "16", "8"}));
}

TEST(Avm2Events, MouseAndKeyboardEventsKeepTheirFieldsAndCloneThem) {
  AbcWriter w;
  Code code{w};
  // new MouseEvent("click") bubbles by default; its local point is not set.
  const std::uint32_t mouse = w.PackageName("flash.events", "MouseEvent");
  code.OpName(0x5D, mouse).Str("click").Call(0x4A, mouse, 1).Op({0xD5});
  code.TraceLocal(1).TraceProperty(1, "localX");
  const std::uint32_t keyboard = w.PackageName("flash.events", "KeyboardEvent");
  code.OpName(0x5D, keyboard).Str("keyDown").Op({0x26, 0x27}).Int(97).Int(65).Call(0x4A, keyboard, 5).Op({0xD6});
  code.Op({0xD2}).Call(0x46, w.Name("clone"), 0).Op({0xD7});  // local3 = local2.clone()
  code.TraceProperty(3, "keyCode").TraceProperty(3, "charCode").TraceProperty(3, "bubbles").TraceLocal(3);
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{
                "[MouseEvent type=\"click\" bubbles=true cancelable=false eventPhase=2 relatedObject=null ctrlKey=false "
                "altKey=false shiftKey=false buttonDown=false delta=0]",
                "NaN", "65", "97", "true",
                "[KeyboardEvent type=\"keyDown\" bubbles=true cancelable=false eventPhase=2 charCode=97 keyCode=65 "
                "keyLocation=0 ctrlKey=false altKey=false shiftKey=false]"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
