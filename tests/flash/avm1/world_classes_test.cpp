// Classes that reach outside the movie: ExternalInterface's value/XML conversions,
// ContextMenu copies, FileReference's type lists and its file dialog, PrintJob, XMLSocket
// against a scripted server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <unistd.h>

#include "../movie_test_support.h"
#include "flash/avm1/builtins/file_dialog.h"
#include "flash/avm1/interpreter.h"
#include "flash/avm1/movie_host.h"
#include "flash/control/socket_script.h"
#include "flash/display/stage_points.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1::testing {
namespace {

namespace fs = std::filesystem;

// Class paths ("flash.external.ExternalInterface") and calls on any machine.
struct Calls {
  MachineInterface& m;
  Value Path(std::string_view path) {
    Value at = Value::Obj(m.Rt().global);
    while (!path.empty()) {
      const std::size_t dot = path.find('.');
      at = m.GetMember(at, path.substr(0, dot));
      path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    }
    return at;
  }
  Object* New(std::string_view path, std::initializer_list<Value> args = {}) {
    Object* ctor = Path(path).AsObject();
    EXPECT_NE(ctor, nullptr) << path;
    const std::vector<Value> list(args);
    return ctor ? m.Construct(ctor, list) : nullptr;
  }
  Value Call(const Value& target, std::string_view method, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return m.CallMethod(target, method, list);
  }
  std::string Say(const Value& v) { return m.ToString(v); }
};

struct WorldFixture : ScriptFixture {
  Calls c{machine};
  Value Ei(std::string_view method, std::initializer_list<Value> args) {
    return c.Call(c.Path("flash.external.ExternalInterface"), method, args);
  }
  Object* Obj(std::initializer_list<std::pair<const char*, Value>> props) {
    Object* o = machine.NewObject();
    for (const auto& [name, value] : props) machine.Set(o, name, value);
    return o;
  }
};

TEST(ExternalInterfaceTest, EscapingHelpersAnswerNullForNoText) {
  WorldFixture f;
  EXPECT_EQ(f.c.Say(f.Ei("_escapeXML", {f.Str("<a href=\"x\">'&'</a>")})),
            "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;");
  // One pass, lower-case entities only.
  EXPECT_EQ(f.c.Say(f.Ei("_unescapeXML", {f.Str("&amp;lt;&LT;&quot;&#x20;")})), "&lt;&LT;\"&#x20;");
  EXPECT_EQ(f.c.Say(f.Ei("_jsQuoteString", {f.Str("a\\\"b")})), "a\\\\\"b");
  for (const char* helper : {"_escapeXML", "_unescapeXML", "_jsQuoteString"}) {
    EXPECT_TRUE(f.Ei(helper, {}).IsNull()) << helper;
    EXPECT_TRUE(f.Ei(helper, {f.Str("")}).IsNull()) << helper;
    EXPECT_EQ(f.c.Say(f.Ei(helper, {Value()})), "undefined") << helper;
  }
  EXPECT_FALSE(f.machine.ToBoolean(f.machine.GetMember(f.c.Path("flash.external.ExternalInterface"), "available")));
}

TEST(ExternalInterfaceTest, ValuesGoToXmlAndComeBackFromTheParsedDocument) {
  WorldFixture f;
  Object* inner = f.machine.NewArray({Value::Bool(true), Value::Null(), f.Num(-2.5)});
  Object* value = f.Obj({{"text", f.Str("a<b & 'c'")}, {"list", Value::Obj(inner)}, {"none", Value()}});
  const std::string xml = f.c.Say(f.Ei("_toXML", {Value::Obj(value)}));
  EXPECT_EQ(xml,
            "<object><property id=\"none\"><undefined/></property>"
            "<property id=\"list\"><array><property id=\"0\"><true/></property><property id=\"1\"><null/></property>"
            "<property id=\"2\"><number>-2.5</number></property></array></property>"
            "<property id=\"text\"><string>a&lt;b &amp; &apos;c&apos;</string></property></object>");
  // Functions travel as null, an empty string as the text "null".
  EXPECT_EQ(f.c.Say(f.Ei("_toXML", {f.Global("escape")})), "<null/>");
  EXPECT_EQ(f.c.Say(f.Ei("_toXML", {f.Str("")})), "<string>null</string>");
  // The first of the arguments names the function and is left out.
  EXPECT_EQ(f.c.Say(f.Ei("_argumentsToXML", {Value::Obj(f.machine.NewArray({f.Str("fn"), f.Num(1)}))})),
            "<arguments><number>1</number></arguments>");

  Object* document = f.c.New("XML", {f.machine.Str(xml)});
  const Value back = f.Ei("_toAS", {f.machine.GetMember(Value::Obj(document), "firstChild")});
  ASSERT_TRUE(back.IsObject());
  EXPECT_EQ(f.c.Say(f.machine.GetMember(back, "text")), "a<b & 'c'");
  EXPECT_TRUE(f.machine.GetMember(back, "none").IsUndefined());
  const Value list = f.machine.GetMember(back, "list");
  ASSERT_TRUE(list.IsObject() && list.AsObject()->IsArray());
  EXPECT_EQ(f.c.Say(list), "true,null,-2.5");
  EXPECT_EQ(f.machine.TypeOf(f.machine.GetMember(list, "2")), "number");
}

TEST(ContextMenuTest, CopiesAreDeepAndHidingSwitchesOffTheBuiltInItems) {
  WorldFixture f;
  Object* menu = f.c.New("ContextMenu", {f.Global("escape")});
  Object* item = f.c.New("ContextMenuItem", {f.Str("Zoom in"), f.Global("unescape"), Value::Bool(true)});
  ASSERT_TRUE(menu && item);
  EXPECT_EQ(f.c.Say(f.machine.Get(item, "enabled")), "true");
  EXPECT_EQ(f.c.Say(f.machine.Get(item, "separatorBefore")), "true");
  f.c.Call(f.machine.Get(menu, "customItems"), "push", {Value::Obj(item)});

  const Value copy = f.c.Call(Value::Obj(menu), "copy");
  f.c.Call(Value::Obj(menu), "hideBuiltInItems");
  const Value items = f.machine.Get(menu, "builtInItems");
  for (const char* name : {"print", "play", "zoom", "save"}) {
    EXPECT_FALSE(f.machine.ToBoolean(f.machine.GetMember(items, name))) << name;
    EXPECT_TRUE(f.machine.ToBoolean(f.machine.GetMember(f.machine.GetMember(copy, "builtInItems"), name))) << name;
  }
  EXPECT_EQ(f.machine.GetMember(copy, "onSelect").AsObject(), f.Global("escape").AsObject());
  const Value copiedItem = f.machine.GetMember(f.machine.GetMember(copy, "customItems"), "0");
  ASSERT_TRUE(copiedItem.IsObject());
  EXPECT_NE(copiedItem.AsObject(), item);
  EXPECT_EQ(f.c.Say(f.machine.GetMember(copiedItem, "caption")), "Zoom in");
  EXPECT_EQ(f.c.Say(f.machine.GetMember(copiedItem, "separatorBefore")), "true");
}

TEST(PrintJobTest, NoJobStartsAndTheSizesStayZero) {
  WorldFixture f;
  Object* job = f.c.New("PrintJob");
  ASSERT_TRUE(job);
  EXPECT_EQ(f.c.Say(f.c.Call(Value::Obj(job), "start")), "false");
  EXPECT_EQ(f.c.Say(f.c.Call(Value::Obj(job), "addPage", {f.Global("_root")})), "false");
  f.machine.Set(job, "pageWidth", f.Num(500));
  EXPECT_EQ(f.c.Say(f.machine.Get(job, "pageWidth")), "0");
}

TEST(StageTest, AlignKeepsKnownLettersInThePlayersOrderAndUnknownScaleModesReset) {
  WorldFixture f;
  Object* stage = f.Global("Stage").AsObject();
  ASSERT_TRUE(stage);
  const auto align = [&](Value v) {
    f.machine.Set(stage, "align", v);
    return f.Text(f.machine.Get(stage, "align"));
  };
  EXPECT_EQ(align(f.Str("TL")), "LT");
  EXPECT_EQ(align(f.Str("br")), "RB");
  EXPECT_EQ(align(f.Str("TllLBbbtRrrlBr")), "LTRB");
  EXPECT_EQ(align(Value::Bool(true)), "TR");  // the letters of "true"
  EXPECT_EQ(align(f.Str("xyz")), "");
  const auto mode = [&](Value v) {
    f.machine.Set(stage, "scaleMode", v);
    return f.Text(f.machine.Get(stage, "scaleMode"));
  };
  EXPECT_EQ(mode(f.Str("EXACTFIT")), "exactFit");
  EXPECT_EQ(mode(f.Str("no such mode")), "showAll");
  EXPECT_EQ(mode(f.Str("noborder")), "noBorder");
  EXPECT_EQ(mode(Value::Bool(true)), "showAll");
}

TEST(StageSizeTest, UnderNoScaleTheStageIsTheViewAndListenersHearWhenThatResizesIt) {
  std::unique_ptr<RunningMovie> run = StartMovie(::vantrel::testing::ShowFrame(), 1, 8);  // 100 x 100
  run->player->viewSize = QSizeF(300, 200);
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  const Value stage = c.Path("Stage");
  // Each onResize pops one element off the listener.
  Object* listener = c.New("Array", {Value::Number(1), Value::Number(2), Value::Number(3)});
  ASSERT_NE(listener, nullptr);
  m.Set(listener, "onResize", c.Path("Array.prototype.pop"));
  c.Call(stage, "addListener", {Value::Obj(listener)});
  const auto size = [&] { return c.Say(m.GetMember(stage, "width")) + " " + c.Say(m.GetMember(stage, "height")); };
  const auto heard = [&] { return 3 - m.ToNumber(m.Get(listener, "length")); };
  EXPECT_EQ(size(), "100 100");
  m.Set(stage.AsObject(), "scaleMode", m.Str("noScale"));
  EXPECT_EQ(size(), "300 200");
  EXPECT_EQ(heard(), 1);
  m.Set(stage.AsObject(), "scaleMode", m.Str("noScale"));
  m.Set(stage.AsObject(), "scaleMode", m.Str("showAll"));
  EXPECT_EQ(size(), "100 100");
  EXPECT_EQ(heard(), 2);
  m.Set(stage.AsObject(), "scaleMode", m.Str("exactFit"));
  EXPECT_EQ(heard(), 2);  // the stage stays the movie's size
}

struct MovieClipPointsTest : ::testing::Test {
  std::unique_ptr<RunningMovie> run = StartMovie(::vantrel::testing::ShowFrame(), 1, 8);
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  Object* root = avm1::ScriptObjectOf(&run->player->Root());
};

TEST_F(MovieClipPointsTest, PointsWithCoordinatesThatAreNotBothNumbersStayAsTheyAre) {
  ASSERT_TRUE(root);
  m.Set(root, "_x", Value::Number(10));
  const auto mapped = [&](const char* method, Value x, Value y) {
    Object* point = m.NewObject();
    m.Set(point, "x", x);
    m.Set(point, "y", y);
    c.Call(Value::Obj(root), method, {Value::Obj(point)});
    return c.Say(m.Get(point, "x")) + " " + c.Say(m.Get(point, "y"));
  };
  EXPECT_EQ(mapped("localToGlobal", Value::Number(1), Value::Number(2)), "11 2");
  EXPECT_EQ(mapped("globalToLocal", Value::Number(11), Value::Number(2)), "1 2");
  EXPECT_EQ(mapped("globalToLocal", Value(), Value()), "undefined undefined");
  EXPECT_EQ(mapped("globalToLocal", Value::Number(10), Value::Null()), "10 null");
  EXPECT_EQ(mapped("localToGlobal", Value::Number(10), Value::Bool(true)), "10 true");
  EXPECT_EQ(mapped("localToGlobal", m.Str("1"), Value::Number(2)), "1 2");
  // A coordinate the point only inherits does not count.
  Object* proto = m.NewObject();
  m.Set(proto, "y", Value::Number(2));
  Object* point = m.NewObject();
  point->proto = proto;
  m.Set(point, "x", Value::Number(1));
  c.Call(Value::Obj(root), "localToGlobal", {Value::Obj(point)});
  EXPECT_EQ(c.Say(m.Get(point, "x")), "1");
  // A squashed clip cannot take a point back from the stage.
  m.Set(root, "_xscale", Value::Number(0));
  EXPECT_EQ(mapped("globalToLocal", Value::Number(5), Value::Number(6)), "5 6");
}

TEST_F(MovieClipPointsTest, MappedPointsLandOnWholeTwipsAndTranslationsAreRoundedAlongTheChain) {
  ASSERT_TRUE(root);
  m.Set(root, "_rotation", Value::Number(5));
  Object* point = m.NewObject();
  m.Set(point, "x", Value::Number(10));
  m.Set(point, "y", Value::Number(10));
  c.Call(Value::Obj(root), "localToGlobal", {Value::Obj(point)});
  // (10, 10) turned by 5 degrees is (9.09, 10.83) exactly.
  EXPECT_EQ(c.Say(m.Get(point, "x")), "9.1");
  EXPECT_EQ(c.Say(m.Get(point, "y")), "10.85");

  // A quarter-size parent at (200, 200) turned by 25 degrees holds a child at (200, 200):
  // the child's translation is rounded to whole twips where the two matrices are joined.
  Matrix parent;
  parent.a = parent.d = 0.2265777587890625;
  parent.b = 0.10565185546875;
  parent.c = -parent.b;
  parent.tx = parent.ty = 4000;
  Matrix child;
  child.tx = child.ty = 4000;
  const Matrix joined = JoinInTwips(parent, child);
  EXPECT_EQ(joined.tx, 4484);  // 4483.70 unrounded
  EXPECT_EQ(joined.ty, 5329);  // 5328.92
  const std::optional<Matrix> back = InvertInTwips(joined);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->tx, std::round(back->tx));
  EXPECT_FALSE(InvertInTwips(Matrix{0, 0, 0, 1, 5, 5}));
}

