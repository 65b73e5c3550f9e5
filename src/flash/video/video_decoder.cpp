#include "flash/video/video_decoder.h"

#include "flash/video/h263_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace vantrel::flash::video {

namespace {

AVCodecID CodecIdFor(std::uint8_t codec) {
  switch (codec) {
    case 2: return AV_CODEC_ID_FLV1;
    case 3: return AV_CODEC_ID_FLASHSV;
    case 4: return AV_CODEC_ID_VP6F;
    case 5: return AV_CODEC_ID_VP6A;
    case 6: return AV_CODEC_ID_FLASHSV2;
    case 7: return AV_CODEC_ID_H264;
    default: return AV_CODEC_ID_NONE;
  }
}

// The player's conversion of BT.601 video levels (luma 16..235, chroma 16..240) to
// RGB: the coefficients in 16.16 fixed point, each channel rounded once at the end;
// the chroma sample of a 2x2 block is used as it is for all four pixels.
struct YuvTables {
  std::int32_t luma[256], crToR[256], crToG[256], cbToG[256], cbToB[256];
  YuvTables() {
    auto fixed = [](double k) { return static_cast<std::int32_t>(std::lround(k * 65536.0)); };
    const std::int32_t y = fixed(255.0 / 219.0), r = fixed(255.0 / 224.0 * 1.402),
                       gv = fixed(255.0 / 224.0 * 1.402 * 0.299 / 0.587), gu = fixed(255.0 / 224.0 * 1.772 * 0.114 / 0.587),
                       b = fixed(255.0 / 224.0 * 1.772);
    for (int i = 0; i < 256; ++i) {
      luma[i] = y * (i - 16);
      crToR[i] = r * (i - 128);
      crToG[i] = -gv * (i - 128);
      cbToG[i] = -gu * (i - 128);
      cbToB[i] = b * (i - 128);
    }
  }
};

inline int Channel(std::int32_t fixed) { return std::clamp((fixed + 32768) >> 16, 0, 255); }

// Planes of a 4:2:0 picture: luma, Cb, Cr and (for alpha) the alpha plane.
struct Yuv420 {
  const std::uint8_t* data[4] = {};
  int stride[4] = {};
};

// Converts a planar 4:2:0 frame (with an alpha plane when alpha) into picture, whose
// size the frame's covers. Alpha pictures come out premultiplied: the colour planes
// of such videos hold premultiplied colour already.
void ConvertYuv420(const Yuv420& frame, bool alpha, QImage& picture) {
  static const YuvTables tables;
  const int width = picture.width(), height = picture.height();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* luma = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.stride[0];
    const std::uint8_t* cb = frame.data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame.stride[1];
    const std::uint8_t* cr = frame.data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame.stride[2];
    const std::uint8_t* a = alpha ? frame.data[3] + static_cast<std::ptrdiff_t>(y) * frame.stride[3] : nullptr;
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::int32_t gray = tables.luma[luma[x]];
      const int u = cb[x / 2], v = cr[x / 2];
      const int r = Channel(gray + tables.crToR[v]);
      const int g = Channel(gray + tables.crToG[v] + tables.cbToG[u]);
      const int b = Channel(gray + tables.cbToB[u]);
      if (a) {
        const int opacity = a[x];
        row[x] = qRgba(std::min(r, opacity), std::min(g, opacity), std::min(b, opacity), opacity);
      } else {
        row[x] = qRgb(r, g, b);
      }
    }
  }
}

}  // namespace

struct VideoDecoder::State {
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* scaler = nullptr;
  bool hasPicture = false;
  int cropRight = 0, cropBottom = 0;  // VP6: the picture is this much smaller than coded
  std::vector<std::uint8_t> config;   // H.264 decoder configuration
  std::vector<std::uint8_t> converted;  // the picture as libswscale wrote it
  // Sorenson H.263 is decoded by our own decoder, which controls every rounding.
  std::unique_ptr<H263Decoder> h263;
  std::vector<std::uint8_t> deblocked;  // filtered copies of its planes

