#include "media/identify.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/text.h"
#include "media/decompress.h"
#include "media_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::media {
namespace {

using testing::SwfWriter;

TEST(FileTitle, CutsAtTheLastSeparatorAndPoint) {
  EXPECT_EQ(FileTitle("/home/a/intro.swf", false), "intro.swf");
  EXPECT_EQ(FileTitle("/home/a/intro.v2.swf", true), "intro.v2");
  EXPECT_EQ(FileTitle("C:\\Movies\\intro.swf", true), "intro");
  EXPECT_EQ(FileTitle("noext", true), "noext");
}

TEST(IdentifyMedia, FillsTheRecordOfAPlainMovie) {
  testing::MediaFixture f;
  const std::string bytes = SwfWriter(9, 320, 240, 30, 90).End().Plain();
  const std::string path = f.Write("dir/clip.swf", bytes);
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, path, record, false), "");
  EXPECT_EQ(record.SourcePath, path);
  EXPECT_EQ(record.MoviePath, path);
  EXPECT_EQ(record.HeaderPath, "");
  EXPECT_EQ(record.FileName, "clip.swf");
  EXPECT_EQ(record.FileSize, static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(record.MovieSize, static_cast<double>(bytes.size()));
  EXPECT_EQ(record.Width, 320);
  EXPECT_EQ(record.FrameCount, 90);
  EXPECT_FALSE(f.context.Error.Pending());
}

TEST(IdentifyMedia, RefusesWhatIsNotAMovieWithABlankRecord) {
  testing::MediaFixture f;
  MediaRecord record;
  record.Width = 7;
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("a.txt", "Hello, this is text.\n"), record, false), "Not a Flash Movie");
  EXPECT_EQ(record, BlankRecord());
  // Signatures are compared exactly.
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("b.swf", std::string("fws\x08\x10\0\0\0\0\0\0\0", 12)), record, false), "Not a Flash Movie");
}

TEST(IdentifyMedia, MissingAndShortFilesFailWithTheLastError) {
  testing::MediaFixture f;
  MediaRecord record;
  f.context.LastError = "earlier failure";
  EXPECT_EQ(IdentifyMedia(f.context, f.home.Path() + "none.swf", record, false), "earlier failure");
  EXPECT_EQ(f.context.Error.description, "File not found");
  EXPECT_EQ(record, BlankRecord());
  f.context.LastError.clear();
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("empty.swf", ""), record, false), "");
  EXPECT_EQ(f.context.Error.description, "Input past end of file");
  EXPECT_EQ(record, BlankRecord());
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("seven.swf", std::string("FWS\x08\x20\0\0", 7)), record, false), "");
  EXPECT_TRUE(f.context.Error.Pending());
  // A later success clears the run-time error.
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("ok.swf", SwfWriter().End().Plain()), record, false), "");
  EXPECT_FALSE(f.context.Error.Pending());
}

TEST(IdentifyMedia, OldCompressedSignatureIsReadAsPlain) {
  testing::MediaFixture f;
  std::string movie = SwfWriter(5, 200, 100, 10, 5).End().Plain();
  movie[0] = 'C';
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, f.Write("old.swf", movie), record, false), "");
  EXPECT_FALSE(record.IsCompressed);
  EXPECT_EQ(record.HeaderPath, "");
  EXPECT_EQ(record.Width, 200);
  EXPECT_EQ(record.FrameCount, 5);
}

TEST(IdentifyMedia, CompressedMovieHeaderOnlyAndFull) {
  testing::MediaFixture f;
  SwfWriter writer(10, 640, 480, 25, 1000);
  writer.BackgroundColor(0x33, 0x66, 0x99).Tag(2, std::string(50000, 'z')).End();
  const std::string path = f.Write("c.swf", writer.Compressed());
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, path, record, false), "");
  EXPECT_TRUE(record.IsCompressed);
  EXPECT_EQ(record.MoviePath, path);
  EXPECT_EQ(record.SourcePath, path);
  EXPECT_EQ(record.HeaderPath, CachePathFor(f.context.CachePath, path, ".tmp", true, false));
  EXPECT_EQ(std::filesystem::file_size(record.HeaderPath), 8u + kHeaderOnlyBody);
  EXPECT_EQ(record.MovieSize, writer.PlainLength());
  EXPECT_EQ(record.Width, 640);
  EXPECT_EQ(record.BackColor, "336699");

  MediaRecord full;
  ASSERT_EQ(IdentifyMedia(f.context, path, full, true), "");
  EXPECT_EQ(full.SourcePath, path);
  EXPECT_EQ(full.MoviePath, record.HeaderPath);  // the same cache name, now the whole movie
  EXPECT_EQ(full.HeaderPath, "");
  std::vector<std::uint8_t> copy;
  ASSERT_TRUE(core::ReadFileBytes(full.MoviePath, copy));
  const std::string plain = writer.Plain();
  EXPECT_EQ(std::string(copy.begin(), copy.end()), plain);
  EXPECT_EQ(full.FrameCount, 1000);
}