// A sprite id holding what `inner` names at depth 1, under the name given.
::vantrel::testing::Bytes Holding(std::uint16_t id, std::uint16_t inner, const std::string& name, int clipDepth = -1,
                                  std::uint16_t depth = 1) {
  ::vantrel::testing::Place place;
  place.character = inner;
  place.name = name;
  place.clipDepth = clipDepth;
  place.depth = depth;
  ::vantrel::testing::Bytes frame = ::vantrel::testing::PlaceObject2(place);
  ::vantrel::testing::PutBytes(frame, ::vantrel::testing::ShowFrame());
  ::vantrel::testing::PutBytes(frame, ::vantrel::testing::End());
  return ::vantrel::testing::DefineSprite(id, 1, frame);
}

// The clip at a dotted path from _root.
Value ClipAt(RunningMovie& run, MachineInterface& m, std::string_view path) {
  Value at = Value::Obj(ScriptObjectOf(&run.player->Root()));
  while (!path.empty()) {
    const std::size_t dot = path.find('.');
    at = m.GetMember(at, path.substr(0, dot));
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return at;
}

struct NestedClips : ::testing::Test {
  // outer > mid > inner > a 20 px square at the origin.
  std::unique_ptr<RunningMovie> run = [] {
    using namespace ::vantrel::testing;
    Bytes tags = DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);
    PutBytes(tags, Holding(2, 1, "square"));
    PutBytes(tags, Holding(3, 2, "inner"));
    PutBytes(tags, Holding(4, 3, "mid"));
    return StartMovie(WithOneFramePlacing(tags, 4, "outer"), 1, 8);
  }();
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  Value Clip(const char* path) { return ClipAt(*run, m, path); }
  std::string Bounds(const char* clip, Value space) {
    const Value box = c.Call(Clip(clip), "getBounds", {space});
    if (!box.AsObject()) return c.Say(box);
    std::string out;
    for (const char* edge : {"xMin", "yMin", "xMax", "yMax"}) out += (out.empty() ? "" : " ") + c.Say(m.Get(box.AsObject(), edge));
    return out;
  }
  bool HitsShape(const char* clip, double x, double y) {
    return m.ToBoolean(c.Call(Clip(clip), "hitTest", {Value::Number(x), Value::Number(y), Value::Bool(true)}));
  }
};

