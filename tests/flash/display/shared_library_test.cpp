// Shared libraries: movies that import clips, fonts and classes from other movies
// (ImportAssets), written here as files beside each other and played from there.
#include <gtest/gtest.h>

#include <QImage>

#include "flash/control/flash_control.h"
#include "flash/movie_test_support.h"
#include "support/swf_shape_writer.h"
#include "support/temp_home.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;
using testing::PutString;
using testing::PutU16;
using testing::PutU8;
using vantrel::testing::SwfBits;

// DefineFont2 "Shared" whose 'A' is a square filling the em above the baseline.
Bytes SquareFont(std::uint16_t id) {
  SwfBits glyph;
  glyph.StyleBits(1, 0);
  glyph.StyleChange(true, 0, -1024, -1, 1);
  vantrel::testing::RectEdges(glyph, 1024, 1024);
  glyph.EndShape();
  SwfBits w;
  w.U16(id);
  w.U8(0x80 | 0x04);  // layout, wide codes
  w.U8(0);
  w.U8(6);
  w.Bytes({'S', 'h', 'a', 'r', 'e', 'd'});
  w.U16(1);
  w.U16(4);
  w.U16(static_cast<std::uint16_t>(4 + glyph.bytes.size()));
  w.Bytes(glyph.bytes);
  w.U16('A');
  w.U16(1024);
  w.U16(0);
  w.U16(0);
  w.U16(1024);
  w.Rect(0, 1024, -1024, 0);
  w.U16(0);
  return testing::Tag(48, w.bytes);
}

// A read-only field of width x height pixels in font fontId (outlines), 40 px green text.
Bytes FieldInFont(std::uint16_t id, std::uint16_t fontId, const std::string& text, int width, int height) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, testing::RectRecord(0, width * 20, 0, height * 20));
  PutU8(body, 0x80 | 0x08 | 0x04 | 0x01);  // text, read-only, colour, font
  PutU8(body, 0x10 | 0x01);                // not selectable, outlines
  PutU16(body, fontId);
  PutU16(body, 40 * 20);
  PutBytes(body, {0, 160, 0, 255});
  PutString(body, "");
  PutString(body, text);
  return testing::Tag(37, body);
}

// Static text id in font fontId: one 30 px glyph 0 in magenta, its em square at (0, 0).
Bytes StaticTextInFont(std::uint16_t id, std::uint16_t fontId) {
  SwfBits w;
  w.U16(id);
  w.Rect(0, 600, 0, 600);
  w.Matrix();
  w.U8(1);   // glyph bits
  w.U8(12);  // advance bits
  w.U8(0x8F);
  w.U16(fontId);
  w.Rgb(255, 0, 255);
  w.U16(0);    // x
  w.U16(600);  // y: the baseline
  w.U16(600);  // height
  w.U8(1);
  w.UB(1, 0);
  w.SB(12, 600);
  w.U8(0);
  return testing::Tag(11, w.bytes);
}

Bytes Export(const std::vector<std::pair<std::uint16_t, std::string>>& names) {
  Bytes body;
  PutU16(body, static_cast<std::uint16_t>(names.size()));
  for (const auto& [id, name] : names) {
    PutU16(body, id);
    PutString(body, name);
  }
  return testing::Tag(56, body);
}

Bytes Import(const std::string& url, const std::vector<std::pair<std::uint16_t, std::string>>& names) {
  Bytes body;
  PutString(body, url);
  PutBytes(body, {1, 0});  // ImportAssets2's reserved bytes
  PutU16(body, static_cast<std::uint16_t>(names.size()));
  for (const auto& [id, name] : names) {
    PutU16(body, id);
    PutString(body, name);
  }
  return testing::Tag(71, body);
}

Bytes InitAction(std::uint16_t sprite, const Actions& actions) {
  Bytes body;
  PutU16(body, sprite);
  PutBytes(body, actions.Data());
  body.push_back(0);
  return testing::Tag(59, body);
}

