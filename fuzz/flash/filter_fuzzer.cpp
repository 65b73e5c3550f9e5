// Feeds random filter records through the filter decoder and applies what decodes to
// a small layer. Input: [type byte][scale byte][filter bytes].
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "flash/render/effects.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash;
  if (size < 2) return 0;
  Filter filter;
  filter.type = data[0] % 8;
  filter.data.assign(data + 2, data + size);
  FilterParams params;
  if (!DecodeFilter(filter, params)) return 0;
  const std::vector<FilterParams> filters{params};
  const double scale = 0.1 + data[1] / 16.0;
  FilterMargins(filters, scale);
  QImage layer(24, 20, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < layer.height(); ++y) {
    for (int x = 0; x < layer.width(); ++x) layer.setPixel(x, y, (x + y) % 3 ? 0xff336699u : 0x80402010u);
  }
  ApplyFilters(layer, filters, scale);
  return 0;
}
