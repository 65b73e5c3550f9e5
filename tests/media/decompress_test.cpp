#include "media/decompress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>

#include "core/text.h"
#include "media/cache_copy.h"
#include "media/identify.h"
#include "media_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::media {
namespace {

using testing::SwfWriter;

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(core::ReadFileBytes(path, bytes)) << path;
  return std::string(bytes.begin(), bytes.end());
}

TEST(CachePathFor, FlattensEverySeparator) {
  EXPECT_EQ(CachePathFor("/c/", "C:\\Movies\\intro.swf", ".tmp", true, false), "/c/C@Movies#intro.swf.tmp");
  EXPECT_EQ(CachePathFor("/c/", "D:\\Movies\\intro.swf", ".tmp", true, false), "/c/D@Movies#intro.swf.tmp");
  EXPECT_EQ(CachePathFor("/c/", "\\\\server\\share\\a.swf", ".tmp", true, false), "/c/#server#share#a.swf.tmp");
  EXPECT_EQ(CachePathFor("/c/", "/home/u/a.swf", ".jpg", true, true), "#home#u#a.swf.jpg");
  EXPECT_EQ(CachePathFor("/c/", "/home/u//a.swf", "", true, false), "/c/#home#u#a.swf");
  EXPECT_EQ(CachePathFor("/c/", "/home/u/a.swf", ".jpg", false, false), "/home/u/a.jpg");
  EXPECT_EQ(CachePathFor("/c/", "/home/u/a.b.swf", ".jpg", false, true), "a.b.jpg");
}

TEST(CachePathFor, LongNamesStayDistinctAndFit) {
  const std::string deep = "/" + std::string(300, 'd') + "/";
  const std::string a = CachePathFor("/c/", deep + "one.swf", ".tmp", true, true);
  const std::string b = CachePathFor("/c/", deep + "two.swf", ".tmp", true, true);
  EXPECT_LE(a.size(), 255u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a.ends_with("one.swf.tmp"));
}

TEST(UncompressData, FollowsTheZlibResultRules) {
  const std::string data(5000, 'a');
  const std::string packed = testing::ZlibCompress(data);
  const std::span<const std::uint8_t> source(reinterpret_cast<const std::uint8_t*>(packed.data()), packed.size());
  std::vector<std::uint8_t> out;
  int code = 99;
  EXPECT_TRUE(UncompressData(source, out, code, 5000));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), data);
  EXPECT_TRUE(UncompressData(source, out, code, 6000));  // a shorter stream leaves zeros
  EXPECT_EQ(out.size(), 6000u);
  EXPECT_EQ(out.back(), 0);
  EXPECT_FALSE(UncompressData(source, out, code, 4000));  // does not fit
  EXPECT_EQ(code, -5);
  EXPECT_FALSE(UncompressData(source.first(source.size() / 2), out, code, 5000));
  EXPECT_EQ(code, -5);
  std::string broken = packed;
  broken[1] = 0;
  EXPECT_FALSE(UncompressData(std::span(reinterpret_cast<const std::uint8_t*>(broken.data()), broken.size()), out,
                              code, 5000));
  EXPECT_EQ(UncompressErrorText(code), "Movie Corrupted");
  out.assign(3, 7);
  EXPECT_TRUE(UncompressData({}, out, code, 10));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 7, 7}));
}

TEST(DecompressFlash, CopyHasTheHeaderLengthAndPlainSignature) {
  testing::MediaFixture f;
  SwfWriter writer(7, 100, 100, 12, 1);
  const std::uint32_t bare = SwfWriter(7, 100, 100, 12, 1).End().PlainLength();
  writer.Tag(2, std::string(5000 - bare - 6, 'b'), true).End();
  ASSERT_EQ(writer.PlainLength(), 5000u);
  const std::string source = f.Write("m.swf", writer.Compressed());
  const std::string before = ReadAll(source);
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, source, record, true), "");
  const std::string copy = ReadAll(record.MoviePath);
  EXPECT_EQ(copy.size(), writer.PlainLength());
  EXPECT_EQ(copy.substr(0, 3), "FWS");
  EXPECT_EQ(copy.substr(3, 5), before.substr(3, 5));
  EXPECT_EQ(ReadAll(source), before);  // the user's file is never touched
}

TEST(MovieEndsEarly, TagsThatStopBeforeTheirEndMeanACutMovie) {
  testing::MediaFixture f;
  SwfWriter writer(9, 100, 100, 12, 3);
  writer.Tag(2, std::string(3000, 'b'), true).ShowFrame().ShowFrame().ShowFrame().End();
  const auto check = [&](const std::string& name, const std::string& bytes, std::uint64_t* availableOut = nullptr) {
    MediaRecord record;
    EXPECT_EQ(IdentifyMedia(f.context, f.Write(name, bytes), record, false), "") << name;
    std::uint64_t available = 0, claimed = 0;
    const bool early = MovieEndsEarly(record, available, claimed);
    EXPECT_EQ(claimed, writer.PlainLength()) << name;
    if (availableOut) *availableOut = available;
    return early;
  };
  const std::string plain = writer.Plain();
  std::uint64_t available = 0;
  EXPECT_FALSE(check("plain.swf", plain));
  EXPECT_TRUE(check("plain-cut.swf", plain.substr(0, plain.size() / 2), &available));
  EXPECT_EQ(available, plain.size() / 2);
  EXPECT_FALSE(check("zlib.swf", writer.Compressed()));
  EXPECT_TRUE(check("zlib-cut.swf", writer.Compressed().substr(0, writer.Compressed().size() - 8)));
  EXPECT_FALSE(check("lzma.swf", writer.CompressedLzma()));
  EXPECT_TRUE(check("lzma-cut.swf", writer.CompressedLzma().substr(0, writer.CompressedLzma().size() - 8)));
  // A length field a little off, with every tag there up to End: a whole movie.
  SwfWriter generous = writer;
  generous.LengthField(writer.PlainLength() + 40);
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(f.context, f.Write("generous.swf", generous.Plain()), record, false), "");
  std::uint64_t claimed = 0;
  EXPECT_FALSE(MovieEndsEarly(record, available, claimed));
}