// #initclip of a class: _global[name] = function () { trace(name + " constructed " + this._name); }
// as a subclass of MovieClip, and Object.registerClass(name, _global[name]).
Actions RegisterTracingClass(const std::string& name) {
  Actions body;
  body.PushString(name + " constructed ").PushString("this").GetVariable().PushString("_name").Op(0x4E).Op(0x47).Trace();
  Bytes function;
  PutString(function, "");
  PutU16(function, 0);
  PutU16(function, static_cast<std::uint16_t>(body.Data().size()));
  Actions a;
  a.PushString("_global").GetVariable().PushString(name).OpWith(0x9B, function).Raw(body.Data()).Op(0x4F);
  // Name.prototype.__proto__ = MovieClip.prototype
  a.PushString("_global").GetVariable().PushString(name).Op(0x4E).PushString("prototype").Op(0x4E);
  a.PushString("__proto__").PushString("MovieClip").GetVariable().PushString("prototype").Op(0x4E).Op(0x4F);
  a.PushString("_global").GetVariable().PushString(name).Op(0x4E);
  a.PushString(name).PushNumber(2).PushString("Object").GetVariable().PushString("registerClass").Op(0x52).Op(0x17);
  return a;
}

// trace(target[property]) where target is a variable of the timeline.
Actions TraceMember(const std::string& target, const std::string& property) {
  return std::move(Actions().PushString(target).GetVariable().PushString(property).Op(0x4E).Trace());
}

Bytes Place(std::uint16_t character, std::uint16_t depth, const std::string& name = "", int xPx = 0, int yPx = 0) {
  testing::Place place;
  place.character = character;
  place.depth = depth;
  place.name = name;
  place.hasMatrix = true;
  place.x = xPx * 20;
  place.y = yPx * 20;
  return testing::PlaceObject2(place);
}

// The library: font 1 "SharedFont"; sprite 2 "Clip" holding the library's own red
// square 3 (50 x 50 px), with a class registered in its #initclip; a sprite 4 nobody
// imports whose #initclip traces.
Bytes Library() {
  Bytes tags;
  PutBytes(tags, SquareFont(1));
  PutBytes(tags, testing::DefineRectangle(3, 0, 0, 1000, 1000, 255, 0, 0));
  Bytes sprite;
  PutBytes(sprite, Place(3, 1));
  PutBytes(sprite, testing::ShowFrame());
  PutBytes(sprite, testing::End());
  PutBytes(tags, testing::DefineSprite(2, 1, sprite));
  PutBytes(tags, testing::DefineSprite(4, 1, testing::End()));
  PutBytes(tags, Export({{2, "Clip"}, {1, "SharedFont"}}));
  PutBytes(tags, InitAction(4, Actions().TraceString("library init")));
  PutBytes(tags, InitAction(2, RegisterTracingClass("Clip")));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, 1, 8);
}

// The importing movie: the library's clip as 10 at depth 1 ("imported"), a field in its
// font (11) below it, its own blue square under the same id 3 the library uses at the
// right, and static text in the imported font under that.
Bytes Importer(const std::string& library, const Bytes& frameActions = {}) {
  Bytes tags = testing::SetBackgroundColor(255, 255, 255);
  PutBytes(tags, Import(library, {{10, "Clip"}, {11, "SharedFont"}}));
  PutBytes(tags, testing::DefineRectangle(3, 0, 0, 600, 600, 0, 0, 255));
  PutBytes(tags, FieldInFont(12, 11, "A", 60, 48));
  PutBytes(tags, StaticTextInFont(13, 11));
  PutBytes(tags, Place(13, 4, "", 70, 60));
  PutBytes(tags, Place(10, 1, "imported"));
  PutBytes(tags, Place(12, 2, "field", 0, 50));
  PutBytes(tags, Place(3, 3, "", 70, 0));
  PutBytes(tags, frameActions.empty() ? TraceMember("imported", "_name").Tag() : frameActions);
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().Stop().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, 2, 8);
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Starts the movie at path with the player's own file reading.
std::unique_ptr<RunningMovie> StartFile(const std::string& path, const Bytes& bytes) {
  auto running = std::make_unique<RunningMovie>();
  std::string error;
  running->movie = LoadMovieFromBytes(bytes, &error);
  EXPECT_TRUE(running->movie) << error;
  PlayerHooks hooks;
  RunningMovie* raw = running.get();
  hooks.trace = [raw](const std::string& line) { raw->traces.push_back(line); };
  running->player = std::make_unique<MovieRuntime>(running->movie, hooks, MakeScriptHost, path);
  return running;
}

