// Feeds arbitrary bytes to the PNG reader, then draws and converts whatever loads. Seed it
// with small real PNG files (for example the smallest ones of ../shared/corpus).
#include <cstddef>
#include <cstdint>

#include "browser/dib_section.h"
#include "browser/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::browser;
  cPNG png;
  // The last byte switches interlaced decoding off now and then (blank interlaced images).
  png.SetDecodeInterlaced(size == 0 || (data[size - 1] & 1) == 0);
  if (png.LoadPNGData({data, size}) != kPngLoaded) return 0;
  cDIBSection surface;
  if (surface.Create(64, 48)) {
    png.DrawToDC(surface, -3, 5, false);
    png.DrawToDC(surface, 10, -2, true);
  }
  const auto rgba = png.ToRGBA();
  volatile std::size_t sink = rgba.size();
  (void)sink;
  return 0;
}