TEST_F(NestedClips, ABoxIsMeasuredThroughEveryMatrixBelowTheClipAndOnlyThenCarriedOut) {
  m.Set(Clip("outer.mid").AsObject(), "_rotation", Value::Number(45));
  m.Set(Clip("outer.mid.inner").AsObject(), "_rotation", Value::Number(-45));
  // The two turns cancel below outer: its own box is the square's.
  EXPECT_EQ(Bounds("outer", Clip("outer")), "0 0 20 20");
  // mid's own box is the square turned back by 45 degrees; carried into outer's space
  // it is the box around that box, wider than the square.
  EXPECT_EQ(Bounds("outer.mid", Clip("outer")), "-10 -10 30 30");
  // A space named by anything but a clip is a path from the clip.
  EXPECT_EQ(Bounds("outer", m.Str("mid")), Bounds("outer", Clip("outer.mid")));
  EXPECT_EQ(Bounds("outer", m.Str("nothing")), "undefined");
}

TEST_F(NestedClips, TheShapeFlagHitsAHiddenClipButNotItsHiddenChildrenNorWhatAMaskHides) {
  EXPECT_TRUE(HitsShape("outer", 10, 10));
  m.Set(Clip("outer").AsObject(), "_visible", Value::Bool(false));
  EXPECT_TRUE(HitsShape("outer", 10, 10));
  m.Set(Clip("outer.mid.inner").AsObject(), "_visible", Value::Bool(false));
  EXPECT_FALSE(HitsShape("outer", 10, 10));
  m.Set(Clip("outer.mid.inner").AsObject(), "_visible", Value::Bool(true));
  // A mask set by script on the clip asked about limits it to where the mask is.
  Object* mask = c.Call(Value::Obj(ScriptObjectOf(&run->player->Root())), "createEmptyMovieClip",
                        {m.Str("mask"), Value::Number(5)}).AsObject();
  ASSERT_NE(mask, nullptr);
  c.Call(Value::Obj(mask), "beginFill", {Value::Number(0)});
  for (auto [x, y] : {std::pair{0, 0}, {5, 0}, {5, 20}, {0, 20}}) c.Call(Value::Obj(mask), "lineTo", {Value::Number(x), Value::Number(y)});
  c.Call(Clip("outer"), "setMask", {Value::Obj(mask)});
  EXPECT_TRUE(HitsShape("outer", 2, 10));
  EXPECT_FALSE(HitsShape("outer", 10, 10));
}

