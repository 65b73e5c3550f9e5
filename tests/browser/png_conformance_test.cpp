// Our PNG reader against libpng: every colour type, bit depth, filter and interlace mode
// on generated pictures, and every PNG of the corpus through `vantrel-tool image`.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "browser/png_reader.h"
#include "support/png_reference.h"
#include "support/temp_home.h"

namespace vantrel::browser {
namespace {

struct Written {
  std::vector<std::uint8_t> bytes;
};

void Collect(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<Written*>(png_get_io_ptr(png));
  out->bytes.insert(out->bytes.end(), data, data + size);
}
void NoFlush(png_structp) {}

// Writes random pixels with libpng using only the given filter.
std::vector<std::uint8_t> WriteRandomPng(std::uint32_t width, std::uint32_t height, int colorType, int depth,
                                         bool interlaced, int filter, int trnsEntries, std::mt19937& random) {
  Written out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, Collect, NoFlush);
  png_set_IHDR(png, info, width, height, depth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, 0, filter);
  std::vector<png_color> palette;
  std::vector<png_byte> alpha;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    // One entry short of full, so some indexes point past the palette.
    palette.resize((1u << depth) - 1);
    for (png_color& c : palette) c = {png_byte(random()), png_byte(random()), png_byte(random())};
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (trnsEntries > 0) {
      alpha.resize(std::min<std::size_t>(trnsEntries, palette.size()));
      for (png_byte& a : alpha) a = png_byte(random());
      png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), nullptr);
    }
  } else if (trnsEntries > 0 && !(colorType & PNG_COLOR_MASK_ALPHA)) {
    png_color_16 key{};
    key.gray = key.red = 1;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  const std::size_t rowBytes = (std::size_t{width} * channels * depth + 7) / 8;
  std::vector<std::uint8_t> pixels(rowBytes * height);
  // Smooth rows with noise, so the filters have real work to do.
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<std::uint8_t>((i % 7 == 0) ? random() : (i * 3 + (i / rowBytes) * 5));
  std::vector<png_bytep> rows(height);
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * rowBytes;
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out.bytes;
}

TEST(PngConformance, EveryFormatFilterAndInterlaceMatchesLibpng) {
  const struct {
    int colorType, depth, trns;
  } formats[] = {{0, 1, 0}, {0, 2, 0}, {0, 4, 0}, {0, 8, 0}, {0, 16, 0}, {0, 8, 1}, {2, 8, 0}, {2, 16, 0},
                 {2, 8, 1}, {3, 1, 0}, {3, 2, 0}, {3, 4, 0}, {3, 8, 0}, {3, 1, 1}, {3, 2, 2}, {3, 4, 5},
                 {3, 8, 100}, {4, 8, 0}, {4, 16, 0}, {6, 8, 0}, {6, 16, 0}};
  const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH,
                         PNG_ALL_FILTERS};
  std::mt19937 random(1234);
  for (const auto& f : formats)
    for (const int filter : filters)
      for (const bool interlaced : {false, true}) {
        // Odd sizes leave partial bytes and partly empty Adam7 passes.
        const std::uint32_t width = 1 + random() % 37, height = 1 + random() % 19;
        const auto bytes = WriteRandomPng(width, height, f.colorType, f.depth, interlaced, filter, f.trns, random);
        ASSERT_FALSE(bytes.empty());
        testing::ReferenceImage reference;
        ASSERT_TRUE(testing::ReferenceDecode(bytes.data(), bytes.size(), reference));
        cPNG png;
        ASSERT_EQ(png.LoadPNGData(bytes), kPngLoaded) << png.RejectReason();
        EXPECT_EQ(png.ToRGBA(), reference.rgba) << "type " << f.colorType << " depth " << f.depth << " filter "
                                                << filter << (interlaced ? " interlaced" : "");
      }
}

// Runs a program with its arguments (no shell) and returns its exit code, -1 on failure.
int RunProgram(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::vector<std::uint8_t> ReadPamPixels(const std::string& path, std::uint32_t& width, std::uint32_t& height) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  width = height = 0;
  while (std::getline(in, line) && line != "ENDHDR") {
    if (line.rfind("WIDTH ", 0) == 0) width = static_cast<std::uint32_t>(std::stoul(line.substr(6)));
    if (line.rfind("HEIGHT ", 0) == 0) height = static_cast<std::uint32_t>(std::stoul(line.substr(7)));
  }
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(PngConformance, ToolMatchesLibpngOnEveryCorpusPng) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus folder not found beside the checkout";
  const std::string tool = std::string(VANTREL_BUILD_DIR) + "/vantrel-tool";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "vantrel-tool is not built";
  // The tool writes through a flushed atomic write; on a memory file system (when there
  // is one) that costs nothing, so 350 files take a second rather than half a minute.
  std::string folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : "";
  testing::TempHome home;
  if (folder.empty()) folder = home.Path();
  const std::string pam = folder + "vantrel-corpus-" + std::to_string(::getpid()) + ".pam";
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".png") continue;
    const std::string path = entry.path().string();
    std::vector<std::uint8_t> bytes;
    {
      std::ifstream in(path, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    testing::ReferenceImage reference;
    ASSERT_TRUE(testing::ReferenceDecode(bytes.data(), bytes.size(), reference)) << path;
    std::remove(pam.c_str());
    ASSERT_EQ(RunProgram({tool, "image", path, "-o", pam}), 0) << path;
    std::uint32_t width = 0, height = 0;
    const std::vector<std::uint8_t> pixels = ReadPamPixels(pam, width, height);
    EXPECT_EQ(width, reference.width) << path;
    EXPECT_EQ(height, reference.height) << path;
    EXPECT_TRUE(pixels == reference.rgba) << path;
    ++checked;
  }
  std::remove(pam.c_str());
  EXPECT_GT(checked, 0);
  std::printf("compared %d corpus PNG files with libpng\n", checked);
}

TEST(PngConformance, ToolVerbChecksItsArgumentsAndWritesJpeg) {
  const std::string tool = std::string(VANTREL_BUILD_DIR) + "/vantrel-tool";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "vantrel-tool is not built";
  testing::TempHome home;
  std::mt19937 random(7);
  const auto bytes = WriteRandomPng(30, 20, 6, 8, true, PNG_ALL_FILTERS, 0, random);
  const std::string in = home.WriteFile("in.png", std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(RunProgram({tool, "image", home.Path() + "missing.png", "-o", home.Path() + "a.pam"}), 1);
  EXPECT_EQ(RunProgram({tool, "image", in, "-o", home.Path() + "a.bmp"}), 2);
  EXPECT_EQ(RunProgram({tool, "image", in, "-o", home.Path() + "a.jpg", "--quality", "101"}), 2);
  const std::string broken = home.WriteFile("broken.png", std::string(bytes.begin(), bytes.begin() + 60));
  EXPECT_EQ(RunProgram({tool, "image", broken, "-o", home.Path() + "b.jpg"}), 1);
  EXPECT_FALSE(std::filesystem::exists(home.Path() + "b.jpg"));
  ASSERT_EQ(RunProgram({tool, "image", in, "-o", home.Path() + "a.jpg", "--quality", "50"}), 0);
  std::ifstream jpeg(home.Path() + "a.jpg", std::ios::binary);
  char head[3] = {};
  jpeg.read(head, 3);
  EXPECT_EQ(std::string(head, 3), "\xFF\xD8\xFF");
}

}  // namespace
}  // namespace vantrel::browser
