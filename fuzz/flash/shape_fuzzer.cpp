// Feeds random DefineShape bodies through the shape decoder, the edge assembly and the
// rasterizer. Input: [version byte][quality byte][scale byte][shape body].
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <span>

#include "flash/character/shape.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash;
  if (size < 3) return 0;
  const int version = 1 + data[0] % 4;
  const auto quality = static_cast<Quality>(data[1] % 3);
  // From a tiny scale up to 16 pixels per twip: huge shapes must stay cheap (clipped).
  const double scale = 0.001 * (1 + data[2]) * (data[2] > 200 ? 60 : 1);
  DefinitionContext context;
  std::string error;
  const auto shape = ParseShape(std::span<const std::uint8_t>(data + 3, size - 3), version, context, &error);
  if (!shape) return 0;
  QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
  image.fill(0);
  QPainter painter(&image);
  RenderContext render;
  render.painter = &painter;
  render.transform = QTransform::fromScale(scale, scale * 0.7).rotate(data[2]);
  render.quality = quality;
  shape->Render(render);
  render.asMask = true;
  shape->Render(render);
  return 0;
}
