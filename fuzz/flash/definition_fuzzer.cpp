// Feeds random definition tags to ParseDefinition and draws whatever comes out.
// Input: records of [tag selector byte][length u16][body], all into one dictionary so
// that fills, texts and font infos can refer to earlier characters.
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <span>

#include "flash/character/definition.h"
#include "flash/raster/drawable.h"

namespace {

constexpr std::uint16_t kTags[] = {2, 22, 32, 83, 46, 84, 6, 21, 35, 90, 20, 36, 10, 48, 75, 13, 62, 11, 33, 37, 8};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash;
  Dictionary dictionary;
  DefinitionContext context;
  context.dictionary = &dictionary;
  std::span<const std::uint8_t> input(data, size);
  std::vector<std::shared_ptr<Character>> parsed;
  for (int records = 0; input.size() >= 3 && records < 8; ++records) {
    const std::uint16_t tag = kTags[input[0] % std::size(kTags)];
    const std::size_t length = std::min<std::size_t>(input[1] | (input[2] << 8), input.size() - 3);
    const auto body = input.subspan(3, length);
    input = input.subspan(3 + length);
    if (tag == 8) {
      context.jpegTables.assign(body.begin(), body.end());
      continue;
    }
    std::string error;
    auto character = ParseDefinition(tag, body, context, &error);
    if (!character) continue;
    dictionary.Add(character);
    parsed.push_back(character);
  }
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  for (const auto& parsedCharacter : parsed) {
    const Drawable* character = AsDrawable(parsedCharacter.get());
    if (!character) continue;  // fonts draw through texts
    RenderContext render;
    render.painter = &painter;
    render.transform = QTransform::fromScale(0.05, 0.05);
    render.ratio = 32768;
    // Characters far too large for the image still draw (clipped): the point is the parse.
    character->Render(render);
    character->Bounds(render.ratio);
    character->HitTest({10, 10}, render.ratio);
    character->Outline(render.ratio);
  }
  return 0;
}
