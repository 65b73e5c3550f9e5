// Arbitrary bytes as a run of Sorenson H.263 frames: each frame is preceded by its
// length (two bytes, big-endian) and a byte that forces the picture type, so inter
// frames meet a reference often; every picture that decodes goes through the edge
// filter as it is shown.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "flash/video/h263_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash::video;
  H263Decoder decoder;
  std::vector<std::uint8_t> plane;
  std::size_t at = 0;
  for (int frame = 0; frame < 16 && at + 3 <= size; ++frame) {
    const std::size_t length = std::min<std::size_t>((data[at] << 8 | data[at + 1]), size - at - 3);
    const std::uint8_t mode = data[at + 2];
    std::vector<std::uint8_t> bytes(data + at + 3, data + at + 3 + length);
    at += 3 + length;
    if (mode & 1) {
      // A valid start code and version, so the fuzzer spends its time past the header.
      if (bytes.size() < 3) bytes.resize(3);
      bytes[0] = 0;
      bytes[1] = 0;
      bytes[2] = static_cast<std::uint8_t>(0x80 | (bytes[2] & 0x04) | (bytes[2] & 0x03));
    }
    if (mode & 2) decoder.Reset();
    if (!decoder.Decode(bytes) || !decoder.HasPicture()) continue;
    for (const PlaneView& p : {decoder.Luma(), decoder.Cb(), decoder.Cr()}) {
      plane.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
      for (int y = 0; y < p.height; ++y)
        std::copy(p.data + static_cast<std::ptrdiff_t>(y) * p.stride,
                  p.data + static_cast<std::ptrdiff_t>(y) * p.stride + p.width,
                  plane.begin() + static_cast<std::ptrdiff_t>(y) * p.width);
      DeblockPlane(plane.data(), p.width, p.height, p.width, DeblockStrength(decoder.Header().quantizer));
    }
  }
  return 0;
}
