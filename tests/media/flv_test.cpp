#include "media/flv.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>

#include "core/language.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/identify.h"
#include "media/movie_facts.h"
#include "media_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::media {
namespace {

using testing::AmfEntries;
using testing::AmfValue;
using testing::FlvMetaData;
using testing::FlvWriter;

struct Video {
  MediaRecord record;
  std::string path;
  std::string xml;  // video.xml as written, "" when none
};

Video Identify(testing::MediaFixture& f, const std::string& bytes) {
  Video video;
  video.path = f.Write("clip.flv", bytes);
  std::filesystem::remove(f.context.UserPath + "video.xml");
  EXPECT_EQ(IdentifyMedia(f.context, video.path, video.record, false), "");
  if (core::FileExists(f.context.UserPath + "video.xml")) {
    std::vector<std::uint8_t> bytesRead;
    core::ReadFileBytes(f.context.UserPath + "video.xml", bytesRead);
    video.xml = std::string(bytesRead.begin(), bytesRead.end());
  }
  return video;
}

double Decode(double value) {
  const std::string bytes = AmfValue::Number(value).bytes;
  return *DecodeAmfNumber(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), 8));
}

TEST(AmfNumber, KeepsSixteenMantissaBits) {
  EXPECT_EQ(Decode(0.5), 0.5);
  EXPECT_EQ(Decode(1.0), 1.0);
  EXPECT_EQ(Decode(-400.0), -400.0);
  EXPECT_EQ(Decode(195.3125), 195.3125);
  EXPECT_EQ(Decode(29.97), (1 + 57221.0 / 65536) * 16);
  EXPECT_EQ(Decode(0.0), 0.0);
  EXPECT_EQ(Decode(std::bit_cast<double>(std::uint64_t{0x000F000000000000})), std::ldexp(15.0 / 16, -1022));
  const std::uint8_t infinity[8] = {0x7F, 0xF0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(DecodeAmfNumber(infinity).has_value());
}

TEST(ReadVideoInfo, MetadataFirst) {
  testing::MediaFixture f;
  const AmfEntries meta = {{"duration", AmfValue::Number(10)},  {"width", AmfValue::Number(400)},
                           {"height", AmfValue::Number(300)},   {"framerate", AmfValue::Number(25)},
                           {"videocodecid", AmfValue::Number(2)}, {"videodatarate", AmfValue::Number(400)},
                           {"audiodatarate", AmfValue::Number(96)}, {"stereo", AmfValue::Boolean(true)}};
  FlvWriter flv;
  flv.Script(0, FlvMetaData(meta)).Video(0, testing::H263VideoData(3)).Video(40, testing::H263VideoData(3));
  const Video video = Identify(f, flv.Bytes());
  EXPECT_TRUE(video.record.IsVideo);
  EXPECT_EQ(video.record.Version, 1);
  EXPECT_EQ(video.record.Width, 400);
  EXPECT_EQ(video.record.Height, 300);
  EXPECT_EQ(video.record.FrameRate, 25.0f);
  EXPECT_EQ(video.record.FrameCount, 250);
  EXPECT_EQ(video.record.VideoCodec, 2);
  EXPECT_EQ(video.record.VideoRate, 400);
  EXPECT_EQ(video.record.AudioRate, 96);
  EXPECT_EQ(video.record.MovieSize, static_cast<double>(flv.Bytes().size()));
  EXPECT_EQ(video.record.BackColor, "");
  EXPECT_NE(video.xml.find("<TIME>0</TIME>"), std::string::npos) << video.xml;
  EXPECT_NE(video.xml.find("<SOURCE>" + video.path + "</SOURCE>"), std::string::npos) << video.xml;
  EXPECT_NE(video.xml.find("<WIDTH>400</WIDTH>"), std::string::npos);
  EXPECT_EQ(video.record.MoviePath, f.context.FlashPath + "video.swf?myXML=" +
                                        core::EscapeText(f.context.UserPath + "video.xml") + "&time=14:03:59");
}

TEST(ReadVideoInfo, MetadataDefaultsAndSigns) {
  testing::MediaFixture f;
  FlvWriter flv;
  flv.Script(0, FlvMetaData({{"audiodelay", AmfValue::Number(-0.038)},
                             {"duration", AmfValue::Number(4)},
                             {"Width", AmfValue::Number(999)},
                             {"videodatarate", AmfValue::Number(-0.0)},
                             {"audiodatarate", AmfValue::Number(32.5)}}));
  const Video video = Identify(f, flv.Bytes());
  EXPECT_EQ(video.record.FrameRate, 24.0f);
  EXPECT_EQ(video.record.FrameCount, 96);
  EXPECT_EQ(video.record.Width, 320);  // "Width" is not "width"
  EXPECT_EQ(video.record.Height, 240);
  EXPECT_EQ(video.record.VideoRate, 0);
  EXPECT_EQ(video.record.AudioRate, 32);  // halves to even
}

TEST(ReadVideoInfo, SkipsStringsAndObjectsAmongTheNumbers) {
  testing::MediaFixture f;
  const std::string object = testing::Be16(1) + "k" + '\x02' + testing::Be16(1) + "v" + std::string("\0\0\x09", 3);
  const std::string strict = testing::Be32(2) + '\x00' + AmfValue::Number(1).bytes + '\x05';
  FlvWriter flv;
  flv.Script(0, FlvMetaData({{"width", AmfValue::Number(176)},
                             {"encoder", AmfValue::String("Lavf59.27.100")},
                             {"info", AmfValue::Raw(3, object)},
                             {"list", AmfValue::Raw(10, strict)},
                             {"when", AmfValue::Raw(11, std::string(10, '\0'))},
                             {"nothing", AmfValue::Raw(5, "")},
                             {"height", AmfValue::Number(144)}}));
  const Video video = Identify(f, flv.Bytes());
  EXPECT_EQ(video.record.Width, 176);
  EXPECT_EQ(video.record.Height, 144);
  EXPECT_FALSE(video.xml.empty());
}

TEST(ReadVideoInfo, MalformedMetadataWritesNothing) {
  testing::MediaFixture f;
  FlvWriter empty;
  empty.Script(0, FlvMetaData({{"width", AmfValue::Number(176)}, {"", AmfValue::Number(1)}}));
  Video video = Identify(f, empty.Bytes());
  EXPECT_EQ(video.record.Width, 176);  // what was read stays
  EXPECT_EQ(video.record.MoviePath, video.path);
  EXPECT_EQ(video.xml, "");

  FlvWriter unknown;
  unknown.Script(0, FlvMetaData({{"odd", AmfValue::Raw(42, "")}, {"width", AmfValue::Number(176)}}));
  video = Identify(f, unknown.Bytes());
  EXPECT_EQ(video.record.Width, 0);
  EXPECT_EQ(video.xml, "");

  FlvWriter overflow;
  overflow.Script(0, FlvMetaData({{"videodatarate", AmfValue::Number(40000)}}));
  EXPECT_EQ(Identify(f, overflow.Bytes()).xml, "");
}

TEST(ReadVideoInfo, WalksTagsWithoutMetadata) {
  testing::MediaFixture f;
  FlvWriter flv;
  for (int i = 0; i <= 100; ++i) {
    flv.Video(i * 40, testing::H263VideoData(3));
    flv.Audio(i * 40 + 1, std::string(20, 'a'));
  }
  flv.Tag(18, 4000, std::string(1, '\x02') + testing::Be16(8) + "onCuePnt" + '\x05');
  const Video video = Identify(f, flv.Bytes());
  EXPECT_EQ(video.record.FrameCount, 101);
  EXPECT_EQ(video.record.FrameRate, 25.0f);
  EXPECT_EQ(video.record.Width, 176);
  EXPECT_EQ(video.record.Height, 144);
  EXPECT_EQ(video.record.VideoCodec, 2);
  EXPECT_NE(video.xml.find("<TIME>4000</TIME>"), std::string::npos) << video.xml;
}

TEST(ReadVideoInfo, PictureSizesOfTheFirstVideoTag) {
  testing::MediaFixture f;
  const auto size = [&](const std::string& data) {
    FlvWriter flv;
    flv.Video(0, data).Video(100, testing::H263VideoData(7));
    const MediaRecord record = Identify(f, flv.Bytes()).record;
    return std::to_string(record.Width) + "x" + std::to_string(record.Height);
  };
  EXPECT_EQ(size(testing::H263VideoData(0, 160, 120)), "160x120");
  EXPECT_EQ(size(testing::H263VideoData(1, 400, 300)), "400x300");
  EXPECT_EQ(size(testing::H263VideoData(2)), "352x288");
  EXPECT_EQ(size(testing::H263VideoData(4)), "128x96");
  EXPECT_EQ(size(testing::ScreenVideoData(1000, 700)), "1000x700");
  EXPECT_EQ(size(testing::ScreenVideoData(160, 120, 6)), "160x120");
  EXPECT_EQ(size("\x14" + std::string(20, '\x55')), "320x240");  // VP6: no size read
}

TEST(ReadVideoInfo, TruncatedFilesEndTheWalk) {
  testing::MediaFixture f;
  FlvWriter flv;
  for (int i = 0; i < 10; ++i) flv.Video(i * 100, testing::H263VideoData(3));
  const std::string whole = flv.Bytes();
  const Video cut = Identify(f, whole.substr(0, whole.size() - 10));
  EXPECT_EQ(cut.record.FrameCount, 10);
  EXPECT_EQ(cut.record.FrameRate, 10.0f);  // (10 * 1000 - 1000) / 900
  const Video header = Identify(f, whole.substr(0, 13));
  EXPECT_EQ(header.record.FrameCount, 0);
  EXPECT_EQ(header.record.Width, 320);
  EXPECT_FALSE(header.xml.empty());
}

TEST(VideoEndsEarly, ACutFileOrOneShorterThanItsDurationIsIncomplete) {
  testing::MediaFixture f;
  FlvWriter flv;
  flv.Script(0, FlvMetaData({{"duration", AmfValue::Number(1.0)}}));
  for (int i = 0; i < 10; ++i) flv.Video(i * 100, testing::H263VideoData(3));
  const std::string whole = flv.Bytes();
  double available = 0, claimed = 0;
  EXPECT_FALSE(VideoEndsEarly(f.Write("whole.flv", whole), available, claimed));
  EXPECT_DOUBLE_EQ(available, 0.9);
  EXPECT_DOUBLE_EQ(claimed, 1.0);
  // Cut inside the last tag, or after the metadata alone.
  EXPECT_TRUE(VideoEndsEarly(f.Write("cut.flv", whole.substr(0, whole.size() - 10)), available, claimed));
  EXPECT_DOUBLE_EQ(available, 0.8);
  EXPECT_TRUE(VideoEndsEarly(f.Write("head.flv", whole.substr(0, 60)), available, claimed));
  EXPECT_DOUBLE_EQ(available, 0.0);
  // Whole tags, but seconds short of the duration the metadata names.
  FlvWriter shortened;
  shortened.Script(0, FlvMetaData({{"duration", AmfValue::Number(3.0)}}));
  for (int i = 0; i < 10; ++i) shortened.Video(i * 100, testing::H263VideoData(3));
  EXPECT_TRUE(VideoEndsEarly(f.Write("short.flv", shortened.Bytes()), available, claimed));
  EXPECT_DOUBLE_EQ(claimed, 3.0);
  EXPECT_EQ(IncompleteVideoText(available, claimed), "The video is incomplete: its data ends after 0:01 of 0:03.");
}

}  // namespace
}  // namespace vantrel::media