TEST(MaskLayerHitTest, ChildrenUnderAMaskLayerAreHitOnlyInsideIt) {
  using namespace ::vantrel::testing;
  // A clip holding a 20 px square under a 5 px wide mask layer.
  Bytes tags = DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);
  PutBytes(tags, DefineRectangle(2, 0, 0, 100, 400, 0, 0, 0));
  Place mask;
  mask.character = 2;
  mask.depth = 1;
  mask.clipDepth = 2;
  Place square;
  square.character = 1;
  square.depth = 2;
  Bytes frame = PlaceObject2(mask);
  PutBytes(frame, PlaceObject2(square));
  PutBytes(frame, ShowFrame());
  PutBytes(frame, End());
  PutBytes(tags, DefineSprite(3, 1, frame));
  std::unique_ptr<RunningMovie> run = StartMovie(WithOneFramePlacing(tags, 3, "clip"), 1, 8);
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  const auto hits = [&](double x) {
    return m.ToBoolean(c.Call(ClipAt(*run, m, "clip"), "hitTest", {Value::Number(x), Value::Number(10), Value::Bool(true)}));
  };
  EXPECT_TRUE(hits(2));
  EXPECT_FALSE(hits(10));
}

// ---- FileReference ----

struct FileReferenceTest : ::testing::Test {
  std::unique_ptr<RunningMovie> run = StartMovie(::vantrel::testing::ShowFrame(), 1, 8);
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  fs::path folder = fs::temp_directory_path() / ("vantrel_file_reference_" + std::to_string(::getpid()));
  std::vector<std::string> requests;

