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

// local.method(ints), its result traced.
Code& TraceCall(Code& c, std::uint8_t local, const std::string& method, std::initializer_list<std::int32_t> args) {
  const std::uint32_t trace = c.w.Name("trace");
  c.OpName(0x5D, trace).Op({static_cast<std::uint8_t>(0xD0 + local)});
  for (std::int32_t v : args) c.Int(v);
  c.Call(0x46, c.w.Name(method), static_cast<std::uint32_t>(args.size()));
  return c.Call(0x4F, trace, 1);
}
// local = new package.name(ints)
Code& NewWith(Code& c, const std::string& package, const std::string& name, std::initializer_list<std::int32_t> args,
              std::uint8_t local) {
  const std::uint32_t cls = c.w.PackageName(package, name);
  c.OpName(0x5D, cls);
  for (std::int32_t v : args) c.Int(v);
  return c.Call(0x4A, cls, static_cast<std::uint32_t>(args.size())).Op({static_cast<std::uint8_t>(0xD4 + local)});
}

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

TEST(Avm2Geom, RectanglesAndMatricesComputeAsThePlayerPrintsThem) {
  AbcWriter w;
  Code code{w};
  NewWith(code, "flash.geom", "Rectangle", {10, 10, 20, 20}, 1);
  NewWith(code, "flash.geom", "Rectangle", {20, 0, 20, 15}, 2);
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("union"), 1).Op({0xD7});  // local3 = r1.union(r2)
  code.TraceLocal(3);
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("intersection"), 1).Op({0xD7});
  code.TraceLocal(3).TraceProperty(3, "bottomRight");
  // Rectangles that only touch do not intersect; an empty one adds nothing to a union.
  NewWith(code, "flash.geom", "Rectangle", {30, 0, 5, 5}, 2);
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("intersects"), 1).Op({0xD7}).TraceLocal(3);
  NewWith(code, "flash.geom", "Rectangle", {-50, -50, 0, 5}, 2);
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("union"), 1).Op({0xD7}).TraceLocal(3);
  // A scaled, translated matrix inverted maps its image back.
  NewWith(code, "flash.geom", "Matrix", {2, 0, 0, 4, 10, 20}, 1);
  NewWith(code, "flash.geom", "Point", {3, 5}, 2);
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("transformPoint"), 1).Op({0xD7}).TraceLocal(3);
  code.Op({0xD1}).Call(0x4F, w.Name("invert"), 0).TraceLocal(1);
  code.Op({0xD1, 0xD3}).Call(0x46, w.Name("transformPoint"), 1).Op({0xD7}).TraceLocal(3);
  // A singular matrix inverts to the identity; the default colour transform changes nothing.
  NewWith(code, "flash.geom", "Matrix", {0, 0, 0, 0, 5, 5}, 1);
  code.Op({0xD1}).Call(0x4F, w.Name("invert"), 0).TraceLocal(1);
  NewWith(code, "flash.geom", "ColorTransform", {}, 1);
  code.TraceProperty(1, "color").TraceLocal(1);
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"(x=10, y=0, w=30, h=30)", "(x=20, y=10, w=10, h=5)", "(x=30, y=15)", "false",
                                      "(x=10, y=10, w=20, h=20)", "(x=16, y=40)", "(a=0.5, b=0, c=0, d=0.25, tx=-5, ty=-5)",
                                      "(x=3, y=5)", "(a=1, b=0, c=0, d=1, tx=0, ty=0)", "0",
                                      "(redMultiplier=1, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=1, "
                                      "redOffset=0, greenOffset=0, blueOffset=0, alphaOffset=0)"}));
}

