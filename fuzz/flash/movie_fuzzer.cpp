// Loads arbitrary bytes as a movie, runs a few frames with a jump to the end and back,
// and draws each into a small picture: nothing may crash, hang or allocate without
// bound.
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "flash/control/flash_control.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::flash::FlashControl control;
  if (!control.LoadMovieData({data, size})) return 0;
  QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
  control.PaintTo(image);
  for (int i = 0; i < 3; ++i) {
    control.Tick();
    control.PaintTo(image);
  }
  control.GotoFrame(control.TotalFrames() - 1);
  control.PaintTo(image);
  control.Rewind();
  control.PaintTo(image);
  control.GetVariable("_alpha");
  return 0;
}