TEST(DecompressFlash, HeaderCopyIsShortAndReused) {
  testing::MediaFixture f;
  SwfWriter writer(9, 500, 400, 24, 100);
  writer.BackgroundColor(1, 1, 1).Tag(2, std::string(2 << 20, 'm')).End();
  const std::string source = f.Write("big.swf", writer.Compressed());
  MediaRecord record;
  record.SourcePath = record.MoviePath = source;
  record.MovieSize = writer.PlainLength();
  const std::string target = DecompressFlash(f.context, record, true);
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(record.HeaderPath, target);
  EXPECT_EQ(std::filesystem::file_size(target), 8u + 10001u);
  EXPECT_EQ(ReadAll(target), writer.Plain().substr(0, 8 + 10001).replace(0, 3, "FWS"));

  // A second header-only request returns the copy that is there, whatever it holds.
  core::WriteTextFile(target, "kept");
  MediaRecord again = record;
  EXPECT_EQ(DecompressFlash(f.context, again, true), target);
  EXPECT_EQ(ReadAll(target), "kept");

  // A full decompression replaces it.
  MediaRecord full = record;
  EXPECT_EQ(DecompressFlash(f.context, full, false), target);
  EXPECT_EQ(full.MoviePath, target);
  EXPECT_EQ(full.SourcePath, source);
  EXPECT_EQ(std::filesystem::file_size(target), writer.PlainLength());
  // Nothing else is left in the cache.
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(f.context.CachePath)) ++files;
  EXPECT_EQ(files, 1);
}

// Sets the file's modification time to seconds after the epoch.
void SetTime(const std::string& path, long seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(DecompressFlash, LengthFieldClaimingGigabytesIsPaddedByAMegabyteAtMost) {
  testing::MediaFixture f;
  SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End().LengthField(0xFFFFFFFF);
  const std::size_t real = writer.Body().size();
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"zlib.swf", writer.Compressed()},
                                    {"lzma.swf", writer.CompressedLzma()}}) {
    MediaRecord record;
    record.SourcePath = record.MoviePath = f.Write(name, bytes);
    const std::string target = DecompressFlash(f.context, record, false);
    ASSERT_FALSE(target.empty()) << name;
    EXPECT_EQ(std::filesystem::file_size(target), 8 + real + kMaxCopyPadding) << name;
    // The data that is there is all kept, behind the unchanged header.
    EXPECT_EQ(ReadAll(target).substr(0, 8 + real), writer.Plain().replace(0, 3, "FWS")) << name;
  }
}

TEST(DecompressFlash, CopyOfAReplacedMovieIsMadeAgain) {
  testing::MediaFixture f;
  SwfWriter first(8, 100, 100, 12, 1), second(9, 200, 100, 24, 3);
  first.ShowFrame().End();
  second.BackgroundColor(1, 2, 3).ShowFrame().End();
  MediaRecord record;
  record.SourcePath = record.MoviePath = f.Write("movie.swf", first.Compressed());
  SetTime(record.MoviePath, 1000000);
  const std::string target = DecompressFlash(f.context, record, true);
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(ReadAll(target).substr(0, 8), first.Plain().substr(0, 8).replace(0, 3, "FWS"));

  // Another movie under the same name, even one dated before the copy: made again
  // (where the file system keeps the copy's note of its source).
  if (!StampCacheCopy(target, StampOf(record.MoviePath))) GTEST_SKIP() << "no extended attributes here";
  f.Write("movie.swf", second.Compressed());
  SetTime(record.MoviePath, 1000000);
  MediaRecord again;
  again.SourcePath = again.MoviePath = record.MoviePath;
  EXPECT_EQ(DecompressFlash(f.context, again, true), target);
  EXPECT_EQ(ReadAll(target).substr(0, 8), second.Plain().substr(0, 8).replace(0, 3, "FWS"));

  // The same file touched later than its copy: made again too; untouched, reused.
  SetTime(target, 2000000);
  SetTime(record.MoviePath, 3000000);
  EXPECT_EQ(DecompressFlash(f.context, again, true), target);
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_GT(info.st_mtim.tv_sec, 3000000);
}

TEST(WritePlainMovie, RefusesWhatItCannotReadAndLeavesNoTarget) {
  testing::MediaFixture f;
  int code = 0;
  const std::string target = f.home.Path() + "out.swf";
  EXPECT_NE(WritePlainMovie(f.Write("p.swf", SwfWriter().End().Plain()), target, 0, code), "");
  EXPECT_NE(WritePlainMovie(f.Write("short.swf", "CWS"), target, 0, code), "");
  EXPECT_NE(WritePlainMovie(f.home.Path() + "missing.swf", target, 0, code), "");
  EXPECT_FALSE(std::filesystem::exists(target));
  // An empty body decompresses to zeros.
  EXPECT_EQ(WritePlainMovie(f.Write("e.swf", std::string("CWS\x08\x10\0\0\0", 8)), target, 0, code), "");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadAll(target), std::string("FWS\x08\x10\0\0\0", 8) + std::string(8, '\0'));
}

}  // namespace
}  // namespace vantrel::media