TEST(IdentifyMedia, LzmaMoviesAreDecompressedToo) {
  testing::MediaFixture f;
  SwfWriter writer(13, 800, 600, 60, 12);
  writer.FileAttributes().BackgroundColor(1, 2, 3).End();
  const std::string path = f.Write("z.swf", writer.CompressedLzma());
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, path, record, true), "");
  EXPECT_TRUE(record.IsCompressed);
  EXPECT_EQ(record.Width, 800);
  EXPECT_EQ(record.FrameRate, 60.0f);
  EXPECT_EQ(record.BackColor, "010203");
  std::vector<std::uint8_t> copy;
  ASSERT_TRUE(core::ReadFileBytes(record.MoviePath, copy));
  EXPECT_EQ(std::string(copy.begin(), copy.end()), writer.Plain());
}

TEST(IdentifyMedia, DamagedCompressedMovieStillIdentifies) {
  testing::MediaFixture f;
  SwfWriter writer(8, 100, 100, 12, 2);
  std::string noise(4000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + (i >> 3) * 104729) >> 3);
  writer.BackgroundColor(9, 9, 9).Tag(2, noise).End();
  std::string movie = writer.Compressed();
  movie.resize(movie.size() / 2);  // cut in the middle of the stream
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, f.Write("cut.swf", movie), record, true), "");
  EXPECT_EQ(f.context.LastError, "-5");
  EXPECT_EQ(record.Width, 100);
  EXPECT_EQ(std::filesystem::file_size(record.MoviePath), writer.PlainLength());
  std::vector<std::uint8_t> copy;
  ASSERT_TRUE(core::ReadFileBytes(record.MoviePath, copy));
  EXPECT_EQ(copy.back(), 0);  // padded with zeros to the header's length

  std::string corrupt = writer.Compressed();
  corrupt[8] = 0x78;
  corrupt[9] = 0x00;  // a header whose check bits are wrong
  ASSERT_EQ(IdentifyMedia(f.context, f.Write("bad.swf", corrupt), record, true), "");
  EXPECT_EQ(f.context.LastError, "Movie Corrupted");
}

TEST(IdentifyMedia, UnwritableCacheGivesTheDecompressionError) {
  testing::MediaFixture f;
  f.context.CachePath = f.Write("not-a-folder", "x") + "/";
  f.context.LastError = "-5";
  MediaRecord record;
  EXPECT_EQ(IdentifyMedia(f.context, f.Write("c.swf", SwfWriter().End().Compressed()), record, false),
            "Error Reading Compressed Movie (-5)");
  EXPECT_EQ(record, BlankRecord());
  EXPECT_TRUE(f.context.Error.Pending());
}

TEST(IdentifyMedia, ProjectorsGoThroughTheExtractionHook) {
  testing::MediaFixture f;
  const std::string movie = f.Write("cache/inside.swf", SwfWriter(8, 400, 300, 15, 30).End().Plain());
  const std::string exe = f.Write("game.exe", std::string("MZ\x90\0stub bytes", 14));
  std::string seen;
  f.context.ExtractProjector = [&](MediaContext&, const std::string& path) {
    seen = path;
    return movie;
  };
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, exe, record, false), "");
  EXPECT_EQ(seen, exe);
  EXPECT_TRUE(record.IsProjector);
  EXPECT_EQ(record.SourcePath, exe);
  EXPECT_EQ(record.MoviePath, movie);
  EXPECT_EQ(record.FileName, "game.exe");
  EXPECT_EQ(record.FileSize, 14);
  EXPECT_EQ(record.Width, 400);

  f.context.ExtractProjector = [](MediaContext& context, const std::string&) {
    context.LastError = "Invalid Generic Projector";
    return std::string();
  };
  EXPECT_EQ(IdentifyMedia(f.context, exe, record, false), "Invalid Generic Projector");
  EXPECT_EQ(record, BlankRecord());

  // A projector that keeps yielding projectors is given up on.
  f.context.ExtractProjector = [&](MediaContext&, const std::string&) { return exe; };
  EXPECT_EQ(IdentifyMedia(f.context, exe, record, false), "Not a Flash Movie");
}

}  // namespace
}  // namespace vantrel::media
