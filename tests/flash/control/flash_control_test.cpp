#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"
#include "support/temp_home.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

// A 100x100 movie on a blue stage with a red square over its left half (0..50 px) and
// ten frames; frame 3 traces the variable "who".
Bytes TenFrames(bool compress = false) {
  Bytes tags = testing::SetBackgroundColor(0, 0, 255);
  PutBytes(tags, testing::DefineRectangle(1, 0, 0, 1000, 2000, 255, 0, 0));
  testing::Place place;
  place.character = 1;
  PutBytes(tags, testing::PlaceObject2(place));
  for (int frame = 1; frame <= 10; ++frame) {
    if (frame == 3) PutBytes(tags, Actions().PushString("who").GetVariable().Trace().Tag());
    PutBytes(tags, testing::ShowFrame());
  }
  PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, 10, 8, 10, compress);
}

QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

TEST(FlashControl, LoadsFromAPathWithAQueryAndReportsReadyState) {
  testing::TempHome home;
  const Bytes movie = TenFrames(true);
  const std::string path = home.WriteFile("movie.swf", std::string(movie.begin(), movie.end()));
  FlashControl control;
  std::vector<int> states;
  std::vector<std::string> traces;
  control.OnReadyStateChange = [&](int state) { states.push_back(state); };
  control.OnTrace = [&](const std::string& line) { traces.push_back(line); };
  EXPECT_EQ(control.FrameNum(), -1);
  EXPECT_EQ(control.TotalFrames(), 0);
  ASSERT_TRUE(control.LoadMovie(0, path + "?who=World%21+again&time=5"));
  EXPECT_EQ(states, std::vector<int>{4});
  EXPECT_EQ(control.GetVariable("who"), "World! again");
  EXPECT_EQ(control.GetVariable("time"), "5");
  EXPECT_EQ(control.GetVariable("nothing"), "");
  control.Tick();
  control.Tick();
  EXPECT_EQ(traces, std::vector<std::string>{"World! again"});

  // A failed load keeps the movie that is there.
  EXPECT_FALSE(control.LoadMovie(0, home.Path() + "missing.swf"));
  EXPECT_FALSE(control.LastError().empty());
  EXPECT_FALSE(control.LoadMovie(1, path));
  EXPECT_EQ(control.TotalFrames(), 10);
}

// The control's load walks the file's tags once: the sounds and embedded video of the
// root and of a sprite come out of that one walk as data of the model, and the sound
// and video sides work from the model alone.
TEST(FlashControl, ReadsEveryTagOnceAndKeepsSoundAndVideoInTheModel) {
  using testing::Tag;
  const Bytes pcmFlags = {0x3E};  // PCM little-endian, 44 kHz, 16-bit, mono
  Bytes tags;
  int count = 0;
  auto put = [&](const Bytes& tag) {
    PutBytes(tags, tag);
    ++count;
  };
  Bytes defineSound = {1, 0, 0x3E, 4, 0, 0, 0};  // id 1, four samples
  defineSound.insert(defineSound.end(), {1, 0, 2, 0, 3, 0, 4, 0});
  put(Tag(14, defineSound));
  put(Tag(60, {2, 0, 1, 0, 16, 0, 16, 0, 0, 2}));  // DefineVideoStream 2: 16 x 16, H.263
  put(Tag(61, {2, 0, 0, 0, 0xAB, 0xCD}));          // its frame 0
  Bytes sprite;
  PutBytes(sprite, Tag(18, {0x3E, 0x3E, 2, 0}));  // SoundStreamHead
  PutBytes(sprite, Tag(19, {9, 0, 8, 0}));        // SoundStreamBlock
  PutBytes(sprite, Tag(15, {1, 0, 0}));           // StartSound 1
  PutBytes(sprite, testing::ShowFrame());
  PutBytes(sprite, testing::End());
  put(testing::DefineSprite(3, 1, sprite));
  count += 5;
  put(Tag(56, {1, 0, 1, 0, 's', 'n', 'd', 0}));  // ExportAssets: sound 1 as "snd"
  put(Tag(89, {'s', 'n', 'd', 0, 0x04, 3, 0}));  // StartSound2 "snd", three loops
  put(testing::ShowFrame());
  put(testing::End());
  const Bytes movie = testing::MakeMovie(tags, 100, 100, 1, 9, 12, true);

  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(movie));
  const Movie& model = *control.GetMovie();
  EXPECT_EQ(model.tagsRead, static_cast<std::size_t>(count));
  ASSERT_TRUE(model.sounds.sounds.count(1));
  EXPECT_EQ(model.sounds.sounds.at(1).data.size(), 8u);
  EXPECT_EQ(model.sounds.sounds.at(1).sampleCount, 4u);
  ASSERT_TRUE(model.sounds.timelines.count(3));
  const TimelineSounds& spriteSounds = model.sounds.timelines.at(3);
  ASSERT_TRUE(spriteSounds.stream);
  EXPECT_EQ(spriteSounds.stream->blocks.at(0), (std::vector<std::uint8_t>{9, 0, 8, 0}));
  EXPECT_EQ(spriteSounds.starts.at(0).at(0).soundId, 1);
  ASSERT_TRUE(model.sounds.timelines.count(0));
  EXPECT_EQ(model.sounds.timelines.at(0).starts.at(0).at(0).info.loops, 3) << "StartSound2 finds the exported name";
  ASSERT_TRUE(model.videoStreams.count(2));
  EXPECT_EQ(model.videoStreams.at(2)->frames.at(0), (std::vector<std::uint8_t>{0xAB, 0xCD}));
  const auto video = model.dictionary.Find(2);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->Kind(), CharacterKind::Video);
  EXPECT_EQ(AsDrawable(video.get())->Bounds(), QRectF(0, 0, 320, 320));
}

