#include "media/extract_resources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/text.h"
#include "media/identify.h"
#include "media/jpeg_repair.h"
#include "support/image_check.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel::media {
namespace {

namespace fs = std::filesystem;

using testing::Le16;
using testing::Le32;

std::string Tag(unsigned code, const std::string& body) { return testing::SwfTag(static_cast<std::uint16_t>(code), body); }

// A plain movie of version 10 with the tags, then End.
std::string Movie(const std::string& tags) {
  testing::SwfWriter writer(10, 0, 0, 12, 1);
  writer.Raw(tags);
  writer.End();
  return writer.Plain();
}

// The record a full identification gives for the movie at path.
MediaRecord Identified(const testing::TempHome& home, const std::string& path) {
  MediaContext context;
  context.CachePath = home.Path();
  MediaRecord record;
  EXPECT_EQ(IdentifyMedia(context, path, record, true), "");
  return record;
}

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

class ExtractTest : public ::testing::Test {
 protected:
  // Writes the movie and runs the walk with the chosen categories.
  ExtractReport Run(const std::string& tags, std::array<bool, 5> chosen = {true, true, true, true, true},
                    const ExtractProgress& progress = {}, const std::atomic<bool>* cancel = nullptr) {
    const MediaRecord record = Identified(home, home.WriteFile("movie.swf", Movie(tags)));
    fs::create_directories(Dest());
    counters = CountersFor(chosen);
    return ExtractResources(record, Dest(), progress, counters, cancel);
  }
  std::string Dest() const { return home.Path() + "out/"; }
  std::string Out(const std::string& name) const { return ReadAll(Dest() + "movie.swf" + name); }
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dest())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempHome home;
  ExtractCounters counters{};
};

const std::string kMp3Frames = std::string("\xFF\xFB\x90\x64", 4) + std::string(40, '\x11');

TEST_F(ExtractTest, JpegImagesAreWrittenAsLaidOutAndKeepTheirIdsUnsigned) {
  const testing::JpegParts jpeg = testing::EncodeJpeg(24, 16);
  // DefineBits before any JPEGTables: an empty table part, the image as stored.
  // DefineBits after the tables: the tables buffer (the JPEGTables body from its fifth
  // byte) and the image, not merged. DefineBitsJPEG2 with the old FF D9 FF D8 prefix,
  // one without it (its first four bytes go with the six passed over), one with PNG data.
  const std::string png = "\x89PNG\r\n\x1A\n" + std::string(20, 'p');
  Run(Tag(6, Le16(1) + jpeg.whole) + Tag(8, jpeg.tables) + Tag(6, Le16(2) + jpeg.image) +
      Tag(21, Le16(40000) + std::string("\xFF\xD9\xFF\xD8", 4) + jpeg.whole) + Tag(21, Le16(4) + jpeg.whole) +
      Tag(21, Le16(5) + png));
  EXPECT_EQ(counters[kExtractJpeg], 5);
  EXPECT_EQ(Out(".1.jpg"), jpeg.whole);
  // libjpeg's table stream less its first four bytes is the 570-byte layout the repair fits.
  const std::string laidOut = jpeg.tables.substr(4) + jpeg.image;
  std::vector<std::uint8_t> repaired(laidOut.begin(), laidOut.end());
  EXPECT_TRUE(RepairJpeg(repaired));
  EXPECT_EQ(Out(".2.jpg"), std::string(repaired.begin(), repaired.end()));
  EXPECT_EQ(Out(".40000.jpg"), jpeg.whole);
  EXPECT_EQ(Out(".4.jpg"), jpeg.whole.substr(4));
  int width = 0, height = 0;
  EXPECT_TRUE(testing::DecodesAsJpeg(Out(".40000.jpg"), &width, &height));
  EXPECT_EQ(width, 24);
  EXPECT_EQ(Out(".5.png"), png);
}

TEST_F(ExtractTest, TableLayoutOf570BytesIsRepaired) {
  // The tables buffer is the JPEGTables body from its fifth byte: 570 bytes whose second
  // byte is not D8; the image stream follows with its SOI at offset 570.
  std::string tables(574, '\x21');
  std::string image = "\xFF\xD8" + std::string(120, '\0');
  for (std::size_t i = 2; i < image.size(); ++i) image[i] = static_cast<char>(i);
  Run(Tag(8, tables) + Tag(6, Le16(9) + image));
  const std::string out = Out(".9.jpg");
  ASSERT_EQ(out.size(), 570 + image.size());
  EXPECT_EQ(out.substr(0, 40), image.substr(0, 40));
  EXPECT_EQ(out[40], '\xDB');
  EXPECT_EQ(out.substr(41, 569), tables.substr(4, 569));
  EXPECT_EQ(out.substr(610, 2), std::string("\xDA\x00", 2));
  EXPECT_EQ(out.substr(612), image.substr(42));

  // One byte more of tables: not the repaired layout, written as it is.
  std::vector<std::uint8_t> other(571 + 50, 0x21);
  other[571] = 0xFF;
  other[572] = 0xD8;
  const std::vector<std::uint8_t> before = other;
  EXPECT_FALSE(RepairJpeg(other));
  EXPECT_EQ(other, before);
}

