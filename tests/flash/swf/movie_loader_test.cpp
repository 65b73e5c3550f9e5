#include <gtest/gtest.h>
#include <lzma.h>

#include "flash/character/definition.h"
#include "flash/raster/drawable.h"
#include "flash/swf/movie_loader.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash {
namespace {

using testing::Bytes;

Bytes SimpleTags() {
  Bytes tags;
  testing::PutBytes(tags, testing::SetBackgroundColor(0x11, 0x22, 0x33));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return tags;
}

// ZWS: "ZWS", version, uncompressed length, compressed length, LZMA properties, data.
Bytes ToZws(const Bytes& fws) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  lzma_stream stream = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_alone_encoder(&stream, &options), LZMA_OK);
  Bytes packed(fws.size() * 2 + 1024);
  stream.next_in = fws.data() + 8;
  stream.avail_in = fws.size() - 8;
  stream.next_out = packed.data();
  stream.avail_out = packed.size();
  EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
  packed.resize(packed.size() - stream.avail_out);
  lzma_end(&stream);
  Bytes out = {'Z', 'W', 'S', fws[3], fws[4], fws[5], fws[6], fws[7]};
  testing::PutU32(out, static_cast<std::uint32_t>(packed.size() - 13));
  out.insert(out.end(), packed.begin(), packed.begin() + 5);  // properties
  out.insert(out.end(), packed.begin() + 13, packed.end());   // data after the 13-byte header
  return out;
}

TEST(MovieLoader, ReadsHeaderAndBackgroundFromEveryKindOfFile) {
  const Bytes plain = testing::MakeMovie(SimpleTags(), 550, 400, 2, 9, 30);
  const Bytes zlib = testing::MakeMovie(SimpleTags(), 550, 400, 2, 9, 30, true);
  for (const Bytes& file : {plain, zlib, ToZws(plain)}) {
    std::string error;
    const auto movie = LoadMovieFromBytes(file, &error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->header.version, 9);
    EXPECT_EQ(movie->Width(), 550);
    EXPECT_EQ(movie->Height(), 400);
    EXPECT_DOUBLE_EQ(movie->header.frameRate, 30);
    EXPECT_EQ(movie->root.frameCount, 2);
    EXPECT_TRUE(movie->hasBackground);
    EXPECT_EQ(movie->background, (Rgba{0x11, 0x22, 0x33, 255}));
    EXPECT_FALSE(movie->actionScript3);
  }
}

TEST(MovieLoader, RejectsWhatIsNotAMovie) {
  std::string error;
  EXPECT_FALSE(LoadMovieFromBytes(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, &error));
  EXPECT_EQ(error, "not a Flash movie");
  EXPECT_FALSE(LoadMovieFromBytes(Bytes{'F', 'W', 'S'}, &error));
  // A compressed movie whose data is not zlib at all.
  Bytes broken = {'C', 'W', 'S', 8, 100, 0, 0, 0, 1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(LoadMovieFromBytes(broken, &error));
  EXPECT_NE(error.find("compressed data is broken"), std::string::npos);
}

TEST(MovieLoader, ReadsTheActionScript3FlagAndKeepsATruncatedMovie) {
  Bytes tags = testing::FileAttributes(true);
  testing::PutBytes(tags, testing::DefineRectangle(1, 0, 0, 200, 200, 255, 0, 0));
  testing::Place place;
  place.character = 1;
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, testing::ShowFrame());
  Bytes file = testing::MakeMovie(tags, 100, 100, 3);
  const auto whole = LoadMovieFromBytes(file, nullptr);
  ASSERT_TRUE(whole);
  EXPECT_TRUE(whole->actionScript3);
  EXPECT_EQ(whole->root.frameCount, 3);
  EXPECT_EQ(whole->root.framesLoaded, 1);  // one ShowFrame, no End
  ASSERT_EQ(whole->root.FrameAt(0).commands.size(), 1u);

  // Cut inside the PlaceObject2 tag: the tag keeps what is there, nothing crashes.
  file.resize(file.size() - 4);
  const auto cut = LoadMovieFromBytes(file, nullptr);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->dictionary.Size(), 1u);
}

