// Pixel Bender bytecode through the reader and its checks; what reads is run over a small
// output with a small image for each texture and its parameters at their defaults, or at
// values taken from the input's last bytes.
#include <cstddef>
#include <cstdint>

#include "flash/pixel_bender/pixel_bender.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash::pixel_bender;
  Kernel kernel;
  if (ReadKernel({data, size}, kernel) != ReadError::None) return 0;
  std::vector<Image> images(kernel.textures.size());
  RunInputs inputs;
  for (std::size_t t = 0; t < images.size(); ++t) {
    Image& image = images[t];
    image.width = 3;
    image.height = 2;
    image.channels = kernel.textures[t].channels;
    for (int i = 0; i < image.width * image.height * image.channels; ++i) image.pixels.push_back(static_cast<float>(i % 7) / 6.0f);
    inputs.textures.push_back(&image);
  }
  for (std::size_t p = 0; p < kernel.parameters.size(); ++p) {
    std::vector<double> values;
    if (size > 0 && (data[size - 1] & 1)) {
      for (int i = 0; i < TypeSize(kernel.parameters[p].type); ++i) values.push_back(static_cast<double>(data[(p + i) % size]) - 128.0);
    }
    inputs.parameters.push_back(std::move(values));
  }
  int channels = 0;
  const std::vector<float> out = Run(kernel, inputs, 4, 3, &channels);
  if (out.size() != static_cast<std::size_t>(12 * channels)) __builtin_trap();
  return 0;
}