TEST_F(ExtractTest, SoundsAndStreamsPerSprite) {
  const std::string mp3Head = std::string("\x00\x20\x00\x00", 4);    // format 2
  const std::string adpcmHead = std::string("\x00\x10\x00\x00", 4);  // format 1
  const std::string block = std::string("\x40\x02\x00\x00", 4) + kMp3Frames;
  const std::string sprite = Le16(7) + Le16(1) + Tag(1, "") + Tag(0, "");
  Run(Tag(14, Le16(3) + "\x2F" + Le32(1152) + Le16(0) + kMp3Frames) +  // MP3
      Tag(14, Le16(4) + "\x1F" + Le32(1152) + Le16(0) + "adpcm data") +  // ADPCM: not written
      Tag(18, mp3Head) + Tag(19, block) + Tag(19, block) +                // movie.swf.stream.mp3
      Tag(39, sprite) + Tag(45, adpcmHead) + Tag(19, block) +            // not written
      Tag(18, mp3Head) + Tag(19, block) + Tag(18, mp3Head) + Tag(19, block + "second") +
      Tag(39, Le16(8) + Le16(1) + Tag(0, "")) + Tag(18, mp3Head));  // a head without blocks
  EXPECT_EQ(counters[kExtractEvent], 1);
  EXPECT_EQ(counters[kExtractStream], 4);
  EXPECT_EQ(Out(".3.mp3"), kMp3Frames);
  // The ADPCM head is passed over: the MP3 stream before it stays open and takes the
  // next block.
  EXPECT_EQ(Out(".stream.mp3"), kMp3Frames + kMp3Frames + kMp3Frames);
  // The second stream head after sprite 7 starts its file again.
  EXPECT_EQ(Out(".stream7.mp3"), kMp3Frames + "second");
  EXPECT_EQ(Out(".stream8.mp3"), "");
  EXPECT_EQ(Written(), (std::vector<std::string>{"movie.swf.3.mp3", "movie.swf.stream.mp3", "movie.swf.stream7.mp3",
                                                 "movie.swf.stream8.mp3"}));
}

TEST_F(ExtractTest, UncheckedCategoriesWriteOnlyTheMetadata) {
  const std::string rdf = "<rdf:RDF xmlns:rdf='x'/>";
  Run(Tag(77, rdf) + Tag(21, Le16(1) + testing::EncodeJpeg(8, 8).whole) +
          Tag(14, Le16(3) + "\x2F" + Le32(1152) + Le16(0) + kMp3Frames),
      {false, false, false, false, false});
  EXPECT_EQ(Written(), std::vector<std::string>{"movie.swf.rdf.xml"});
  EXPECT_EQ(Out(".rdf.xml"), rdf);
  EXPECT_EQ(ExtractMessage(counters), "No resources were extracted");
}

TEST_F(ExtractTest, StopEndsTheWalkBeforeTheNextTag) {
  const std::string jpeg = testing::EncodeJpeg(8, 8).whole;
  std::atomic<bool> cancel{false};
  std::vector<std::string> labels;
  Run(Tag(21, Le16(1) + jpeg) + Tag(21, Le16(2) + jpeg), {true, false, false, false, false},
      [&](double value, std::string_view label) {
        EXPECT_GT(value, 0.0);
        EXPECT_LE(value, 1.0);
        labels.emplace_back(label);
        cancel = true;
      },
      &cancel);
  EXPECT_EQ(labels, std::vector<std::string>{"DefineBitsJPEG2"});
  EXPECT_EQ(Written(), std::vector<std::string>{"movie.swf.1.jpg"});
  EXPECT_EQ(ExtractSummary(counters), "\r\nJPEG Compressed Images: 1");
  EXPECT_EQ(ExtractMessage(counters), "The following resources were extracted:\r\n\r\nJPEG Compressed Images: 1");
}