  void SetUp() override { fs::create_directories(folder); }
  void TearDown() override {
    FileDialog() = nullptr;
    fs::remove_all(folder);
  }
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
    return (folder / name).string();
  }
  // A listener whose handlers trace "event name".
  Object* Listener(Object* target) {
    Object* listener = m.NewObject();
    for (const char* event : {"onSelect", "onCancel"}) {
      m.Set(listener, event, Value::Obj(m.Rt().MakeFunction([](Call& call) {
        const Value files = call.machine.GetMember(call.Arg(0), "fileList");
        std::string line = call.machine.ToString(call.machine.GetMember(call.Arg(0), "name"));
        for (double i = 0; i < call.machine.ToNumber(call.machine.GetMember(files, "length")); ++i)
          line += " " + call.machine.ToString(call.machine.GetMember(call.machine.GetMember(files, NumberToString(i)), "name"));
        call.machine.Trace(line);
        return Value();
      })));
    }
    c.Call(Value::Obj(target), "addListener", {Value::Obj(listener)});
    return listener;
  }
  Value Filters(std::initializer_list<Object*> filters) {
    std::vector<Value> values;
    for (Object* o : filters) values.push_back(Value::Obj(o));
    return Value::Obj(m.NewArray(values));
  }
  Object* Filter(const char* description, const char* extension) {
    Object* o = m.NewObject();
    if (description) m.Set(o, "description", m.Str(description));
    if (extension) m.Set(o, "extension", m.Str(extension));
    return o;
  }
};

