#include "media/swf_header.h"

#include <gtest/gtest.h>

#include "media/identify.h"
#include "media_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::media {
namespace {

using testing::SwfRect;
using testing::SwfWriter;

MediaRecord Identify(testing::MediaFixture& f, const std::string& bytes) {
  MediaRecord record;
  const std::string path = f.Write("movie.swf", bytes);
  EXPECT_EQ(IdentifyMedia(f.context, path, record, false), "");
  return record;
}

TEST(MovieHeader, ReadsFrameSizeRateCountAndHeaderEnd) {
  testing::MediaFixture f;
  const MediaRecord record = Identify(f, SwfWriter(8, 550, 400, 12, 240).BackgroundColor(0x0A, 0xFF, 0).End().Plain());
  EXPECT_EQ(record.Version, 8);
  EXPECT_FALSE(record.IsCompressed);
  EXPECT_EQ(record.Width, 550);
  EXPECT_EQ(record.Height, 400);
  EXPECT_EQ(record.FrameRate, 12.0f);
  EXPECT_EQ(record.FrameCount, 240);
  // RECT of 15-bit fields: ceil(65 / 8) = 9 bytes from offset 8, then rate and count.
  EXPECT_EQ(record.HeaderEnd, 8 + 9 + 4 + 1);
  EXPECT_EQ(record.BackColor, "0AFF00");
}

TEST(MovieHeader, KeepsTheIntegerPartOfTheRate) {
  testing::MediaFixture f;
  EXPECT_EQ(Identify(f, SwfWriter().RateBytes(0x80, 0x0C).End().Plain()).FrameRate, 12.0f);
  EXPECT_EQ(Identify(f, SwfWriter().RateBytes(0x80, 0x1D).End().Plain()).FrameRate, 29.0f);
}

TEST(MovieHeader, RoundsTwipsHalfToEven) {
  testing::MediaFixture f;
  MediaRecord record = Identify(f, SwfWriter().Rect(SwfRect(0, 11010, 0, 11030)).End().Plain());
  EXPECT_EQ(record.Width, 550);   // 550.5
  EXPECT_EQ(record.Height, 552);  // 551.5
  // Fields wider than 16 bits keep their low 16 bits, as a signed number.
  record = Identify(f, SwfWriter().Rect(SwfRect(0, 0x10000 + 400, 0, 0, 20)).End().Plain());
  EXPECT_EQ(record.Width, 20);
}

TEST(MovieHeader, EmptyRectTakesOneByte) {
  testing::MediaFixture f;
  const MediaRecord record = Identify(f, SwfWriter(6, 0, 0, 24, 3).Rect(std::string(1, '\0')).End().Plain());
  EXPECT_EQ(record.Width, 0);
  EXPECT_EQ(record.Height, 0);
  EXPECT_EQ(record.FrameRate, 24.0f);
  EXPECT_EQ(record.FrameCount, 3);
  EXPECT_EQ(record.HeaderEnd, 8 + 1 + 4 + 1);
}

TEST(ShortWalk, LooksAtFiveTagsAtMost) {
  testing::MediaFixture f;
  SwfWriter late;
  for (int i = 0; i < 5; ++i) late.ShowFrame();
  EXPECT_EQ(Identify(f, late.BackgroundColor(1, 2, 3).End().Plain()).BackColor, "000000");
  SwfWriter fifth;
  for (int i = 0; i < 4; ++i) fifth.ShowFrame();
  EXPECT_EQ(Identify(f, fifth.BackgroundColor(1, 2, 3).End().Plain()).BackColor, "010203");
  EXPECT_EQ(Identify(f, SwfWriter().End().BackgroundColor(1, 2, 3).Plain()).BackColor, "000000");
}

TEST(ShortWalk, StopsAfterATagLongerThan10000Bytes) {
  testing::MediaFixture f;
  const std::string big(20000, 'x');
  EXPECT_EQ(Identify(f, SwfWriter().Tag(2, big).BackgroundColor(1, 2, 3).End().Plain()).BackColor, "000000");
  const std::string limit(10000, 'x');
  EXPECT_EQ(Identify(f, SwfWriter().Tag(2, limit).BackgroundColor(1, 2, 3).End().Plain()).BackColor, "010203");
  // The long tag itself is still handled.
  const std::string xml = "<rdf:RDF><rdf:Description><dc:title>Long</dc:title></rdf:Description></rdf:RDF>";
  const MediaRecord record =
      Identify(f, SwfWriter().Metadata(xml + std::string(12000, ' ')).BackgroundColor(1, 2, 3).End().Plain());
  EXPECT_EQ(record.Title, "Long");
  EXPECT_EQ(record.BackColor, "000000");
}

TEST(ShortWalk, LongTagHeaderBelow63) {
  testing::MediaFixture f;
  const MediaRecord record = Identify(f, SwfWriter().Tag(9, "\x11\x22\x33", true).End().Plain());
  EXPECT_EQ(record.BackColor, "112233");
  std::string movie = SwfWriter().Tag(9, "\x11\x22\x33", true).End().Plain();
  MediaFile file;
  file.OpenMemory(std::span(reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()));
  const TagHeader tag = ReadTagHeader(file, record.HeaderEnd);
  EXPECT_EQ(tag.Code, 9);
  EXPECT_EQ(tag.Length, 3u);
  EXPECT_TRUE(tag.LongHeader);
  EXPECT_EQ(tag.BodyPosition, record.HeaderEnd + 6);
  EXPECT_EQ(ReadTagHeader(std::span(reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()),
                          tag.NextPosition()).Code, kTagEnd);
}

TEST(ShortWalk, ReadsMetadataTitleAndDescription) {
  testing::MediaFixture f;
  const std::string xml =
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
      "xmlns:dc='http://purl.org/dc/1.1'><dc:title>Intro &amp; more</dc:title>"
      "<dc:description>A <b>short</b> one</dc:description></rdf:Description></rdf:RDF>";
  MediaRecord record = Identify(f, SwfWriter().FileAttributes().Metadata(xml).BackgroundColor(255, 255, 255).End().Plain());
  EXPECT_EQ(record.Title, "Intro & more");
  EXPECT_EQ(record.Description, "A short one");
  EXPECT_EQ(record.BackColor, "FFFFFF");

  const std::string noDescription = "<rdf:RDF><rdf:Description><dc:title>Only</dc:title></rdf:Description></rdf:RDF>";
  record = Identify(f, SwfWriter().Metadata(noDescription).End().Plain());
  EXPECT_EQ(record.Title, "Only");
  EXPECT_EQ(record.Description, "");

  record = Identify(f, SwfWriter().Metadata("<rdf:RDF><dc:title>broken</rdf:RDF>").End().Plain());
  EXPECT_EQ(record.Title, "");

  // Not UTF-8: read as Windows-1252.
  record = Identify(f, SwfWriter().Metadata("<rdf:RDF><rdf:Description><dc:title>Caf\xe9 \x80</dc:title>"
                                            "</rdf:Description></rdf:RDF>").End().Plain());
  EXPECT_EQ(record.Title, "Caf\xc3\xa9 \xe2\x82\xac");
  // The edges of the table: 0x80 is the euro sign, 0x9F the last entry (Y with
  // diaeresis), 0xA0 the first byte past it (no-break space, as Latin-1).
  EXPECT_EQ(TextFromAnsi("\x80\x9F\xA0\x81"), "\xe2\x82\xac\xc5\xb8\xc2\xa0\xc2\x81");
  EXPECT_EQ(TextFromAnsi("\x9E\x8C"), "\xc5\xbe\xc5\x92");
}

TEST(ShortWalk, TruncatedTagsReadAsZeros) {
  testing::MediaFixture f;
  std::string movie = SwfWriter().BackgroundColor(0x0A, 0xFF, 0x33).Plain();
  movie.pop_back();
  EXPECT_EQ(Identify(f, movie).BackColor, "0AFF00");
  EXPECT_EQ(FormatRGB(std::vector<std::uint8_t>{0, 0x0F, 0xF0}), "000FF0");
}

}  // namespace
}  // namespace vantrel::media