TEST_F(ExtractTest, LosslessImagesAndJpegAlphaBecomePngs) {
  // Lossless2, 32-bit ARGB premultiplied: 2x1 pixels.
  const std::string argb = std::string("\xFF\x10\x20\x30", 4) + std::string("\x80\x40\x00\x80", 4);
  // Lossless, colour-mapped: 3x2 pixels, rows padded to four bytes, two table entries.
  const std::string indices = std::string("\x00\x01\x00\x00\x01\x01\x05\x00", 8);
  const std::string table = std::string("\xFF\x00\x00\x00\x00\xFF", 6);
  const testing::JpegParts jpeg = testing::EncodeJpeg(4, 2);
  const std::string alpha = testing::ZlibCompress(std::string("\x00\x40\x80\xFF\x00\x40\x80\xFF", 8));
  Run(Tag(36, Le16(1) + "\x05" + Le16(2) + Le16(1) + testing::ZlibCompress(argb)) +
          Tag(20, Le16(2) + "\x03" + Le16(3) + Le16(2) + "\x01" + testing::ZlibCompress(table + indices)) +
          Tag(35, Le16(3) + Le32(static_cast<std::uint32_t>(jpeg.whole.size())) + jpeg.whole + alpha) +
          Tag(20, Le16(4) + "\x05" + Le16(200) + Le16(200) + "not zlib"),
      {true, true, false, false, false});
  // The JPEG3 image is lossless output only: counted and written under the PNG choice.
  EXPECT_EQ(counters[kExtractPng], 4);
  EXPECT_EQ(counters[kExtractJpeg], 0);

  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  ASSERT_TRUE(testing::DecodePng(Out(".1.png"), width, height, rgba));
  EXPECT_EQ(width, 2);
  EXPECT_EQ(rgba, (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 0xFF, 0x80, 0x00, 0xFF, 0x80}));
  ASSERT_TRUE(testing::DecodePng(Out(".2.png"), width, height, rgba));
  EXPECT_EQ(height, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(rgba.begin(), rgba.begin() + 8),
            (std::vector<std::uint8_t>{0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0xFF}));
  EXPECT_EQ(rgba[4 * 4 + 2], 0xFF);  // entry 1 is blue
  EXPECT_EQ(std::vector<std::uint8_t>(rgba.begin() + 20, rgba.end()),
            (std::vector<std::uint8_t>{0, 0, 0, 0xFF}));  // an index past the table is black

  EXPECT_EQ(Out(".3.jpg"), "<missing>");
  ASSERT_TRUE(testing::DecodePng(Out(".3.png"), width, height, rgba));
  EXPECT_EQ(width, 4);
  EXPECT_EQ(rgba[3], 0x00);
  EXPECT_EQ(rgba[7], 0x40);
  EXPECT_EQ(rgba[15], 0xFF);

  // Damaged zlib data: no file, and the reason is kept.
  EXPECT_EQ(Out(".4.png"), "<missing>");
}

TEST_F(ExtractTest, VideoStreamBecomesAnFlvFile) {
  const std::string key = std::string("\x00\x00\x80\x01\x00", 5) + "keyframe";
  const std::string inter = std::string("\x00\x00\x80\x01\x20", 5) + "inter";
  Run(Tag(60, Le16(5) + Le16(2) + Le16(352) + Le16(288) + std::string("\x00\x02", 2)) + Tag(61, Le16(5) + Le16(0) + key) +
          Tag(61, Le16(9) + Le16(0) + "other stream") + Tag(61, Le16(5) + Le16(1) + inter),
      {false, false, false, false, true});
  EXPECT_EQ(counters[kExtractVideo], 1);
  const std::string flv = Out(".5.flv");
  ASSERT_EQ(flv.substr(0, 5), std::string("FLV\x01\x01", 5));
  // Walk the tags: metadata, then two video tags with key and inter frame flags.
  std::vector<std::pair<int, int>> tags;  // type, first data byte
  std::vector<std::uint32_t> times;
  for (std::size_t at = 13; at + 11 <= flv.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(flv[i]); };
    const std::size_t size = (byte(at + 1) << 16) | (byte(at + 2) << 8) | byte(at + 3);
    tags.emplace_back(byte(at), byte(at + 11));
    times.push_back((byte(at + 4) << 16) | (byte(at + 5) << 8) | byte(at + 6));
    at += 11 + size + 4;
  }
  EXPECT_EQ(tags, (std::vector<std::pair<int, int>>{{18, 0x02}, {9, 0x12}, {9, 0x22}}));
  EXPECT_EQ(times.back(), 83u);  // frame 1 at 12 frames per second
}