TEST_F(FileReferenceTest, TypeListsNeedOwnNonEmptyFieldsAndConversionErrorsReachTheScript) {
  Object* list = c.New("flash.net.FileReferenceList");
  ASSERT_TRUE(list);
  const Value self = Value::Obj(list);
  auto browse = [&](const Value& arg) { return c.Say(c.Call(self, "browse", {arg})); };
  EXPECT_EQ(browse(Filters({})), "false");
  EXPECT_EQ(browse(m.Str("*.txt")), "false");
  EXPECT_EQ(browse(Value()), "false");  // an explicit undefined is no type list
  EXPECT_EQ(browse(Filters({Filter("Text", nullptr)})), "false");
  EXPECT_EQ(browse(Filters({Filter("", "*.txt")})), "false");
  Object* inherited = m.Rt().MakeObject(Filter("Text", "*.txt"));
  EXPECT_EQ(browse(Filters({inherited})), "false");
  // A getter that throws counts as a missing field; the exception goes no further.
  Object* throwingGetter = Filter(nullptr, "*.txt");
  throwingGetter->DefineAccessor("description", m.Rt().MakeFunction([](Call& call) {
    call.machine.Throw(call.machine.Str("getter"));
    return Value();
  }), nullptr);
  EXPECT_EQ(browse(Filters({throwingGetter})), "false");
  EXPECT_FALSE(m.Throwing());
  // A toString that throws reaches the script.
  Object* text = m.NewObject();
  m.Set(text, "toString", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.Throw(call.machine.Str("toString"));
    return Value();
  })));
  Object* throwingText = Filter("Text", nullptr);
  m.Set(throwingText, "extension", Value::Obj(text));
  c.Call(self, "browse", {Filters({throwingText})});
  EXPECT_TRUE(m.Throwing());
  m.DropThrown();

  EXPECT_EQ(browse(Filters({Filter("Text", "*.txt")})), "true");
  EXPECT_EQ(browse(Filters({Filter("Text", "*.txt")})), "false");  // its dialog is open
}

