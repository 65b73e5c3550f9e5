// Conformance over the shared corpus: every movie identifies, and the FLV facts that
// ffprobe and the tag walk recorded agree with the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "media/decompress.h"
#include "media/identify.h"
#include "media_fixture.h"
#include "support/temp_home.h"

namespace fs = std::filesystem;

namespace vantrel::media {
namespace {

std::vector<std::string> FilesUnder(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && it->path().extension() == extension) files.push_back(it->path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A number field of the "summary" object of a facts file; NaN when absent or null.
double SummaryNumber(const std::string& facts, const std::string& key) {
  const std::size_t summary = facts.find("\"summary\"");
  if (summary == std::string::npos) return NAN;
  const std::regex field("\"" + key + "\":\\s*(-?[0-9.eE+]+)");
  std::smatch match;
  const std::string rest = facts.substr(summary, facts.find('}', summary) - summary);
  return std::regex_search(rest, match, field) ? std::stod(match[1]) : NAN;
}

// Width, height and frame count read from the whole plain movie, for comparison with
// what the header-only copy gave.
bool FullRecord(testing::MediaFixture& f, const std::string& path, MediaRecord& record) {
  return IdentifyMedia(f.context, path, record, true).empty();
}

TEST(Corpus, EveryMovieIdentifies) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  testing::MediaFixture f;
  const std::vector<std::string> movies = FilesUnder(corpus, ".swf");
  ASSERT_GT(movies.size(), 100u);
  int compressed = 0;
  for (const std::string& path : movies) {
    MediaRecord header, full;
    const std::string result = IdentifyMedia(f.context, path, header, false);
    char signature[4] = {};
    std::ifstream(path, std::ios::binary).read(signature, 3);
    if (std::string(signature) != "FWS" && std::string(signature) != "CWS" && std::string(signature) != "ZWS") {
      // A few tests carry files named .swf that are not movies at all.
      EXPECT_EQ(result, "Not a Flash Movie") << path;
      continue;
    }
    ASSERT_EQ(result, "") << path;
    EXPECT_FALSE(f.context.Error.Pending()) << path;
    EXPECT_GT(header.Version, 0) << path;
    EXPECT_EQ(header.BackColor.size(), 6u) << path;
    if (!header.IsCompressed) continue;
    ++compressed;
    // The short copy and the whole movie agree on every header fact.
    ASSERT_TRUE(FullRecord(f, path, full)) << path;
    EXPECT_EQ(full.Width, header.Width) << path;
    EXPECT_EQ(full.Height, header.Height) << path;
    EXPECT_EQ(full.FrameCount, header.FrameCount) << path;
    EXPECT_EQ(full.BackColor, header.BackColor) << path;
    EXPECT_EQ(fs::file_size(full.MoviePath), static_cast<std::uintmax_t>(full.MovieSize)) << path;
    EXPECT_EQ(f.context.LastError, "") << path;
    fs::remove(full.MoviePath);
  }
  EXPECT_GT(compressed, 100);
}

TEST(Corpus, VideosAgreeWithTheirFacts) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  testing::MediaFixture f;
  const std::vector<std::string> videos = FilesUnder(corpus + "flv", ".flv");
  ASSERT_FALSE(videos.empty());
  for (const std::string& path : videos) {
    SCOPED_TRACE(path);
    const std::string facts = ReadText(path.substr(0, path.size() - 4) + ".facts.json");
    MediaRecord record;
    fs::remove(f.context.UserPath + "video.xml");
    ASSERT_EQ(IdentifyMedia(f.context, path, record, false), "");
    EXPECT_TRUE(record.IsVideo);
    EXPECT_EQ(record.MovieSize, static_cast<double>(fs::file_size(path)));
    // Every corpus video reads cleanly, so each gets its description.
    EXPECT_TRUE(fs::exists(f.context.UserPath + "video.xml"));
    const double width = SummaryNumber(facts, "width");
    const double height = SummaryNumber(facts, "height");
    const double metaRate = SummaryNumber(facts, "metadata_framerate");
    const double metaDuration = SummaryNumber(facts, "metadata_duration");
    const double videoTags = SummaryNumber(facts, "video_tag_count");
    const double lastTimestamp = SummaryNumber(facts, "last_tag_timestamp_ms");
    const bool metadata = facts.find("\"name\": \"onMetaData\"") != std::string::npos;
    if (!std::isnan(width)) {
      EXPECT_EQ(record.Width, width);
    }
    if (!std::isnan(height)) {
      EXPECT_EQ(record.Height, height);
    }
    if (metadata) {
      if (!std::isnan(metaRate)) {
        // The metadata numbers keep 16 mantissa bits: 29.97 reads as 29.96997.
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(metaRate) & ~((std::uint64_t{1} << 36) - 1);
        EXPECT_EQ(record.FrameRate, static_cast<float>(std::bit_cast<double>(bits)));
      }
      if (!std::isnan(metaDuration)) {
        const float rate = std::isnan(metaRate) ? 24.0f : static_cast<float>(metaRate);
        EXPECT_EQ(record.FrameCount, static_cast<std::int32_t>(std::nearbyint(rate * metaDuration)));
      }
    } else if (!std::isnan(videoTags) && !std::isnan(lastTimestamp)) {
      EXPECT_EQ(record.FrameCount, videoTags);
      if (lastTimestamp != 0) {
        EXPECT_FLOAT_EQ(record.FrameRate, static_cast<float>((videoTags * 1000 - 1000) / lastTimestamp));
      }
    }
  }
}

}  // namespace
}  // namespace vantrel::media