TEST(FlashControl, FrameNumbersArZeroBasedAndPlaybackCommandsStep) {
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(TenFrames()));
  EXPECT_EQ(control.TotalFrames(), 10);
  EXPECT_EQ(control.FrameNum(), 0);
  EXPECT_TRUE(control.Playing());
  control.GotoFrame(9);
  EXPECT_EQ(control.CurrentFrame(), 9);
  EXPECT_TRUE(control.Playing());  // GotoFrame keeps the state
  control.Back();
  EXPECT_EQ(control.FrameNum(), 8);
  EXPECT_FALSE(control.Playing());
  control.Forward();
  control.Forward();  // no further than the last frame
  EXPECT_EQ(control.FrameNum(), 9);
  control.SetPlaying(true);
  control.SetLoop(false);
  control.Tick();
  EXPECT_EQ(control.FrameNum(), 9);  // looping off: stays on the last frame
  EXPECT_FALSE(control.Playing());
  control.Rewind();
  EXPECT_EQ(control.FrameNum(), 0);
  EXPECT_FALSE(control.Playing());
  control.Play();
  control.SetLoop(true);
  control.GotoFrame(9);
  control.Tick();
  EXPECT_EQ(control.FrameNum(), 0);
}

TEST(FlashControl, TheClockRunsFramesAtTheMovieRate) {
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(TenFrames()));  // 10 frames per second
  EXPECT_DOUBLE_EQ(control.FrameInterval(), 100);
  control.AdvanceTime(99);
  EXPECT_EQ(control.FrameNum(), 0);
  control.AdvanceTime(1);
  EXPECT_EQ(control.FrameNum(), 1);
  control.AdvanceTime(250);
  EXPECT_EQ(control.FrameNum(), 3);
  control.AdvanceTime(60000);  // a stalled host: a few frames, not a minute's worth
  EXPECT_LT(control.FrameNum(), 9);
  control.Stop();
  const int stopped = control.FrameNum();
  control.AdvanceTime(1000);
  EXPECT_EQ(control.FrameNum(), stopped);
}

TEST(FlashControl, PropertiesReadBackAsWritten) {
  FlashControl control;
  EXPECT_EQ(FlashControl::FlashVersion() >> 16, 32);
  for (const std::string name : {"High", "Medium", "Low", "AutoHigh", "AutoLow"}) {
    control.SetQuality2(name);
    EXPECT_EQ(control.Quality2(), name);
  }
  control.SetQuality2("autohigh");
  EXPECT_EQ(control.Quality2(), "AutoHigh");
  EXPECT_EQ(control.Quality(), 3);
  control.SetQuality2("Best?");
  EXPECT_EQ(control.Quality2(), "AutoHigh");
  control.SetQuality(0);
  EXPECT_EQ(control.Quality2(), "Low");
  control.SetQuality(1);
  EXPECT_EQ(control.Quality2(), "High");
  for (int mode = 0; mode <= 3; ++mode) {
    control.SetScaleMode(mode);
    EXPECT_EQ(control.ScaleMode(), mode);
  }
  control.SetScaleMode(7);
  EXPECT_EQ(control.ScaleMode(), 3);
  EXPECT_EQ(control.BGColor(), "FFFFFF");
  ASSERT_TRUE(control.LoadMovieData(TenFrames()));
  EXPECT_EQ(control.BGColor(), "0000FF");  // the movie's own
  control.SetBGColor("12ab34");
  EXPECT_EQ(control.BGColor(), "12AB34");
  control.SetBGColor("nonsense");
  EXPECT_EQ(control.BGColor(), "12AB34");
}

