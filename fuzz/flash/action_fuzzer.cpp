// Runs arbitrary bytes as the action blocks of a movie: the first frame's and a clip
// event's, with the mouse and the keyboard driven between frames. Endless loops must end
// at the action limit, deep recursion at the call-depth limit, and the movie must go on
// ticking afterwards without a crash.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace {

using vantrel::testing::Bytes;

Bytes DoAction(const std::uint8_t* data, std::size_t size) {
  Bytes body(data, data + size);
  body.push_back(0);
  return vantrel::testing::Tag(12, body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first half runs on frame 1, the second on frame 2 (which loops back).
  const std::size_t half = size / 2;
  Bytes tags = vantrel::testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);
  vantrel::testing::Place place;
  place.character = 1;
  place.name = "box";
  vantrel::testing::PutBytes(tags, vantrel::testing::PlaceObject2(place));
  vantrel::testing::PutBytes(tags, DoAction(data, half));
  vantrel::testing::PutBytes(tags, vantrel::testing::ShowFrame());
  vantrel::testing::PutBytes(tags, DoAction(data + half, size - half));
  vantrel::testing::PutBytes(tags, vantrel::testing::ShowFrame());
  vantrel::testing::PutBytes(tags, vantrel::testing::End());
  const Bytes movie = vantrel::testing::MakeMovie(tags, 40, 40, 2, 8);
  vantrel::flash::FlashControl control;
  if (!control.LoadMovieData(movie)) return 0;
  control.SetSize(40, 40);
  for (int tick = 0; tick < 2; ++tick) {
    control.MouseMove(10 + tick, 10);
    control.MouseDown(10, 10);
    control.KeyDown(65 + tick, 'a' + tick);
    control.Tick();
    control.MouseUp(30, 30);
    control.KeyUp(65 + tick, 'a' + tick);
  }
  control.GetVariable("_root");
  return 0;
}
