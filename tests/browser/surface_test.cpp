// The 24-bit surface, PNG drawing onto it and JPEG output.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <jpeglib.h>

#include "browser/dib_section.h"
#include "browser/jpeg_output.h"
#include "browser/png_reader.h"
#include "core/log.h"
#include "support/png_writer.h"
#include "support/temp_home.h"

namespace vantrel::browser {
namespace {

using testing::IhdrData;
using testing::SimplePng;
using testing::UnfilteredRows;

TEST(Surface, RowsArePaddedToFourBytes) {
  EXPECT_EQ(cDIBSection::BytesPerScanLineFor(1), 4);  // 3 bytes of pixel, 1 of padding
  EXPECT_EQ(cDIBSection::BytesPerScanLineFor(2), 8);
  EXPECT_EQ(cDIBSection::BytesPerScanLineFor(3), 12);
  EXPECT_EQ(cDIBSection::BytesPerScanLineFor(4), 12);  // no padding
  EXPECT_EQ(cDIBSection::BytesPerScanLineFor(5), 16);
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(1, 3));
  surface.Fill(0x123456);
  EXPECT_EQ(surface.BytesPerScanLine(), 4);
  const std::uint8_t* row1 = surface.ScanLine(1);
  EXPECT_EQ(row1 - surface.DIBSectionBitsPtr(), 4);
  EXPECT_EQ(row1[0], 0x56);  // blue first
  EXPECT_EQ(row1[2], 0x12);
  EXPECT_EQ(row1[3], 0);     // padding stays 0
}

TEST(Surface, FailedCreateKeepsNothing) {
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(10, 10));
  EXPECT_FALSE(surface.Create(0, 10));
  EXPECT_TRUE(surface.Empty());
  EXPECT_EQ(surface.Width(), 0);
  EXPECT_EQ(surface.DIBSectionBitsPtr(), nullptr);
  EXPECT_FALSE(surface.Create(100000, 100000));
  EXPECT_FALSE(surface.Create(20000, 20000));  // 400 M pixels is over the limit
  EXPECT_TRUE(surface.Empty());
}

TEST(Surface, CreateFromPictureConvertsEveryFormat) {
  const std::uint8_t rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::uint8_t bgrx[8] = {3, 2, 1, 0, 7, 6, 5, 0};
  const std::uint8_t rgb[6] = {1, 2, 3, 5, 6, 7};
  for (const PictureView& view : {PictureView{2, 1, rgba, 8, PictureFormat::Rgba32},
                                  PictureView{2, 1, bgrx, 8, PictureFormat::Bgrx32},
                                  PictureView{1, 2, rgb, 3, PictureFormat::Rgb24}}) {
    cDIBSection surface;
    ASSERT_TRUE(surface.CreateFromPicture(view));
    EXPECT_EQ(surface.Pixel(0, 0), 0x010203u);
    EXPECT_EQ(surface.Pixel(view.width - 1, view.height - 1), 0x050607u);
  }
  cDIBSection surface;
  EXPECT_FALSE(surface.CreateFromPicture(PictureView{2, 1, rgb, 5, PictureFormat::Rgb24}));  // stride too short
}

TEST(Surface, PaintPictureClipsAndAppliesRasterOperations) {
  cDIBSection source, target;
  ASSERT_TRUE(source.Create(4, 4));
  ASSERT_TRUE(target.Create(6, 6));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) source.SetPixel(x, y, static_cast<std::uint32_t>(0x010000 * x + y));
  target.Fill(0x0F0F0F);
  // -1 means the whole source; the part beyond the target is clipped.
  ASSERT_TRUE(source.PaintPicture(target, 3, -1));
  EXPECT_EQ(target.Pixel(3, 0), 0x000001u);
  EXPECT_EQ(target.Pixel(5, 2), 0x020003u);
  EXPECT_EQ(target.Pixel(2, 0), 0x0F0F0Fu);
  EXPECT_EQ(target.Pixel(3, 3), 0x0F0F0Fu);
  // A source area and a raster operation.
  ASSERT_TRUE(source.PaintPicture(target, 0, 5, 1, 1, 3, 2, kSrcPaint));
  EXPECT_EQ(target.Pixel(0, 5), 0x0F0F0Fu | 0x030002u);
  EXPECT_FALSE(source.PaintPicture(target, 0, 0, -1, -1, 0, 0, 0x12345678));
}

