#include "media/movie_facts.h"

#include <gtest/gtest.h>

namespace vantrel::media {
namespace {

MediaRecord Movie(double movieSize, std::int32_t frames, float rate) {
  MediaRecord record;
  record.Version = 8;
  record.MovieSize = movieSize;
  record.FrameCount = frames;
  record.FrameRate = rate;
  record.Width = 550;
  record.Height = 400;
  record.FileName = "intro.swf";
  return record;
}

TEST(MovieFacts, MovieTexts) {
  MediaRecord record = Movie(1000000, 240, 12);
  MovieInfoTexts texts = MovieInfoTextsFor(record);
  EXPECT_EQ(texts.TitleSummary, "intro.swf");
  EXPECT_EQ(texts.TypeValue, "Flash Movie (SWF)");
  EXPECT_EQ(texts.VersionValue, "8");
  EXPECT_EQ(texts.CompressionValue, "None");
  EXPECT_EQ(texts.SizeValue, "976 KB");
  EXPECT_EQ(texts.BitrateValue, "50 kbps (average)");
  EXPECT_EQ(texts.FrameValue, "550x400, 12 fps");
  EXPECT_EQ(texts.TimeValue, "240 (0:20)");

  record.IsCompressed = true;
  record.FileSize = 100000;
  record.MovieSize = 260000;
  record.Version = 6;
  record.Title = "Intro";
  texts = MovieInfoTextsFor(record);
  EXPECT_EQ(texts.CompressionValue, "38.5% of Original");
  EXPECT_EQ(texts.VersionValue, "6 \"MX\"");
  EXPECT_EQ(texts.TitleSummary, "Intro");
  record.Version = 7;
  EXPECT_EQ(MovieInfoTextsFor(record).VersionValue, "7 \"MX 2004\"");
  record.IsProjector = true;
  EXPECT_EQ(MovieInfoTextsFor(record).TypeValue, "Flash Projector (EXE)");
}

TEST(MovieFacts, LengthsAndRates) {
  EXPECT_EQ(MovieInfoTextsFor(Movie(1, 2400, 12)).TimeValue, "2400 (3:20)");
  EXPECT_EQ(MovieInfoTextsFor(Movie(1, 905, 12)).TimeValue, "905 (1:15)");
  EXPECT_EQ(MovieInfoTextsFor(Movie(1, 10, 12.5f)).FrameValue, "550x400, 12.5 fps");
  EXPECT_EQ(MovieInfoTextsFor(Movie(1, 10, 29.97f)).FrameValue, "550x400, 30 fps");
  // Nothing to divide by: the labels keep their texts.
  const MovieInfoTexts none = MovieInfoTextsFor(Movie(1000, 0, 0));
  EXPECT_EQ(none.TimeValue, "0:00");
  EXPECT_EQ(none.BitrateValue, "");
  EXPECT_EQ(none.FrameValue, "550x400, 0 fps");
}

TEST(MovieFacts, VideoTexts) {
  MediaRecord record = Movie(2000000, 250, 25);
  record.IsVideo = true;
  record.VideoCodec = 2;
  record.VideoRate = 400;
  record.AudioRate = 96;
  MovieInfoTexts texts = MovieInfoTextsFor(record);
  EXPECT_EQ(texts.TypeValue, "Flash Video (FLV)");
  EXPECT_EQ(texts.CompressionValue, "Sorenson H.263");
  EXPECT_EQ(texts.BitrateValue, "400 kbps (video) + 96 kbps (audio)");
  record.AudioRate = 0;
  record.VideoCodec = 5;  // VP6 with alpha has no name
  texts = MovieInfoTextsFor(record);
  EXPECT_EQ(texts.BitrateValue, "400 kbps");
  EXPECT_EQ(texts.CompressionValue, "None");
  record.VideoCodec = 7;
  EXPECT_EQ(MovieInfoTextsFor(record).CompressionValue, "None");
}

TEST(MovieFacts, TranslatedThroughTheLookup) {
  const TextLookup german = [](std::string_view key, std::string_view fallback) {
    return key == "frmInfo/txtAverage" ? std::string("Durchschnitt") : std::string(fallback);
  };
  EXPECT_EQ(MovieInfoTextsFor(Movie(1000000, 240, 12), german).BitrateValue, "50 kbps (Durchschnitt)");
}

TEST(MovieFacts, ByteSizesAndNumbers) {
  EXPECT_EQ(FormatByteSize(532), "532 bytes");
  EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
  EXPECT_EQ(FormatByteSize(1024), "1.00 KB");
  EXPECT_EQ(FormatByteSize(10 * 1024 + 1000), "10.9 KB");
  EXPECT_EQ(FormatByteSize(1.21 * 1048576), "1.21 MB");
  EXPECT_EQ(FormatByteSize(1.2199 * 1048576), "1.21 MB");  // truncated, not rounded
  EXPECT_EQ(FormatByteSize(1000 * 1024), "0.97 MB");
  EXPECT_EQ(FormatByteSize(3.5 * 1073741824.0), "3.50 GB");
  EXPECT_EQ(NumberText(38.5), "38.5");
  EXPECT_EQ(NumberText(-3), "-3");
  EXPECT_EQ(NumberText(1e16), "1E+16");
}

}  // namespace
}  // namespace vantrel::media
