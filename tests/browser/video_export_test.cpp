// `vantrel-tool export` on movies made here: what each format holds, the range and rate
// rules, the sound in step with the pictures, and bad input leaving nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <thread>

#include "browser/gif_palette.h"
#include "core/text.h"
#include "export_test_support.h"
#include "flash/av_reference.h"
#include "support/temp_home.h"

extern char** environ;

namespace vantrel::testing {
namespace {

namespace fs = std::filesystem;

QImage Png(const std::string& path) { return QImage(QString::fromStdString(path)); }

// The movie's sound as `vantrel-tool audio` writes it, read back from the WAV file.
flash::audio::PcmBuffer ToolAudio(const std::string& movie, const std::string& wav) {
  flash::audio::PcmBuffer pcm;
  if (RunTool({"audio", movie, "-o", wav}).exitCode != 0) return pcm;
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(wav, bytes);
  for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
    pcm.samples.push_back(static_cast<float>(static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8)) / 32767.0f);
  return pcm;
}

std::size_t FirstLoud(const flash::audio::PcmBuffer& pcm, float level) {
  for (std::size_t i = 0; i < pcm.Frames(); ++i)
    if (std::abs(pcm.samples[i * 2]) > level) return i;
  return pcm.Frames();
}

TEST(Export, Mp4HoldsH264AndAacWithEveryFrameAsRenderDrawsIt) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(20));
  const std::string out = home.Path() + "box.mp4";
  const auto run = RunTool({"export", movie, "-o", out});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("20 frames, 160x120 at 10 fps"), std::string::npos) << run.out;
  const MediaProbe probe = ProbeMedia(out);
  ASSERT_EQ(probe.codecs, (std::vector<std::string>{"h264", "aac"}));
  EXPECT_NEAR(probe.duration, 2.0, 0.05);
  EXPECT_DOUBLE_EQ(probe.frameRate, 10);
  std::vector<QImage> frames;
  ASSERT_TRUE(DecodeVideoInto(out, frames));
  ASSERT_EQ(frames.size(), 20u);
  for (const int n : {1, 7, 20}) {
    const std::string png = home.Path() + "r" + std::to_string(n) + ".png";
    ASSERT_EQ(RunTool({"render", movie, "-o", png, "--frame", std::to_string(n)}).exitCode, 0);
    EXPECT_GE(Psnr(frames[static_cast<std::size_t>(n - 1)], Png(png)), 40) << "frame " << n;
  }
  EXPECT_EQ(FilesIn(home.Path()).size(), 5u) << "no temporary file is left beside the target";
}

TEST(Export, EveryFormatWritesWhatItsNameSays) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(12));
  const std::string first = home.Path() + "first.png";
  ASSERT_EQ(RunTool({"render", movie, "-o", first}).exitCode, 0);
  struct Case {
    std::string name;
    std::vector<std::string> codecs;
  };
  const Case cases[] = {{"box.webm", {"vp9", "opus"}}, {"box.mkv", {"h264", "aac"}}, {"box.gif", {"gif"}},
                        {"box.apng", {"apng"}},         {"silent.mp4", {"h264"}}};
  for (const Case& c : cases) {
    std::vector<std::string> args = {"export", movie, "-o", home.Path() + c.name};
    if (c.name == "silent.mp4") args.push_back("--no-sound");
    const auto run = RunTool(args);
    ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
    EXPECT_EQ(ProbeMedia(home.Path() + c.name).codecs, c.codecs) << c.name;
    std::vector<QImage> frames;
    ASSERT_TRUE(DecodeVideoInto(home.Path() + c.name, frames)) << c.name;
    EXPECT_EQ(frames.size(), 12u) << c.name;
    if (c.name == "box.apng") {
      EXPECT_EQ(frames[0], Png(first).convertToFormat(QImage::Format_RGB32)) << "APNG is lossless";
    }
    if (c.name == "box.gif") {
      EXPECT_GE(Psnr(frames[0], Png(first)), 45) << "a clip of few colours keeps them";
    }
  }
  // A PNG target without a frame number is one animated PNG.
  ASSERT_EQ(RunTool({"export", movie, "-o", home.Path() + "anim.png", "--frames", "3"}).exitCode, 0);
  EXPECT_EQ(ProbeMedia(home.Path() + "anim.png").codecs, (std::vector<std::string>{"apng"}));
}