TEST(FlashControl, PaintsTheFrameWithBackgroundScaleModesAndRootAlpha) {
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(TenFrames()));
  QImage image(100, 100, QImage::Format_RGB32);
  control.PaintTo(image);
  EXPECT_EQ(Pixel(image, 25, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(image, 75, 50), 0x0000FFu);

  // Show all on a wide surface: the square stage is centred, borders in background.
  QImage wide(200, 100, QImage::Format_RGB32);
  control.PaintTo(wide);
  EXPECT_EQ(Pixel(wide, 10, 50), 0x0000FFu);
  EXPECT_EQ(Pixel(wide, 75, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(wide, 125, 50), 0x0000FFu);
  control.SetAlignMode(kAlignLeft);
  control.PaintTo(wide);
  EXPECT_EQ(Pixel(wide, 25, 50), 0xFF0000u);
  control.SetAlignMode(0);
  control.SetScaleMode(2);  // exact fit stretches the square to the whole width
  control.PaintTo(wide);
  EXPECT_EQ(Pixel(wide, 90, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(wide, 110, 50), 0x0000FFu);
  control.SetScaleMode(3);  // no scale: the 100-pixel stage in the middle
  control.PaintTo(wide);
  EXPECT_EQ(Pixel(wide, 60, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(wide, 110, 50), 0x0000FFu);

  control.SetScaleMode(0);
  control.SetVariable("_alpha", "50");
  EXPECT_EQ(control.GetVariable("_alpha"), "50");
  control.PaintTo(image);
  const QColor half = QColor::fromRgb(image.pixel(25, 50));
  EXPECT_NEAR(half.red(), 128, 2);
  EXPECT_NEAR(half.blue(), 127, 2);
}

TEST(FlashControl, ClipLayersMaskTheDepthsUnderThem) {
  // A green square masked by a 40x40 red square at the top left.
  Bytes tags = testing::SetBackgroundColor(255, 255, 255);
  PutBytes(tags, testing::DefineRectangle(1, 0, 0, 800, 800, 255, 0, 0));
  PutBytes(tags, testing::DefineRectangle(2, 0, 0, 2000, 2000, 0, 255, 0));
  testing::Place mask;
  mask.character = 1;
  mask.clipDepth = 2;
  PutBytes(tags, testing::PlaceObject2(mask));
  testing::Place masked;
  masked.depth = 2;
  masked.character = 2;
  PutBytes(tags, testing::PlaceObject2(masked));
  testing::Place above;
  above.depth = 3;
  above.character = 1;
  above.hasMatrix = true;
  above.x = 1200;
  above.y = 1200;
  PutBytes(tags, testing::PlaceObject2(above));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100)));
  QImage image(100, 100, QImage::Format_RGB32);
  control.PaintTo(image);
  EXPECT_EQ(Pixel(image, 20, 20), 0x00FF00u);  // inside the mask
  EXPECT_EQ(Pixel(image, 50, 20), 0xFFFFFFu);  // masked away
  EXPECT_EQ(Pixel(image, 70, 70), 0xFF0000u);  // above the clip depth: not masked
}

TEST(FlashControl, RaisesFsCommandFromTheMovie) {
  Bytes tags = Actions().GetUrl("FSCommand:SHOTCLICK", "3").Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::pair<std::string, std::string>> commands;
  control.FSCommand = [&](const std::string& c, const std::string& a) { commands.emplace_back(c, a); };
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags)));
  EXPECT_EQ(commands, (std::vector<std::pair<std::string, std::string>>{{"SHOTCLICK", "3"}}));
}

}  // namespace
}  // namespace vantrel::flash