TEST_F(FileReferenceTest, TheDialogsAnswerComesFromTheFrameLoopAndFillsTheFiles) {
  Object* file = c.New("flash.net.FileReference");
  Object* list = c.New("flash.net.FileReferenceList");
  ASSERT_TRUE(file && list);
  Listener(file);
  Listener(list);
  // No dialog to show (no player window): every request ends as a cancel.
  EXPECT_EQ(c.Say(c.Call(Value::Obj(file), "browse")), "true");
  EXPECT_TRUE(run->traces.empty());
  run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"undefined"});
  EXPECT_TRUE(m.GetMember(Value::Obj(file), "size").IsUndefined());

  const std::string a = MakeFile("a.txt", "hello"), b = MakeFile("b.bin", "");
  std::vector<FileDialogRequest> asked;
  FileDialog() = [&](const FileDialogRequest& request) {
    asked.push_back(request);
    return request.kind == FileDialogRequest::Kind::OpenMany ? std::vector<std::string>{a, b}
                                                             : std::vector<std::string>{a};
  };
  run->traces.clear();
  c.Call(Value::Obj(file), "browse", {Filters({Filter("Text", "*.txt;*.text")})});
  c.Call(Value::Obj(list), "browse");
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"a.txt", "undefined a.txt b.bin"}));
  ASSERT_EQ(asked.size(), 2u);
  ASSERT_EQ(asked[0].filters.size(), 1u);
  EXPECT_EQ(asked[0].filters[0].extensions, "*.txt;*.text");
  EXPECT_EQ(c.Say(m.GetMember(Value::Obj(file), "size")), "5");
  EXPECT_EQ(c.Say(m.GetMember(Value::Obj(file), "type")), ".txt");
  EXPECT_EQ(m.TypeOf(m.GetMember(Value::Obj(file), "modificationDate")), "object");
}

TEST_F(FileReferenceTest, ADownloadThatCannotLoadLeavesNoFileBehind) {
  Object* file = c.New("flash.net.FileReference");
  ASSERT_TRUE(file);
  Object* listener = Listener(file);
  m.Set(listener, "onIOError", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.Trace("io error");
    return Value();
  })));
  m.Set(listener, "onComplete", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.Trace("complete");
    return Value();
  })));
  const std::string target = (folder / "saved.txt").string();
  std::string defaultName;
  FileDialog() = [&](const FileDialogRequest& request) {
    defaultName = request.defaultName;
    return std::vector<std::string>{target};
  };
  const Value self = Value::Obj(file);
  EXPECT_EQ(c.Say(c.Call(self, "download")), "false");
  EXPECT_EQ(c.Say(c.Call(self, "download", {m.Str("no-address")})), "false");
  EXPECT_EQ(c.Say(c.Call(self, "download", {m.Str((folder / "missing.txt").string())})), "false");
  EXPECT_EQ(c.Say(c.Call(self, "download", {m.Str("http://127.0.0.1:9/missing.txt"), m.Str("wanted.txt")})), "true");
  for (int i = 0; i < 5 && (run->traces.empty() || run->traces.back() == "saved.txt"); ++i) run->player->Tick();
  EXPECT_EQ(defaultName, "wanted.txt");
  EXPECT_EQ(run->traces, (std::vector<std::string>{"saved.txt", "io error"}));
  EXPECT_FALSE(fs::exists(target));

  // Cancelled as soon as it opens: the transfer's end is never announced.
  m.Set(listener, "onOpen", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.CallMethod(call.Arg(0), "cancel", {});
    return Value();
  })));
  run->traces.clear();
  EXPECT_EQ(c.Say(c.Call(self, "download", {m.Str("http://127.0.0.1:9/again.txt")})), "true");
  for (int i = 0; i < 5; ++i) run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"saved.txt"});
}

// ---- XMLSocket ----

struct XmlSocketTest : ::testing::Test {
  std::unique_ptr<RunningMovie> run = StartMovie(::vantrel::testing::ShowFrame(), 1, 8);
  MachineInterface& m = avm1::HostOf(*run->player).Machine();
  Calls c{m};
  Object* socket = c.New("XMLSocket");

  void TearDown() override { SocketOpener() = nullptr; }
  void Script(const std::string& json) {
    SocketScript script;
    std::string why;
    ASSERT_TRUE(ParseSocketScript(json, script, why)) << why;
    SocketOpener() = ScriptedSocketHook(script);
  }
  // Handlers that trace "name: argument"; onData only when traceData (else the default).
  void Listen(bool traceData) {
    auto handler = [&](const char* name, NativeFunction fn) { m.Set(socket, name, Value::Obj(m.Rt().MakeFunction(fn))); };
    handler("onConnect", [](Call& call) { return call.machine.Trace("connect: " + call.machine.ToString(call.Arg(0))), Value(); });
    handler("onXML", [](Call& call) { return call.machine.Trace("xml: " + call.machine.ToString(call.Arg(0))), Value(); });
    handler("onClose", [](Call& call) { return call.machine.Trace("close"), Value(); });
    if (traceData)
      handler("onData", [](Call& call) { return call.machine.Trace("data: " + call.machine.ToString(call.Arg(0))), Value(); });
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) run->player->Tick();
  }
};