TEST(Export, PictureSequenceEqualsRenderByteForByte) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(8));
  const auto run = RunTool({"export", movie, "-o", home.Path() + "seq/%03d.png", "--size", "321x240"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(FilesIn(home.Path() + "seq").size(), 8u);
  for (int n = 1; n <= 8; ++n) {
    const std::string rendered = home.Path() + "render.png";
    ASSERT_EQ(RunTool({"render", movie, "-o", rendered, "--frame", std::to_string(n), "--size", "321x240"}).exitCode, 0);
    std::vector<std::uint8_t> a, b;
    char name[32];
    std::snprintf(name, sizeof name, "seq/%03d.png", n);
    ASSERT_TRUE(core::ReadFileBytes(home.Path() + name, a));
    ASSERT_TRUE(core::ReadFileBytes(rendered, b));
    EXPECT_EQ(a, b) << "frame " << n;
  }
}

TEST(Export, RangesRatesAndMoviesThatStopThemselves) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(20));
  const auto frames = [&](const std::vector<std::string>& options) {
    std::vector<std::string> args = {"export", movie, "-o", home.Path() + "r.mkv", "--no-sound"};
    args.insert(args.end(), options.begin(), options.end());
    const auto run = RunTool(args);
    std::vector<QImage> pictures;
    if (run.exitCode != 0 || !DecodeVideoInto(home.Path() + "r.mkv", pictures)) return -run.exitCode;
    return static_cast<int>(pictures.size());
  };
  EXPECT_EQ(frames({"--fps", "20"}), 40) << "twice the rate, the same length";
  EXPECT_EQ(frames({"--fps", "5"}), 10);
  EXPECT_EQ(frames({"--from", "5", "--to", "14"}), 10);
  EXPECT_EQ(frames({"--from", "1s", "--frames", "4"}), 4);
  EXPECT_EQ(frames({"--to", "0:00.5"}), 5);
  EXPECT_EQ(frames({"--frames", "45"}), 45) << "past the end the movie loops on, as in render";

  // From frame 6 the pictures are the movie's frames 6, 7, ...
  ASSERT_EQ(RunTool({"export", movie, "-o", home.Path() + "from/%d.png", "--from", "6", "--frames", "2"}).exitCode, 0);
  ASSERT_EQ(RunTool({"render", movie, "-o", home.Path() + "f6.png", "--frame", "6"}).exitCode, 0);
  EXPECT_EQ(Png(home.Path() + "from/1.png"), Png(home.Path() + "f6.png"));

  const std::string stops = home.WriteFile("stops.swf", MovingBoxMovie(20, 10, 160, 120, 5));
  const auto stopped = RunTool({"export", stops, "-o", home.Path() + "s.mp4"});
  ASSERT_EQ(stopped.exitCode, 0) << stopped.err;
  std::vector<QImage> pictures;
  ASSERT_TRUE(DecodeVideoInto(home.Path() + "s.mp4", pictures));
  EXPECT_EQ(pictures.size(), 5u) << "the export ends with the frame that stops the movie";
  EXPECT_NEAR(ProbeMedia(home.Path() + "s.mp4").duration, 0.5, 0.05);

  const std::string single = home.WriteFile("single.swf", MovingBoxMovie(1));
  const auto endless = RunTool({"export", single, "-o", home.Path() + "single.mp4"});
  EXPECT_EQ(endless.exitCode, 2);
  EXPECT_NE(endless.err.find("--frames"), std::string::npos) << endless.err;
  EXPECT_FALSE(fs::exists(home.Path() + "single.mp4"));
  EXPECT_EQ(RunTool({"export", single, "-o", home.Path() + "single.mp4", "--frames", "3"}).exitCode, 0);
  EXPECT_EQ(RunTool({"export", movie, "-o", home.Path() + "x.mp4", "--from", "30"}).exitCode, 2) << "a start past the end";
  EXPECT_EQ(RunTool({"export", movie, "-o", home.Path() + "x.mp4", "--from", "9", "--to", "3"}).exitCode, 2);
}