using Lines = std::vector<std::string>;

QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// The whole way a user sees it: the control opens the movie, the library beside it
// arrives before the importing frame runs, the imported clip draws from the library's
// dictionary, the field draws its text in the imported font, and the library's #initclip
// registered the class whose constructor runs for the placed clip.
TEST(SharedLibrary, ControlShowsImportedClipFontAndClassFromASiblingFile) {
  testing::TempHome home;
  home.WriteFile("lib/shared.swf", Text(Library()));
  const std::string path = home.WriteFile("lib/main.swf", Text(Importer("shared.swf")));
  FlashControl control;
  Lines traces;
  control.OnTrace = [&](const std::string& line) { traces.push_back(line); };
  ASSERT_TRUE(control.LoadMovie(0, path));
  EXPECT_EQ(control.FrameNum(), 0) << "the first frame shows with its library";
  EXPECT_EQ(traces, (Lines{"library init", "Clip constructed imported", "imported"}));
  control.SetSize(100, 100);
  QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
  control.PaintTo(image);
  EXPECT_EQ(Pixel(image, 25, 25), 0xFF0000u) << "the imported clip's square is the library's red one";
  EXPECT_EQ(Pixel(image, 75, 10), 0x0000FFu) << "the movie's own id 3 stays its blue square";
  EXPECT_EQ(Pixel(image, 75, 40), 0xFFFFFFu);
  // The square glyph of the imported font, about 40 px from the field's left gutter.
  EXPECT_EQ(Pixel(image, 20, 75), 0x00A000u);
  EXPECT_EQ(Pixel(image, 55, 75), 0xFFFFFFu);
  EXPECT_EQ(Pixel(image, 85, 75), 0xFF00FFu) << "static text draws the imported font's glyph";
}