TEST_F(XmlSocketTest, WithoutTheNetworkConnectIsRefusedAndNothingIsHeard) {
  ASSERT_TRUE(socket);
  Listen(true);
  EXPECT_EQ(c.Say(c.Call(Value::Obj(socket), "connect", {m.Str("localhost"), Value::Number(8001)})), "false");
  Ticks(3);
  EXPECT_TRUE(run->traces.empty());
}

TEST_F(XmlSocketTest, MessagesEndAtZeroBytesAcrossPiecesAndTheDefaultHandlerParsesXml) {
  ASSERT_TRUE(socket);
  Script(R"([{"type": "Receive", "expected": [104, 105, 0]},
             {"type": "Send", "payload": [0, 97, 0, 60, 120]},
             {"type": "Send", "payload": [47, 62, 0, 98]},
             {"type": "Disconnect"}])");
  Listen(false);
  m.Set(socket, "onConnect", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.Trace("connect: " + call.machine.ToString(call.Arg(0)));
    const Value hi = call.machine.Str("hi");
    call.machine.CallMethod(Value::Obj(call.self), "send", std::span<const Value>(&hi, 1));
    return Value();
  })));
  c.Call(Value::Obj(socket), "send", {m.Str("too early")});  // not connected: dropped
  EXPECT_EQ(c.Say(c.Call(Value::Obj(socket), "connect", {Value::Null(), Value::Number(8001)})), "true");
  EXPECT_TRUE(run->traces.empty());  // the outcome comes from the frame loop
  Ticks(4);
  // The unterminated "b" is lost with the connection.
  EXPECT_EQ(run->traces, (std::vector<std::string>{"connect: true", "xml: ", "xml: a", "xml: <x />", "close"}));
}

TEST_F(XmlSocketTest, ClosingInAHandlerStopsTheMessagesWithoutOnClose) {
  ASSERT_TRUE(socket);
  Script(R"([{"type": "Send", "payload": [49, 0, 50, 0]}, {"type": "WaitForDisconnect"}, {"type": "Send", "payload": [51, 0]}])");
  Listen(true);
  m.Set(socket, "onData", Value::Obj(m.Rt().MakeFunction([](Call& call) {
    call.machine.Trace("data: " + call.machine.ToString(call.Arg(0)));
    call.machine.CallMethod(Value::Obj(call.self), "close", {});
    return Value();
  })));
  EXPECT_EQ(c.Say(c.Call(Value::Obj(socket), "connect", {m.Str("localhost"), Value::Number(8001)})), "true");
  Ticks(4);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"connect: true", "data: 1"}));
  // The scripted server answers one connection only.
  EXPECT_EQ(c.Say(c.Call(Value::Obj(socket), "connect", {m.Str("localhost"), Value::Number(8001)})), "false");
}

TEST(SocketScriptTest, UnknownStepsAndBadBytesAreRejected) {
  SocketScript script;
  std::string why;
  EXPECT_FALSE(ParseSocketScript(R"([{"type": "Shout"}])", script, why));
  EXPECT_FALSE(ParseSocketScript(R"([{"type": "Send", "payload": [256]}])", script, why));
  EXPECT_FALSE(ParseSocketScript(R"({"type": "Send"})", script, why));
  ASSERT_TRUE(ParseSocketScript(R"([{"type": "Receive", "expected": [1, 2]}, {"type": "Disconnect"}])", script, why));
  ASSERT_EQ(script.steps.size(), 2u);
  EXPECT_EQ(script.steps[0].bytes, std::string("\x01\x02"));
}

}  // namespace
}  // namespace vantrel::flash::avm1::testing