// A 2 x 1 RGBA picture: red at alpha 200, green at alpha 0... given by the caller.
std::string RgbaPng(const std::string& pixels, std::uint32_t width) {
  return SimplePng(IhdrData(width, 1, 8, 6), UnfilteredRows({pixels}));
}

cPNG Loaded(const std::string& bytes) {
  cPNG png;
  EXPECT_EQ(png.LoadPNGData({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}), kPngLoaded);
  return png;
}

TEST(PngDrawing, BlendsWithTheRoundedFormula) {
  // Pixels: blue 200 alpha, white 255, red 0, grey 255 (drawn with half).
  const cPNG png = Loaded(RgbaPng(std::string("\0\0\xFF\xC8" "\xFF\xFF\xFF\xFF" "\xFF\0\0\0", 12), 3));
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(3, 2));
  surface.Fill(0x646464);  // 100 in every byte
  png.DrawToDC(surface, 0, 0, false);
  // ((255 - 200) * 100 + 200 * 255 + 255) div 256 = 221; ((55 * 100) + 255) div 256 = 22.
  EXPECT_EQ(surface.Pixel(0, 0), 0x1616DDu);
  EXPECT_EQ(surface.Pixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(surface.Pixel(2, 0), 0x646464u);  // alpha 0 leaves the destination
  // Half opacity: alpha 200 blends as 100, and 255 as 127 (no plain copy any more).
  png.DrawToDC(surface, 0, 1, true);
  const unsigned blue = (155 * 100 + 100 * 255 + 255) / 256, other = (155 * 100 + 255) / 256;
  EXPECT_EQ(surface.Pixel(0, 1), (other << 16) | (other << 8) | blue);
  const unsigned white = (128 * 100 + 127 * 255 + 255) / 256;
  EXPECT_EQ(surface.Pixel(1, 1), white * 0x010101u);
}

TEST(PngDrawing, OpaqueLayoutsAreCopiedAndClipped) {
  // 1-bit palette, 3 x 1: black-white-black through a two-colour palette.
  const std::string plte = testing::PngChunk("PLTE", std::string("\x10\x20\x30\xA0\xB0\xC0", 6));
  const cPNG png = Loaded(SimplePng(IhdrData(3, 1, 1, 3), UnfilteredRows({std::string("\x40", 1)}), plte));
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(3, 1));
  png.DrawToDC(surface, -1, 0, true);  // half changes nothing without alpha
  EXPECT_EQ(surface.Pixel(0, 0), 0xA0B0C0u);
  EXPECT_EQ(surface.Pixel(1, 0), 0x102030u);
  EXPECT_EQ(surface.Pixel(2, 0), 0u);  // beyond the picture
  png.DrawToDC(surface, 5, 5, false);  // entirely outside: nothing, no crash
}

TEST(PngDrawing, DrawPngLoadsEachTimeAndReportsFailure) {
  testing::TempHome home;
  const std::string base = home.Path() + "nomedia";
  core::ExecutionLog log;
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(4, 4));
  EXPECT_FALSE(DrawPNG(base, surface, 0, 0, false, log));
  home.WriteFile("nomedia.png", SimplePng(IhdrData(1, 1, 8, 2), UnfilteredRows({"\x01\x02\x03"})));
  EXPECT_TRUE(DrawPNG(base, surface, 2, 3, false, log));
  EXPECT_EQ(surface.Pixel(2, 3), 0x010203u);
}

