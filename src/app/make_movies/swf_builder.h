// A small writer of uncompressed SWF movies: the tags the program's own interface
// movies and the demo movie need (background colour, shapes with solid and gradient
// fills, placing and moving objects, frames, a stop action).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::make_movies {

// Writes values bit by bit, most significant bit first, as SWF records expect.
class BitWriter {
 public:
  void Bits(std::uint32_t value, int count);
  void Signed(std::int32_t value, int count) { Bits(static_cast<std::uint32_t>(value), count); }
  void Align();  // pads the last byte with zero bits
  void U8(std::uint8_t value);
  void U16(std::uint16_t value);
  void U32(std::uint32_t value);
  const std::vector<std::uint8_t>& Bytes();

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t pending_ = 0;
  int pendingBits_ = 0;
};

// The number of bits a signed field needs to hold every value given (at least 1).
int SignedBits(std::initializer_list<std::int32_t> values);

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

struct GradientStop {
  std::uint8_t ratio;
  Rgba colour;
};

// One fill style: a solid colour, or a linear/radial gradient laid over the square
// -16384..16384 twips that the gradient matrix maps onto the shape.
struct Fill {
  enum Kind : std::uint8_t { Solid = 0x00, Linear = 0x10, Radial = 0x12 } kind = Solid;
  Rgba colour;
  std::vector<GradientStop> stops;
  // Gradient square placement: scale (1.0 = 32768 twips wide), rotation in radians and
  // centre in twips.
  double scaleX = 1, scaleY = 1, rotation = 0;
  std::int32_t centreX = 0, centreY = 0;
};

// A 2D placement: scale, rotation (radians) and translation in twips.
struct Placement {
  double scaleX = 1, scaleY = 1, rotation = 0;
  std::int32_t x = 0, y = 0;
};

// A colour transform with alpha: multipliers in 1/256 units and added terms.
struct ColourTransform {
  std::int16_t mulR = 256, mulG = 256, mulB = 256, mulA = 256;
  std::int16_t addR = 0, addG = 0, addB = 0, addA = 0;
};

// An outline made of points in twips; a flagged point is the control point of a
// quadratic curve to the next point.
struct PathPoint {
  std::int32_t x, y;
  bool control = false;
};

struct ShapePath {
  std::vector<PathPoint> points;  // closed: the last point joins the first
  int fill = 1;                   // 1-based fill style, 0 for none
  int line = 0;                   // 1-based line style, 0 for none
};

struct LineStyle {
  std::uint16_t width = 20;  // twips
  Rgba colour;
};

class SwfBuilder {
 public:
  // Width and height in pixels, frames per second (8.8 fixed in the file).
  SwfBuilder(int version, int widthPx, int heightPx, double frameRate);

  void SetBackground(std::uint8_t r, std::uint8_t g, std::uint8_t b);
  // Defines a shape (DefineShape3, colours with alpha) and returns its character id.
  std::uint16_t DefineShape(const std::vector<Fill>& fills, const std::vector<LineStyle>& lines,
                            const std::vector<ShapePath>& paths);
  // PlaceObject2: puts character at depth (a new object).
  void Place(std::uint16_t depth, std::uint16_t character, const Placement& at,
             const ColourTransform* colour = nullptr);
  // PlaceObject2 with the move flag: changes the object at depth.
  void Move(std::uint16_t depth, const Placement& at, const ColourTransform* colour = nullptr);
  void Remove(std::uint16_t depth);
  void Stop();  // DoAction with a stop action
  // DoAction that jumps to frame (0-based) and plays on: the movie loops by itself.
  void GotoAndPlay(std::uint16_t frame);
  void ShowFrame();

  // The finished movie (End tag appended, header filled in).
  std::vector<std::uint8_t> Finish();

 private:
  void Tag(std::uint16_t code, const std::vector<std::uint8_t>& body);
  void PlaceTag(std::uint16_t depth, int character, const Placement& at, const ColourTransform* colour);

  int version_;
  int widthTwips_, heightTwips_;
  double frameRate_;
  std::uint16_t frames_ = 0;
  std::uint16_t nextId_ = 1;
  std::vector<std::uint8_t> tags_;
};

// Writes the matrix record for a placement.
void WriteMatrix(BitWriter& out, double scaleX, double scaleY, double rotation, std::int32_t x, std::int32_t y);

}  // namespace vantrel::make_movies
