// The filter records of PlaceObject3 and button records, decoded for drawing and
// encoded for the filter lists scripts set.
#pragma once

#include <cstdint>
#include <vector>

#include "flash/swf/movie.h"
#include "flash/swf/types.h"

namespace vantrel::flash {

// A decoded filter record. Colours are straight (not premultiplied) RGBA.
struct FilterParams {
  std::uint8_t type = 0;
  std::vector<Rgba> colors;           // shadow/glow colour; bevel highlight then shadow; gradient stops
  std::vector<std::uint8_t> ratios;   // gradient stop positions
  double blurX = 0, blurY = 0;        // pixels at stage scale 1
  double angle = 0, distance = 0;     // radians, pixels
  double strength = 1;
  bool inner = false, knockout = false, compositeSource = true, onTop = false;
  int passes = 1;
  // convolution
  int matrixX = 0, matrixY = 0;
  float divisor = 1, bias = 0;
  std::vector<float> matrix;          // convolution kernel or the 20 colour-matrix entries
  bool clamp = true, preserveAlpha = false;
};

// The filter record (as PlaceObject3 stores it) of params, for a display object's
// filter list; colour matrices and convolution kernels as 32-bit floats.
Filter EncodeFilter(const FilterParams& params);

// Decodes filter. Returns false when its bytes are too short for its type.
bool DecodeFilter(const Filter& filter, FilterParams& params);

}  // namespace vantrel::flash