// The importing frame waits for a library that comes over the network, however long it
// takes; getBytesTotal of an imported clip is its library's size; the imported clip
// plays the library's timeline.
TEST(SharedLibrary, FrameWaitsForTheLibraryAndImportedClipsBelongToIt) {
  const Bytes library = Library();
  const Bytes importer = Importer("shared.swf");
  auto run = std::make_unique<RunningMovie>();
  run->movie = LoadMovieFromBytes(importer, nullptr);
  ASSERT_TRUE(run->movie);
  std::vector<FetchRequest> requests;
  FetchCallbacks pending;
  PlayerHooks hooks;
  RunningMovie* raw = run.get();
  hooks.trace = [raw](const std::string& line) { raw->traces.push_back(line); };
  hooks.fetch = [&](const FetchRequest& request, FetchCallbacks callbacks) -> std::uint64_t {
    requests.push_back(request);
    pending = std::move(callbacks);
    return 1;
  };
  run->player = std::make_unique<MovieRuntime>(run->movie, hooks, MakeScriptHost, "http://example.com/movies/main.swf");
  for (int i = 0; i < 4; ++i) run->player->Tick();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].url, "http://example.com/movies/shared.swf");
  EXPECT_EQ(run->player->Root().CurrentFrame(), -1) << "frame 1 waits while the library loads";
  EXPECT_TRUE(run->traces.empty());
  pending.done(true, Text(library));
  run->player->Tick();  // the library arrives at this frame's loader stage
  EXPECT_EQ(run->player->Root().CurrentFrame(), -1);
  run->player->Tick();
  EXPECT_EQ(run->player->Root().CurrentFrame(), 0);
  EXPECT_EQ(run->traces, (Lines{"library init", "Clip constructed imported", "imported"}));
  DisplayObject* imported = ObjectAt(run->player->Root(), 1);
  ASSERT_TRUE(imported && imported->Kind() == DisplayKind::MovieClip);
  EXPECT_EQ(imported->characterId, 10);
  EXPECT_EQ(imported->Movie()->url, "http://example.com/movies/shared.swf");
  const auto* square = ObjectAt(*static_cast<MovieClip*>(imported), 1);
  ASSERT_TRUE(square);
  EXPECT_EQ(square->Drawn()->Bounds(), QRectF(0, 0, 1000, 1000)) << "id 3 inside the clip is the library's";
  EXPECT_EQ(ObjectAt(run->player->Root(), 3)->Drawn()->Bounds(), QRectF(0, 0, 600, 600));

  auto bytesOf = [&](const std::string& target) {
    Actions a;
    a.PushNumber(0).PushString(target).GetVariable().PushString("getBytesTotal").Op(0x52).Trace();
    Bytes code = a.Data();
    code.push_back(0);
    run->traces.clear();
    run->player->RunBlockNow(&run->player->Root(), std::make_shared<std::vector<std::uint8_t>>(code));
    return run->traces.empty() ? std::string() : run->traces.back();
  };
  EXPECT_EQ(bytesOf("_root"), std::to_string(importer.size()));
  EXPECT_EQ(bytesOf("imported"), std::to_string(library.size()));
  EXPECT_EQ(bytesOf("_root"), std::to_string(importer.size()));
}

// A library that cannot be read leaves the movie playing with what it has.
TEST(SharedLibrary, MissingLibraryLetsTheMovieRunOn) {
  testing::TempHome home;
  const Bytes importer = Importer("nowhere.swf", Actions().TraceString("frame 1").Tag());
  auto run = StartFile(home.WriteFile("main.swf", Text(importer)), importer);
  for (int i = 0; i < 3; ++i) run->player->Tick();
  EXPECT_EQ(run->traces, Lines{"frame 1"});
  EXPECT_EQ(run->player->Root().CurrentFrame(), 1);
  EXPECT_EQ(ObjectAt(run->player->Root(), 1), nullptr) << "the import placed nothing";
  EXPECT_NE(ObjectAt(run->player->Root(), 2), nullptr) << "the field is there, without its font";
}