// Decodes a JPEG file with libjpeg; returns false when it is not one.
bool ReadJpeg(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb, bool& baseline) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  const bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
  baseline = !info.progressive_mode && info.data_precision == 8 && !info.arith_code;
  jpeg_start_decompress(&info);
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  rgb.resize(static_cast<std::size_t>(width) * height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rgb.data() + info.output_scanline * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return ok;
}

TEST(JpegOutput, WritesABaselineJpegOfTheSurface) {
  testing::TempHome home;
  const std::string path = home.WriteFile("shot.jpg", "old contents");
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(13, 7));  // 13 pixels: 39 bytes, 1 padding byte per row
  surface.Fill(0xE01020);
  core::RunError error;
  ASSERT_TRUE(SaveJPEG(surface, path, 90, error)) << error.description;
  int width = 0, height = 0;
  bool baseline = false;
  std::vector<std::uint8_t> rgb;
  ASSERT_TRUE(ReadJpeg(path, width, height, rgb, baseline));
  EXPECT_EQ(width, 13);
  EXPECT_EQ(height, 7);
  EXPECT_TRUE(baseline);
  EXPECT_NEAR(rgb[0], 0xE0, 6);  // red stays red: the blue-green-red order is honoured
  EXPECT_NEAR(rgb[2], 0x20, 6);
  // Rows of width 1 carry one padding byte, rows of width 4 none; both encode cleanly.
  for (const int w : {1, 4}) {
    cDIBSection narrow;
    ASSERT_TRUE(narrow.Create(w, 3));
    narrow.Fill(0x2040C0);
    ASSERT_TRUE(SaveJPEG(narrow, path, 95, error));
    ASSERT_TRUE(ReadJpeg(path, width, height, rgb, baseline));
    EXPECT_EQ(width, w);
    EXPECT_NEAR(rgb[rgb.size() - 1], 0xC0, 6);  // last pixel's blue: no padding bytes leak in
  }
  // Quality matters: noise at 10 is much smaller than at 95.
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) surface.SetPixel(x, y, static_cast<std::uint32_t>(x * 7919 + y * 104729) * 2654435761u);
  ASSERT_TRUE(SaveJPEG(surface, path, 10, error));
  const auto small = std::filesystem::file_size(path);
  ASSERT_TRUE(SaveJPEG(surface, path, 95, error));
  EXPECT_LT(small, std::filesystem::file_size(path));
}

TEST(JpegOutput, FailuresRaiseError26001AndLeaveNothing) {
  testing::TempHome home;
  cDIBSection surface;
  core::RunError error;
  EXPECT_FALSE(SaveJPEG(surface, home.Path() + "empty.jpg", 90, error));
  EXPECT_EQ(error.number, kJpegErrorNumber);
  EXPECT_EQ(error.description.rfind("Failed to initialise the IJL library: ", 0), 0u) << error.description;
  ASSERT_TRUE(surface.Create(8, 8));
  error.Clear();
  EXPECT_FALSE(SaveJPEG(surface, home.Path() + "no/such/folder/x.jpg", 90, error));
  EXPECT_EQ(error.number, 26001);
  EXPECT_EQ(error.description.rfind("Failed to save to JPG ", 0), 0u) << error.description;
  const std::string suffix = ".mIntelJPEGLibrary";
  ASSERT_GT(error.source.size(), suffix.size());
  EXPECT_EQ(error.source.substr(error.source.size() - suffix.size()), suffix);
  // A surface wider than JPEG allows fails inside the encoder; no temporary file stays.
  ASSERT_TRUE(surface.Create(65535, 1));
  error.Clear();
  EXPECT_FALSE(SaveJPEG(surface, home.Path() + "wide.jpg", 90, error));
  EXPECT_EQ(error.description.rfind("Failed to save to JPG ", 0), 0u) << error.description;
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.Path())) ++files;
  EXPECT_EQ(files, 0);
}

}  // namespace
}  // namespace vantrel::browser