TEST(Export, SoundIsTheMixOfTheAudioVerbAndStartsWithItsFrame) {
  TempHome home;
  // The tone starts on frame 11 of a 10 fps movie: one second in.
  const std::string movie = home.WriteFile("beep.swf", MovingBoxMovie(30, 10, 160, 120, 0, 11));
  for (const char* name : {"beep.mp4", "beep.webm"}) {
    const std::string out = home.Path() + name;
    const auto run = RunTool({"export", movie, "-o", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const MediaProbe probe = ProbeMedia(out);
    EXPECT_NEAR(probe.audioStart, probe.videoStart, 0.1) << name << ": both tracks start together";
    flash::audio::PcmBuffer exported;
    ASSERT_TRUE(ReferenceAudio(out, exported)) << name;
    const double onset = static_cast<double>(FirstLoud(exported, 0.05)) / 44100;
    EXPECT_NEAR(onset, 1.0, 0.1) << name << ": the tone starts within a frame of frame 11";
    const flash::audio::PcmBuffer reference = ToolAudio(movie, home.Path() + "beep.wav");
    ASSERT_GT(reference.Frames(), 0u);
    int lag = 0;
    const double correlation = AlignedCorrelation(exported, reference, 4410, &lag);
    EXPECT_GE(correlation, 0.99) << name;
    EXPECT_LE(std::abs(lag), 4410) << name;
    std::printf("[ export ] %s: sound correlation %.4f, lag %d samples, onset %.3f s\n", name, correlation, lag, onset);
  }
}

TEST(Export, ProjectorsAndCompressedMoviesExportTheirMovie) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(6));
  const std::string projector = home.Path() + "box.exe";
  const auto packed = RunTool({"pack", movie, projector});
  if (packed.exitCode != 0) GTEST_SKIP() << "no projector stub: " << packed.err;
  const auto run = RunTool({"export", projector, "-o", home.Path() + "box.apng"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<QImage> frames;
  ASSERT_TRUE(DecodeVideoInto(home.Path() + "box.apng", frames));
  EXPECT_EQ(frames.size(), 6u);
  ASSERT_EQ(RunTool({"render", movie, "-o", home.Path() + "6.png", "--frame", "6"}).exitCode, 0);
  EXPECT_EQ(frames.back(), Png(home.Path() + "6.png").convertToFormat(QImage::Format_RGB32));
}

TEST(Export, BadInputGetsAClearMessageAndLeavesNothing) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(4));
  const std::string text = home.WriteFile("notes.swf", "this is not a movie");
  fs::create_directories(home.Path() + "out");
  const std::string out = home.Path() + "out/";
  struct Case {
    std::vector<std::string> args;
    int exit;
    const char* says;
  };
  const Case cases[] = {
      {{"export", movie, "-o", home.Path() + "no/such/folder/x.mp4"}, 1, "x.mp4"},
      {{"export", movie, "-o", text + "/x.mp4"}, 1, "x.mp4"},
      {{"export", text, "-o", out + "x.mp4"}, 1, "notes.swf"},
      {{"export", home.Path() + "missing.swf", "-o", out + "x.mp4"}, 1, "missing.swf"},
      {{"export", movie, "-o", out + "x.mp4", "--size", "0x0"}, 2, "--size"},
      {{"export", movie, "-o", out + "x.avi"}, 2, "format"},
      {{"export", movie, "-o", out + "x.mp4", "--format", "avi"}, 2, "unknown format"},
      {{"export", movie, "-o", out + "frames.png", "--format", "png"}, 2, "frame number"},
      {{"export", movie, "-o", out + "x.mp4", "--copy"}, 2, "--copy"},
      {{"export", movie, "-o", out + "x.mp4", "--input", home.Path() + "none.json"}, 1, "none.json"},
  };
  for (const Case& c : cases) {
    const auto run = RunTool(c.args);
    EXPECT_EQ(run.exitCode, c.exit) << c.args.back() << ": " << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_TRUE(FilesIn(out).empty()) << "nothing, not even a temporary file, is left";
  EXPECT_EQ(FilesIn(home.Path()), (std::vector<std::string>{"box.swf", "notes.swf", "out"}));
}

TEST(Export, CtrlCStopsTheExportAndLeavesNoFile) {
  TempHome home;
  const std::string movie = home.WriteFile("box.swf", MovingBoxMovie(20));
  fs::create_directories(home.Path() + "out");
  for (const std::string target : {"out/long.mp4", "out/seq/%05d.png"}) {
    const std::string tool = VANTREL_TOOL_PATH, path = home.Path() + target;
    const char* argv[] = {tool.c_str(), "export", movie.c_str(), "-o", path.c_str(), "--frames", "100000",
                          "--size", "640x480", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // Once it is writing, Ctrl+C. A hundred thousand frames never finish first, however
    // fast the machine; on a busy one the first file may take a while to appear.
    for (int i = 0; i < 2400 && FilesIn(home.Path() + "out").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_FALSE(FilesIn(home.Path() + "out").empty()) << target << ": the export never started writing";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << target;
    EXPECT_EQ(WEXITSTATUS(status), 1) << target;
    EXPECT_TRUE(FilesIn(home.Path() + "out").empty()) << target << ": no partial file";
  }
}

TEST(Export, FlashVideosAreCodedAgainOrCopied) {
  TempHome home;
  const std::string corpus = CorpusDir();
  if (!corpus.empty() && fs::exists(corpus + "flv/h263_176x144_12fps.flv")) {
    const std::string video = corpus + "flv/h263_176x144_12fps.flv";
    const auto run = RunTool({"export", video, "-o", home.Path() + "h263.mp4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<QImage> source, exported;
    ASSERT_TRUE(DecodeVideoInto(video, source));
    ASSERT_TRUE(DecodeVideoInto(home.Path() + "h263.mp4", exported));
    EXPECT_NEAR(static_cast<double>(exported.size()), static_cast<double>(source.size()), 1);
    EXPECT_GE(Psnr(exported[5], source[5]), 35) << "the sixth picture is the video's sixth";
    const auto copy = RunTool({"export", video, "-o", home.Path() + "copy.mp4", "--copy"});
    EXPECT_EQ(copy.exitCode, 1);
    EXPECT_NE(copy.err.find("not H.264"), std::string::npos) << copy.err;
  }
  // An H.264 and AAC video, made by ffmpeg, goes into MP4 as it is.
  const std::string flv = home.Path() + "avc.flv";
  const auto made = RunProcess("/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10",
                                                   "-f", "lavfi", "-i", "sine=frequency=440", "-t", "2", "-c:v",
                                                   "libx264", "-c:a", "aac", flv});
  if (made.exitCode != 0) GTEST_SKIP() << "ffmpeg could not make an H.264 FLV: " << made.err;
  const auto copy = RunTool({"export", flv, "-o", home.Path() + "avc.mp4", "--copy"});
  ASSERT_EQ(copy.exitCode, 0) << copy.err;
  EXPECT_EQ(ProbeMedia(home.Path() + "avc.mp4").codecs, (std::vector<std::string>{"h264", "aac"}));
  std::vector<QImage> source, copied;
  ASSERT_TRUE(DecodeVideoInto(flv, source));
  ASSERT_TRUE(DecodeVideoInto(home.Path() + "avc.mp4", copied));
  ASSERT_EQ(copied.size(), source.size());
  EXPECT_EQ(copied.back(), source.back()) << "the pictures are the same bytes, decoded alike";
  const auto coded = RunTool({"export", flv, "-o", home.Path() + "avc.webm"});
  ASSERT_EQ(coded.exitCode, 0) << coded.err;
  EXPECT_EQ(ProbeMedia(home.Path() + "avc.webm").codecs, (std::vector<std::string>{"vp9", "opus"}));
}

TEST(ClipPalette, KeepsFewColoursExactlyAndCutsManyToTheLimit) {
  QImage few(8, 8, QImage::Format_RGB32);
  few.fill(qRgb(10, 20, 30));
  few.setPixel(3, 3, qRgb(200, 100, 0));
  browser::ClipPalette palette;
  palette.Count(few.constBits(), 8, 8, static_cast<std::size_t>(few.bytesPerLine()));
  palette.Build(255);
  EXPECT_TRUE(palette.Exact());
  EXPECT_EQ(palette.Colours().size(), 2u);
  std::vector<std::uint8_t> indices(64);
  palette.Map(few.constBits(), 8, 8, static_cast<std::size_t>(few.bytesPerLine()), indices.data(), 8);
  EXPECT_EQ(palette.Colours()[indices[0]], 0xFF0A141Eu);
  EXPECT_EQ(palette.Colours()[indices[3 * 8 + 3]], 0xFFC86400u);

  QImage ramp(256, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) ramp.setPixel(x, y, qRgb(x, y * 4, 255 - x));
  browser::ClipPalette many;
  many.Count(ramp.constBits(), 256, 64, static_cast<std::size_t>(ramp.bytesPerLine()));
  many.Build(255);
  EXPECT_FALSE(many.Exact());
  EXPECT_EQ(many.Colours().size(), 255u);
  std::vector<std::uint8_t> mapped(256 * 64);
  many.Map(ramp.constBits(), 256, 64, static_cast<std::size_t>(ramp.bytesPerLine()), mapped.data(), 256);
  QImage back(256, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) back.setPixel(x, y, many.Colours()[mapped[static_cast<std::size_t>(y * 256 + x)]]);
  EXPECT_GE(Psnr(back, ramp), 30) << "255 colours hold a smooth ramp closely";
}

}  // namespace
}  // namespace vantrel::testing