// Libraries that import themselves (twice over, so the tree doubles at every level) end
// after a bounded number of loads, and the movie plays what arrived.
TEST(SharedLibrary, LibrariesImportingEachOtherInARingEnd) {
  testing::TempHome home;
  Bytes ring;
  PutBytes(ring, Import("ring.swf", {{30, "Clip"}}));
  PutBytes(ring, Import("./ring.swf", {{31, "Clip"}}));
  PutBytes(ring, testing::DefineRectangle(3, 0, 0, 1000, 1000, 255, 0, 0));
  Bytes sprite;
  PutBytes(sprite, Place(3, 1));
  PutBytes(sprite, testing::ShowFrame());
  PutBytes(sprite, testing::End());
  PutBytes(ring, testing::DefineSprite(2, 1, sprite));
  PutBytes(ring, Export({{2, "Clip"}}));
  PutBytes(ring, testing::ShowFrame());
  PutBytes(ring, testing::End());
  home.WriteFile("ring.swf", Text(testing::MakeMovie(ring, 100, 100, 1, 8)));
  Bytes tags;
  PutBytes(tags, Import("ring.swf", {{10, "Clip"}}));
  PutBytes(tags, Place(10, 1, "ringed"));
  PutBytes(tags, Actions().TraceString("frame 1").Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  const Bytes main = testing::MakeMovie(tags, 100, 100, 1, 8);
  auto run = StartFile(home.WriteFile("main.swf", Text(main)), main);
  for (int i = 0; i < 3; ++i) run->player->Tick();
  EXPECT_EQ(run->traces, Lines{"frame 1"});
  EXPECT_NE(ObjectAt(run->player->Root(), 1), nullptr);
}

// A library may import in turn: the middle library's sprite places what it imported
// from the inner one, and the inner library's #initclip runs for the outer movie too.
TEST(SharedLibrary, LibraryThatImportsFromAnotherLibrary) {
  testing::TempHome home;
  home.WriteFile("inner.swf", Text(Library()));
  Bytes middle;
  PutBytes(middle, Import("inner.swf", {{7, "Clip"}}));
  Bytes outer;
  PutBytes(outer, Place(7, 1, "inner"));
  PutBytes(outer, testing::ShowFrame());
  PutBytes(outer, testing::End());
  PutBytes(middle, testing::DefineSprite(5, 1, outer));
  PutBytes(middle, Export({{5, "Outer"}}));
  PutBytes(middle, testing::ShowFrame());
  PutBytes(middle, testing::End());
  home.WriteFile("middle.swf", Text(testing::MakeMovie(middle, 100, 100, 1, 8)));
  Bytes tags;
  PutBytes(tags, Import("middle.swf", {{20, "Outer"}}));
  PutBytes(tags, Place(20, 1, "outer"));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  const Bytes main = testing::MakeMovie(tags, 100, 100, 1, 8);
  auto run = StartFile(home.WriteFile("main.swf", Text(main)), main);
  for (int i = 0; i < 3; ++i) run->player->Tick();
  EXPECT_EQ(run->traces, (Lines{"library init", "Clip constructed inner"}));
  auto* outerClip = static_cast<MovieClip*>(ObjectAt(run->player->Root(), 1));
  ASSERT_TRUE(outerClip);
  auto* innerClip = ObjectAt(*outerClip, 1);
  ASSERT_TRUE(innerClip && innerClip->IsContainer());
  EXPECT_EQ(innerClip->Movie()->url, home.Path() + "inner.swf");
  EXPECT_NE(ObjectAt(*static_cast<MovieClip*>(innerClip), 1), nullptr);
}

// attachMovie knows an imported symbol by its name, and its class comes with it; a movie
// loaded into a level waits for its own libraries the same way.
TEST(SharedLibrary, AttachMovieOfAnImportedNameAndLoadedMoviesImportToo) {
  testing::TempHome home;
  home.WriteFile("shared.swf", Text(Library()));
  Actions attach;
  attach.PushNumber(5).PushString("attached").PushString("Clip").PushNumber(3).PushString("this").GetVariable();
  attach.PushString("attachMovie").Op(0x52).Op(0x17);
  Bytes frame = attach.Tag();
  PutBytes(frame, TraceMember("attached", "_name").Tag());
  const Bytes child = Importer("shared.swf", frame);
  home.WriteFile("child.swf", Text(child));
  Bytes tags;
  // loadMovieNum("child.swf", 1)
  Bytes getUrl;
  PutString(getUrl, "child.swf");
  PutString(getUrl, "_level1");
  PutBytes(tags, Actions().OpWith(0x83, getUrl).Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  const Bytes main = testing::MakeMovie(tags, 100, 100, 1, 8);
  auto run = StartFile(home.WriteFile("main.swf", Text(main)), main);
  for (int i = 0; i < 5; ++i) run->player->Tick();
  EXPECT_EQ(run->traces, (Lines{"library init", "Clip constructed imported", "Clip constructed attached", "attached"}));
  MovieClip* level = run->player->Level(1);
  ASSERT_TRUE(level);
  DisplayObject* attached = level->ChildAt(5);
  ASSERT_TRUE(attached && attached->IsContainer());
  EXPECT_EQ(attached->Movie()->url, home.Path() + "shared.swf");
  EXPECT_NE(ObjectAt(*static_cast<MovieClip*>(attached), 1), nullptr);
}

}  // namespace
}  // namespace vantrel::flash