TEST_F(ExtractTest, UnwritableDestinationIsReportedAndNothingLeaks) {
  const std::string tags = Tag(21, Le16(1) + testing::EncodeJpeg(8, 8).whole) + Tag(77, "<x/>");
  // A destination that is a file, not a folder.
  const MediaRecord record = Identified(home, home.WriteFile("movie.swf", Movie(tags)));
  const std::string notFolder = home.WriteFile("plain", "x");
  ExtractCounters all = CountersFor({true, true, true, true, true});
  ExtractReport report = ExtractResources(record, notFolder + "/", {}, all, nullptr);
  EXPECT_EQ(report.failed, 2);
  EXPECT_NE(report.firstFailure.find("movie.swf.1.jpg"), std::string::npos) << report.firstFailure;
  EXPECT_EQ(all[kExtractJpeg], 1);  // attempted resources are counted

  if (::geteuid() != 0) {  // permissions do not stop root
    fs::create_directories(Dest());
    fs::permissions(Dest(), fs::perms::owner_read | fs::perms::owner_exec);
    report = ExtractResources(record, Dest(), {}, all, nullptr);
    EXPECT_EQ(report.failed, 2);
    EXPECT_NE(report.firstFailure.find("Permission denied"), std::string::npos) << report.firstFailure;
    fs::permissions(Dest(), fs::perms::owner_all);
    EXPECT_TRUE(Written().empty());
  }
  // The movie itself is never touched, and no temporary file is left beside it.
  EXPECT_EQ(ReadAll(record.MoviePath), Movie(tags));
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(home.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);
}

TEST(JpegRepair, MergesTableAndImageStreamsIntoOne) {
  const testing::JpegParts jpeg = testing::EncodeJpeg(16, 16);
  EXPECT_TRUE(IsWellFormedJpeg(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.whole.data()), jpeg.whole.size())));
  const std::string joined = "\xFF\xD9\xFF\xD8" + jpeg.tables + jpeg.image;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(joined.data()), joined.size());
  EXPECT_FALSE(IsWellFormedJpeg(bytes));
  const std::vector<std::uint8_t> merged = MergeJpegStreams(bytes);
  EXPECT_TRUE(IsWellFormedJpeg(merged));
  EXPECT_TRUE(testing::DecodesAsJpeg(std::string(merged.begin(), merged.end())));
  EXPECT_TRUE(MergeJpegStreams(bytes.first(bytes.size() / 3)).empty() ||
              !IsWellFormedJpeg(MergeJpegStreams(bytes.first(40))));
}

TEST(ExtractCorpus, AllCategoriesOnEveryMovieWriteFilesThatOpen) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
  const testing::TempHome home;
  MediaContext context;
  context.CachePath = home.Path() + "cache/";
  fs::create_directories(context.CachePath);
  std::map<std::string, int> written;  // extension -> files
  int movies = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".swf") continue;
    MediaRecord record;
    if (!IdentifyMedia(context, entry.path().string(), record, true).empty()) continue;
    ++movies;
    const std::string dest = home.Path() + "out/";
    fs::remove_all(dest);
    fs::create_directories(dest);
    ExtractCounters counters = CountersFor({true, true, true, true, true});
    const ExtractReport report = ExtractResources(record, dest, {}, counters, nullptr);
    const std::string where = entry.path().string();
    for (const auto& file : fs::directory_iterator(dest)) {
      const std::string name = file.path().filename().string();
      const std::string ext = file.path().extension().string();
      const std::string bytes = ReadAll(file.path().string());
      ++written[ext];
      int width = 0, height = 0;
      std::vector<std::uint8_t> rgba;
      // JPEG images are written as the movie lays them out, decodable or not.
      if (ext == ".png") {
        EXPECT_TRUE(testing::DecodePng(bytes, width, height, rgba)) << where << " " << name;
      } else if (ext == ".mp3") {
        EXPECT_TRUE(bytes.size() >= 2 && static_cast<std::uint8_t>(bytes[0]) == 0xFF &&
                    (static_cast<std::uint8_t>(bytes[1]) & 0xE0) == 0xE0)
            << where << " " << name;
      } else if (ext == ".flv") {
        EXPECT_EQ(bytes.substr(0, 3), "FLV") << where;
      }
    }
    // Damaged image data is reported apart; a write never fails here.
    EXPECT_EQ(report.failed, 0) << where << ": " << report.firstFailure;
  }
  EXPECT_GT(movies, 500);
  EXPECT_GT(written[".png"], 0);
  EXPECT_GT(written[".jpg"], 0);
  EXPECT_GT(written[".mp3"], 0);
  EXPECT_GT(written[".flv"], 0);
  for (const auto& [ext, count] : written) std::printf("  %s: %d files\n", ext.c_str(), count);
}

}  // namespace
}  // namespace vantrel::media