TEST(Avm2Display, BoundsAndPointsFollowTheChildsTransform) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).New("flash.display", "Sprite", 2);
  code.Draw(2, "beginFill", {0}).Draw(2, "drawRect", {0, 0, 10, 10});
  // The child moved to (5, 7) and scaled twice in x, inside its parent.
  code.Op({0xD2}).Int(5).OpName(0x61, w.Name("x")).Op({0xD2}).Int(7).OpName(0x61, w.Name("y"));
  code.Op({0xD2}).Int(2).OpName(0x61, w.Name("scaleX"));
  code.Op({0xD1, 0xD2}).Call(0x4F, w.Name("addChild"), 1);
  code.Op({0xD2, 0xD1}).Call(0x46, w.Name("getBounds"), 1).Op({0xD7}).TraceLocal(3);
  TraceCall(code, 2, "getBounds", {});  // null space: its own
  NewWith(code, "flash.geom", "Point", {1, 1}, 3);
  code.Op({0xD2, 0xD3}).Call(0x46, w.Name("localToGlobal"), 1).Op({0xD7}).TraceLocal(3);
  code.Op({0xD2, 0xD3}).Call(0x46, w.Name("globalToLocal"), 1).Op({0xD7}).TraceLocal(3);
  // The point test goes by bounds, or by the shape with shapeFlag.
  TraceCall(code, 2, "hitTestPoint", {24, 16});
  TraceCall(code, 2, "hitTestPoint", {26, 16});
  // An empty sprite's bounds are the point its origin lands on.
  code.New("flash.display", "Sprite", 3).Op({0xD3}).Int(4).OpName(0x61, w.Name("x"));
  code.Op({0xD1, 0xD3}).Call(0x4F, w.Name("addChild"), 1);
  code.Op({0xD3, 0xD1}).Call(0x46, w.Name("getBounds"), 1).Op({0xD7}).TraceLocal(3);
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"(x=5, y=7, w=20, h=10)", "(x=0, y=0, w=10, h=10)", "(x=7, y=8)",
                                                         "(x=1, y=1)", "true", "false", "(x=4, y=0, w=0, h=0)"}));
}

TEST(Avm2Text, TextFieldsKeepTextAndFormatsAndRefuseBadRanges) {
  AbcWriter w;
  Code code{w};
  code.New("flash.text", "TextField", 1);
  code.Op({0xD1}).Str("Hello").OpName(0x61, w.Name("text"));
  code.Op({0xD1}).Str(" world").Call(0x4F, w.Name("appendText"), 1);
  code.TraceProperty(1, "text").TraceProperty(1, "length").TraceProperty(1, "type").TraceProperty(1, "width");
  // A new format has every field null; one set on a range shows only there.
  code.New("flash.text", "TextFormat", 2).TraceProperty(2, "bold").TraceProperty(2, "size");
  code.Op({0xD2, 0x26}).OpName(0x61, w.Name("bold"));
  code.Op({0xD1, 0xD2}).Int(0).Int(5).Call(0x4F, w.Name("setTextFormat"), 3);
  code.Op({0xD1}).Int(0).Int(5).Call(0x46, w.Name("getTextFormat"), 2).Op({0xD7}).TraceProperty(3, "bold");
  // Over the whole text bold differs: null; the font is shared.
  code.Op({0xD1}).Call(0x46, w.Name("getTextFormat"), 0).Op({0xD7}).TraceProperty(3, "bold").TraceProperty(3, "font");
  // An end beyond the text is a RangeError (caught: the next trace still runs).
  const std::size_t tryStart = code.bytes.size();
  code.Op({0xD1, 0xD2}).Int(0).Int(99).Call(0x4F, w.Name("setTextFormat"), 3);
  const std::size_t tryEnd = code.bytes.size();
  code.Op({0x10, 0x00, 0x00, 0x00});  // jump over the handler (patched below)
  const std::size_t handler = code.bytes.size();
  code.Op({0xD0, 0x30});  // the handler's scope
  code.OpName(0x66, w.Name("errorID")).Op({0xD7});
  code.TraceLocal(3);
  const std::size_t after = code.bytes.size();
  const std::int32_t offset = static_cast<std::int32_t>(after - handler);
  code.bytes[tryEnd + 1] = static_cast<std::uint8_t>(offset);
  code.bytes[tryEnd + 2] = static_cast<std::uint8_t>(offset >> 8);
  code.bytes[tryEnd + 3] = static_cast<std::uint8_t>(offset >> 16);
  code.TraceProperty(1, "length");
  code.Op({0x47});
  w.Script(w.Method(code.bytes, {{static_cast<std::uint32_t>(tryStart), static_cast<std::uint32_t>(tryEnd),
                                  static_cast<std::uint32_t>(handler), 0, 0}},
                    6));
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
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 1, 10)));
  control.Tick();
  EXPECT_EQ(lines, (std::vector<std::string>{"Hello world", "11", "dynamic", "100", "null", "null", "true", "null",
                                             "Times New Roman", "2006", "11"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
