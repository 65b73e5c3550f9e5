// Sorenson H.263 (the Flash video codec 2): the picture header of both bitstream
// versions, the macroblock layer, dequantisation, the inverse transform, half-pel
// motion compensation and the post-filter that smooths block edges. Pictures come out
// as planar YUV 4:2:0; nothing here knows about Qt.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::flash::video {

enum class H263PictureType : std::uint8_t { Intra = 0, Inter = 1, DisposableInter = 2 };

struct H263Header {
  int version = 0;  // 0: H.263 escapes; 1: escapes with 7- or 11-bit levels
  int temporalReference = 0;
  int width = 0, height = 0;
  H263PictureType type = H263PictureType::Intra;
  bool deblocking = false;  // the encoder asks for the block-edge filter
  int quantizer = 1;        // 1..31
};

// Reads the picture header at the start of a frame. False with *error set when the
// data does not start with one.
bool ReadH263Header(std::span<const std::uint8_t> data, H263Header& header, std::string* error = nullptr);

// One plane of 8-bit samples: width x height visible samples at data, rows stride apart.
struct PlaneView {
  const std::uint8_t* data = nullptr;
  int width = 0, height = 0, stride = 0;
};

class H263Decoder {
 public:
  H263Decoder() = default;

  // Decodes one frame. False (with Error()) for a damaged frame or an inter frame
  // without a picture to refer to; the pictures decoded before stay as they were.
  bool Decode(std::span<const std::uint8_t> data);
  const std::string& Error() const { return error_; }
  // Forgets every picture (after a seek); the next frame must be an intra frame.
  void Reset();

  bool HasPicture() const { return shown_ != nullptr; }
  // The header of the last picture decoded.
  const H263Header& Header() const { return header_; }
  // The planes of the last picture decoded, at the picture's own size (chroma planes
  // half of it, rounded up). Valid until the next Decode or Reset.
  PlaneView Luma() const;
  PlaneView Cb() const;
  PlaneView Cr() const;

  // Pictures larger than this on either side are refused.
  static constexpr int kMaxSide = 4096;

 private:
  struct Frame {
    int mbWidth = 0, mbHeight = 0;
    int lumaStride = 0, chromaStride = 0;
    std::vector<std::uint8_t> y, cb, cr;
    std::uint8_t* Y(int x, int yy) { return y.data() + yy * lumaStride + x; }
    std::uint8_t* U(int x, int yy) { return cb.data() + yy * chromaStride + x; }
    std::uint8_t* V(int x, int yy) { return cr.data() + yy * chromaStride + x; }
    void Allocate(int mbw, int mbh);
  };

  bool DecodePicture(std::span<const std::uint8_t> data, Frame& target);

  H263Header header_;           // of the picture shown
  H263Header referenceHeader_;  // of the reference picture
  Frame frames_[2];
  Frame* reference_ = nullptr;  // the last intra or inter picture (not disposable ones)
  Frame* shown_ = nullptr;
  std::vector<std::uint8_t> padded_;  // the frame's data with zeros after it
  std::string error_;
};

// The block-edge post-filter: smooths the sample pairs on both sides of every 8-sample
// block edge of the plane (rows first, then columns) with the given strength (1..12).
void DeblockPlane(std::uint8_t* plane, int width, int height, int stride, int strength);
// The filter strength for a picture quantiser.
int DeblockStrength(int quantizer);

}  // namespace vantrel::flash::video