TEST(MovieLoader, AHugeDeclaredFrameCountCostsNothing) {
  Bytes tags;
  for (int i = 0; i < 50; ++i) testing::PutBytes(tags, testing::DefineSprite(static_cast<std::uint16_t>(i + 1), 65535, testing::End()));
  const auto movie = LoadMovieFromBytes(testing::MakeMovie(tags, 10, 10, 65535), nullptr);
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->root.frameCount, 65535);
  EXPECT_LE(movie->root.frames.size(), 1u);
  // A sprite that ends with its End tag has the frames it holds, whatever it declares.
  const auto sprite = std::dynamic_pointer_cast<SpriteCharacter>(movie->dictionary.Find(50));
  ASSERT_TRUE(sprite);
  EXPECT_EQ(sprite->timeline.frameCount, 1);
  EXPECT_TRUE(sprite->timeline.frames.empty());
}

// How many frames a timeline plays and whether it goes back to frame 1 follow the tags
// the file holds: ShowFrame tags beyond the declared count play; without an End tag the
// playhead stays at the last frame; tags after the last ShowFrame make a frame that is
// played once and kept. ScriptLimits lowers the depth of script calls.
TEST(MovieLoader, FrameCountsFollowTheTagsAndScriptLimitsIsRead) {
  const auto frameAction = [] { return testing::Actions().TraceString("x").Tag(); };
  const auto sprite = [&](std::uint16_t id, std::uint16_t declared, int shows, bool trailing, bool end) {
    Bytes body;
    for (int i = 0; i < shows; ++i) {
      testing::PutBytes(body, frameAction());
      testing::PutBytes(body, testing::ShowFrame());
    }
    if (trailing) testing::PutBytes(body, frameAction());
    if (end) testing::PutBytes(body, testing::End());
    return testing::DefineSprite(id, declared, body);
  };
  Bytes tags = testing::Tag(65, {5, 0, 10, 0});
  testing::PutBytes(tags, sprite(1, 1, 2, false, true));  // more frames than declared
  testing::PutBytes(tags, sprite(2, 1, 2, false, false)); // no End
  testing::PutBytes(tags, sprite(3, 3, 1, true, true));   // a frame after the last ShowFrame
  testing::PutBytes(tags, sprite(4, 3, 2, false, true));  // fewer than declared, complete
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  const auto movie = LoadMovieFromBytes(testing::MakeMovie(tags), nullptr);
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->maxRecursionDepth, 5);
  struct Want {
    int frameCount, framesLoaded;
    bool repeats;
  };
  const Want want[] = {{2, 2, true}, {2, 2, false}, {2, 2, false}, {2, 2, true}};
  for (std::uint16_t id = 1; id <= 4; ++id) {
    const auto s = std::dynamic_pointer_cast<SpriteCharacter>(movie->dictionary.Find(id));
    ASSERT_TRUE(s) << id;
    EXPECT_EQ(s->timeline.frameCount, want[id - 1].frameCount) << id;
    EXPECT_EQ(s->timeline.framesLoaded, want[id - 1].framesLoaded) << id;
    EXPECT_EQ(s->timeline.repeats, want[id - 1].repeats) << id;
  }
}

TEST(MovieLoader, ParsesPlaceObject3WithFiltersAndBlendMode) {
  Bytes body = {0x06, 0x03};  // character + matrix; filters + blend mode
  testing::PutU16(body, 5);    // depth
  testing::PutU16(body, 7);    // character
  testing::PutBytes(body, testing::MatrixRecord(200, 400));
  body.push_back(2);           // two filters
  body.push_back(1);           // blur: 9 bytes
  for (int i = 0; i < 9; ++i) body.push_back(static_cast<std::uint8_t>(i));
  body.push_back(6);           // colour matrix: 80 bytes
  for (int i = 0; i < 80; ++i) body.push_back(0);
  body.push_back(3);           // multiply
  Bytes tags = testing::Tag(70, body);
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  const auto movie = LoadMovieFromBytes(testing::MakeMovie(tags), nullptr);
  ASSERT_TRUE(movie);
  const auto& commands = movie->root.FrameAt(0).commands;
  ASSERT_EQ(commands.size(), 1u);
  const PlaceCommand& place = commands[0].place;
  EXPECT_EQ(place.depth, 5);
  EXPECT_EQ(place.characterId.value_or(0), 7);
  ASSERT_TRUE(place.matrix);
  EXPECT_DOUBLE_EQ(place.matrix->tx, 200);
  EXPECT_DOUBLE_EQ(place.matrix->ty, 400);
  ASSERT_TRUE(place.filters);
  ASSERT_EQ(place.filters->size(), 2u);
  EXPECT_EQ((*place.filters)[0].type, 1);
  EXPECT_EQ((*place.filters)[0].data.size(), 9u);
  EXPECT_EQ((*place.filters)[1].type, 6);
  EXPECT_EQ(place.blendMode.value_or(0), 3);
}