  ~State() { Close(); }
  void Close() {
    sws_freeContext(scaler);
    scaler = nullptr;
    avcodec_free_context(&context);
    av_packet_free(&packet);
    av_frame_free(&frame);
    h263.reset();
    hasPicture = false;
  }
};

VideoDecoder::VideoDecoder(std::uint8_t codec, bool flvFraming)
    : codec_(codec), flvFraming_(flvFraming), state_(std::make_unique<State>()) {
  // Damaged frames are skipped on purpose; FFmpeg need not report each one.
  static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true);
  (void)quiet;
  Reset();
}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::Ok() const { return state_->context != nullptr || state_->h263 != nullptr; }

void VideoDecoder::Reset() {
  State& s = *state_;
  s.Close();
  if (codec_ == 2) {
    s.h263 = std::make_unique<H263Decoder>();
    error_.clear();
    return;
  }
  const AVCodecID id = CodecIdFor(codec_);
  const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!codec) {
    error_ = "no decoder for video codec " + std::to_string(codec_);
    return;
  }
  s.context = avcodec_alloc_context3(codec);
  s.packet = av_packet_alloc();
  s.frame = av_frame_alloc();
  if (!s.context || !s.packet || !s.frame) {
    s.Close();
    error_ = "out of memory";
    return;
  }
  s.context->thread_count = 1;  // one frame at a time, no decoding delay
  if (!s.config.empty()) {
    s.context->extradata = static_cast<std::uint8_t*>(av_mallocz(s.config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (s.context->extradata) {
      std::memcpy(s.context->extradata, s.config.data(), s.config.size());
      s.context->extradata_size = static_cast<int>(s.config.size());
    }
  }
  if (avcodec_open2(s.context, codec, nullptr) < 0) {
    s.Close();
    error_ = std::string("cannot open the ") + codec->name + " decoder";
    return;
  }
  error_.clear();
}

bool VideoDecoder::Decode(std::span<const std::uint8_t> data, QImage* picture, bool keyFrame) {
  State& s = *state_;
  if (s.h263) {
    if (!s.h263->Decode(data)) return false;
    if (picture) LastPicture(*picture);
    return true;
  }
  if ((codec_ == 4 || codec_ == 5) && flvFraming_) {
    // VP6 frames start with the amounts to cut from the coded size's right and bottom.
    if (data.empty()) return false;
    s.cropRight = data[0] >> 4;
    s.cropBottom = data[0] & 0x0F;
    data = data.subspan(1);
  } else if (codec_ == 7) {
    // H.264: packet type (0 configuration, 1 pictures, 2 end) and a composition offset.
    if (data.size() < 4) return false;
    const std::uint8_t type = data[0];
    data = data.subspan(4);
    if (type == 0) {
      s.config.assign(data.begin(), data.end());
      Reset();
      return false;
    }
    if (type != 1) return false;
  }
  if (!s.context || data.empty()) return false;
  if (av_new_packet(s.packet, static_cast<int>(std::min<std::size_t>(data.size(), INT32_MAX / 2))) < 0) return false;
  std::memcpy(s.packet->data, data.data(), static_cast<std::size_t>(s.packet->size));
  if (keyFrame) s.packet->flags |= AV_PKT_FLAG_KEY;
  bool produced = false;
  if (avcodec_send_packet(s.context, s.packet) >= 0) {
    while (avcodec_receive_frame(s.context, s.frame) == 0) {
      if (s.frame->width > 0 && s.frame->height > 0 && s.frame->width <= kMaxSide && s.frame->height <= kMaxSide) {
        produced = true;
        s.hasPicture = true;
      }
      if (produced && picture) LastPicture(*picture);
      // The frame stays referenced for LastPicture until the next one replaces it.
      if (produced) break;
    }
  }
  av_packet_unref(s.packet);
  return produced;
}

bool VideoDecoder::LastPicture(QImage& picture) {
  State& s = *state_;
  if (s.h263) {
    if (!s.h263->HasPicture()) return false;
    const PlaneView planes[3] = {s.h263->Luma(), s.h263->Cb(), s.h263->Cr()};
    QImage converted(planes[0].width, planes[0].height, QImage::Format_RGB32);
    if (converted.isNull()) return false;
    Yuv420 yuv;
    const bool filter = deblocking_ == 0 ? s.h263->Header().deblocking : deblocking_ >= 2;
    const int strength = filter ? DeblockStrength(s.h263->Header().quantizer) : 0;
    if (strength > 0) {
      // The filter only changes what is shown: later frames predict from the
      // unfiltered picture.
      std::size_t size = 0;
      for (const PlaneView& p : planes) size += static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
      s.deblocked.resize(size);
      std::uint8_t* out = s.deblocked.data();
      for (int i = 0; i < 3; ++i) {
        const PlaneView& p = planes[i];
        for (int y = 0; y < p.height; ++y)
          std::memcpy(out + static_cast<std::size_t>(y) * p.width, p.data + static_cast<std::ptrdiff_t>(y) * p.stride,
                      static_cast<std::size_t>(p.width));
        DeblockPlane(out, p.width, p.height, p.width, strength);
        yuv.data[i] = out;
        yuv.stride[i] = p.width;
        out += static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
      }
    } else {
      for (int i = 0; i < 3; ++i) {
        yuv.data[i] = planes[i].data;
        yuv.stride[i] = planes[i].stride;
      }
    }
    ConvertYuv420(yuv, false, converted);
    picture = std::move(converted);
    return true;
  }
  if (!s.hasPicture || !s.frame || s.frame->width <= 0) return false;
  const AVFrame* frame = s.frame;
  const int width = std::max(1, frame->width - (codec_ == 4 || codec_ == 5 ? s.cropRight : 0));
  const int height = std::max(1, frame->height - (codec_ == 4 || codec_ == 5 ? s.cropBottom : 0));
  const bool alpha = codec_ == 5;
  if (frame->format == AV_PIX_FMT_YUV420P || (alpha && frame->format == AV_PIX_FMT_YUVA420P)) {
    QImage converted(width, height, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (converted.isNull()) return false;
    Yuv420 planes;
    for (int i = 0; i < 4; ++i) {
      planes.data[i] = frame->data[i];
      planes.stride[i] = frame->linesize[i];
    }
    ConvertYuv420(planes, alpha && frame->format == AV_PIX_FMT_YUVA420P, converted);
    picture = std::move(converted);
    return true;
  }
  // BGRA in memory is QImage's ARGB32 on little-endian machines.
  s.scaler = sws_getCachedContext(s.scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!s.scaler) return false;
  QImage full(frame->width, frame->height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (full.isNull()) return false;
  // libswscale may write a little past the end of a row for narrow or odd widths; it
  // gets a padded buffer of its own and the rows are copied from there.
  const int stride = (frame->width * 4 + 63) & ~63;
  s.converted.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(frame->height + 2) + 64);
  std::uint8_t* planes[4] = {s.converted.data(), nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  sws_scale(s.scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
  for (int y = 0; y < frame->height; ++y)
    std::memcpy(full.scanLine(y), s.converted.data() + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(frame->width) * 4);
  if (!alpha) {
    // Opaque pictures: make sure the unused byte says opaque.
    for (int y = 0; y < full.height(); ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(full.scanLine(y));
      for (int x = 0; x < full.width(); ++x) row[x] |= 0xFF000000u;
    }
  }
  QImage cut = width == frame->width && height == frame->height ? std::move(full) : full.copy(0, 0, width, height);
  picture = alpha ? cut.convertToFormat(QImage::Format_ARGB32_Premultiplied) : std::move(cut);
  return true;
}

}  // namespace vantrel::flash::video
