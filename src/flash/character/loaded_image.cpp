#include "flash/character/loaded_image.h"

#include "flash/character/bitmap.h"

namespace vantrel::flash {

bool IsLoadableImage(std::span<const std::uint8_t> bytes) {
  auto starts = [&](std::initializer_list<std::uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
  };
  return starts({0xFF, 0xD8}) || starts({0x89, 'P', 'N', 'G'}) || starts({'G', 'I', 'F', '8'});
}

std::shared_ptr<Movie> MovieFromImage(std::span<const std::uint8_t> bytes, std::string* error) {
  if (!IsLoadableImage(bytes)) {
    if (error) *error = "not a JPEG, PNG or GIF picture";
    return nullptr;
  }
  std::string reason;
  QImage image = DecodeImageData({}, bytes, &reason);
  if (image.isNull()) {
    if (error) *error = reason;
    return nullptr;
  }
  auto movie = std::make_shared<Movie>();
  movie->header.version = -1;
  movie->header.fileLength = static_cast<std::uint32_t>(bytes.size());
  movie->header.frameSize = Rect{0, image.width() * 20, 0, image.height() * 20};
  movie->header.frameCount = 1;
  auto bitmap = std::make_shared<Bitmap>();
  bitmap->id = 1;
  bitmap->image = std::move(image);
  movie->dictionary.Add(bitmap);
  DisplayCommand place;
  place.place.depth = 1;
  place.place.characterId = 1;
  place.place.matrix = Matrix();
  movie->root.frames.emplace_back();
  movie->root.frames.back().commands.push_back(std::move(place));
  return movie;
}

}  // namespace vantrel::flash