TEST(MovieLoader, ParsesButtonsWithStatesActionsAndColourTransform) {
  Bytes body;
  testing::PutU16(body, 9);  // id
  body.push_back(0);         // not a menu
  const std::size_t offsetAt = body.size();
  testing::PutU16(body, 0);  // action offset, filled below
  body.push_back(0x01 | 0x08);  // up + hit test
  testing::PutU16(body, 1);
  testing::PutU16(body, 1);
  testing::PutBytes(body, testing::MatrixRecord(0, 0));
  testing::PutBytes(body, testing::ColorTransformRecord(256, 256, 256, 256));
  body.push_back(0);  // end of records
  const std::size_t actions = body.size();
  body[offsetAt] = static_cast<std::uint8_t>(actions - offsetAt);
  testing::PutU16(body, 0);       // last condition
  testing::PutU16(body, 0x0008);  // on release
  body.push_back(0x07);           // stop
  body.push_back(0x00);
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 0, 0, 255);
  testing::PutBytes(tags, testing::Tag(34, body));
  testing::PutBytes(tags, testing::End());
  const auto movie = LoadMovieFromBytes(testing::MakeMovie(tags), nullptr);
  ASSERT_TRUE(movie);
  const auto button = std::dynamic_pointer_cast<ButtonCharacter>(movie->dictionary.Find(9));
  ASSERT_TRUE(button);
  ASSERT_EQ(button->records.size(), 1u);
  EXPECT_EQ(button->records[0].states, 0x09);
  ASSERT_EQ(button->conditions.size(), 1u);
  EXPECT_EQ(button->conditions[0].conditions, 0x0008);
  EXPECT_EQ(*button->conditions[0].actions, (std::vector<std::uint8_t>{0x07, 0x00}));
}

// The walk hands drawable definitions to the reader it is given, in file order, and
// keeps what the model holds itself without one.
TEST(MovieLoader, DrawableDefinitionsGoToTheReaderTheWalkIsGiven) {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 0, 0, 255);
  Bytes sprite;
  testing::PutU16(sprite, 2);
  testing::PutU16(sprite, 1);
  testing::PutBytes(sprite, testing::ShowFrame());
  testing::PutBytes(sprite, testing::End());
  testing::PutBytes(tags, testing::Tag(39, sprite));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  const Bytes file = testing::MakeMovie(tags);

  struct Recorder : DefinitionReader {
    std::vector<std::uint16_t> codes;
    std::shared_ptr<Character> Read(std::uint16_t tagCode, std::span<const std::uint8_t>, Movie&,
                                    std::string*) override {
      codes.push_back(tagCode);
      return nullptr;
    }
  } recorder;
  const auto timelinesOnly = ReadMovie(file, &recorder, nullptr);
  ASSERT_TRUE(timelinesOnly);
  ASSERT_EQ(recorder.codes.size(), 1u);
  EXPECT_TRUE(IsDrawableDefinition(recorder.codes[0]));
  EXPECT_FALSE(timelinesOnly->dictionary.Find(1));
  EXPECT_TRUE(timelinesOnly->dictionary.Find(2));  // sprites are the model's own
  EXPECT_TRUE(ReadMovie(file, nullptr, nullptr)->dictionary.Find(2));

  const auto drawn = LoadMovieFromBytes(file, nullptr);
  ASSERT_TRUE(drawn);
  const Drawable* shape = AsDrawable(drawn->dictionary.Find(1).get());
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->Bounds(), QRectF(0, 0, 100, 100));
  EXPECT_EQ(AsDrawable(drawn->dictionary.Find(2).get()), nullptr);
}

}  // namespace
}  // namespace vantrel::flash
