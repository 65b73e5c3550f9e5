#include "av_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vantrel::testing {

namespace {

struct Input {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  int stream = -1;
  ~Input() {
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  bool Open(const std::string& path, AVMediaType type, std::string* error) {
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(format, nullptr) < 0) {
      if (error) *error = "libavformat cannot open " + path;
      return false;
    }
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format, type, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder) {
      if (error) *error = "no stream of that kind in " + path;
      return false;
    }
    codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
    codec->thread_count = 1;
    return avcodec_open2(codec, decoder, nullptr) >= 0;
  }
  template <typename OnFrame>
  void Run(OnFrame onFrame) {
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
      while (avcodec_receive_frame(codec, frame) == 0) {
        onFrame(frame);
        av_frame_unref(frame);
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0) drain();
      av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
};

}  // namespace

bool ReferenceAudio(const std::string& path, flash::audio::PcmBuffer& out, std::string* error) {
  Input input;
  if (!input.Open(path, AVMEDIA_TYPE_AUDIO, error)) return false;
  SwrContext* resampler = nullptr;
  out.samples.clear();
  auto convert = [&](const AVFrame* frame) {
    const int capacity = swr_get_out_samples(resampler, frame ? frame->nb_samples : 0);
    if (capacity <= 0) return;
    const std::size_t start = out.samples.size();
    out.samples.resize(start + static_cast<std::size_t>(capacity) * 2);
    auto* target = reinterpret_cast<std::uint8_t*>(out.samples.data() + start);
    const int made = swr_convert(resampler, &target, capacity,
                                 frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                 frame ? frame->nb_samples : 0);
    out.samples.resize(start + static_cast<std::size_t>(std::max(0, made)) * 2);
  };
  input.Run([&](const AVFrame* frame) {
    if (!resampler) {
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      AVChannelLayout layout;
      av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
      swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, flash::audio::kMixRate, &layout,
                          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
      swr_init(resampler);
    }
    convert(frame);
  });
  if (resampler) convert(nullptr);
  swr_free(&resampler);
  return !out.samples.empty();
}

bool ReferenceVideo(const std::string& path, std::vector<QImage>& frames, std::string* error, bool accurate) {
  Input input;
  if (!input.Open(path, AVMEDIA_TYPE_VIDEO, error)) return false;
  frames.clear();
  SwsContext* scaler = nullptr;
  const int flags = accurate ? SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT : SWS_BICUBIC;
  input.Run([&](const AVFrame* frame) {
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  frame->width, frame->height, AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
    // swscale's vector code writes past the end of a row: it converts into a padded
    // buffer, which is copied into the picture.
    std::uint8_t* planes[4] = {};
    int strides[4] = {};
    if (av_image_alloc(planes, strides, frame->width + 64, frame->height + 2, AV_PIX_FMT_BGRA, 64) < 0) return;
    sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    QImage picture(frame->width, frame->height, QImage::Format_RGB32);
    for (int y = 0; y < frame->height; ++y)
      std::memcpy(picture.scanLine(y), planes[0] + static_cast<std::ptrdiff_t>(y) * strides[0],
                  static_cast<std::size_t>(frame->width) * 4);
    av_freep(&planes[0]);
    frames.push_back(picture);
  });
  sws_freeContext(scaler);
  return !frames.empty();
}

double BestCorrelation(const flash::audio::PcmBuffer& a, const flash::audio::PcmBuffer& b, int maxLag, int* lagFound) {
  auto mono = [](const flash::audio::PcmBuffer& pcm) {
    std::vector<double> m(pcm.Frames());
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = (pcm.samples[i * 2] + pcm.samples[i * 2 + 1]) * 0.5;
    return m;
  };
  const std::vector<double> x = mono(a), y = mono(b);
  // Correlation of x[i + lag] with y[i] over at most window frames of y from start.
  auto correlate = [&](int lag, std::size_t start, std::size_t window) {
    const std::size_t startY = start + (lag < 0 ? static_cast<std::size_t>(-lag) : 0);
    const std::size_t startX = start + (lag > 0 ? static_cast<std::size_t>(lag) : 0);
    if (startX >= x.size() || startY >= y.size()) return -1.0;
    const std::size_t n = std::min({x.size() - startX, y.size() - startY, window});
    if (n < 1000) return -1.0;
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double p = x[startX + i], q = y[startY + i];
      xy += p * q;
      xx += p * p;
      yy += q * q;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : -1.0;
  };
  // The lag from a stretch near the start, then the whole length at that lag.
  const std::size_t probe = std::min<std::size_t>(x.size(), 1000) / 4;
  int best = 0;
  double bestValue = -2;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    const double value = correlate(lag, probe, 16384);
    if (value > bestValue) {
      bestValue = value;
      best = lag;
    }
  }
  if (lagFound) *lagFound = best;
  return correlate(best, 0, SIZE_MAX);
}

double Psnr(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) {
      const double dr = qRed(p[col]) - qRed(q[col]), dg = qGreen(p[col]) - qGreen(q[col]), db = qBlue(p[col]) - qBlue(q[col]);
      sum += dr * dr + dg * dg + db * db;
    }
  }
  const double mse = sum / (3.0 * x.width() * x.height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

double Rms(const flash::audio::PcmBuffer& pcm, std::size_t from, std::size_t to) {
  to = std::min(to, pcm.Frames());
  if (from >= to) return 0;
  double sum = 0;
  for (std::size_t i = from * 2; i < to * 2; ++i) sum += static_cast<double>(pcm.samples[i]) * pcm.samples[i];
  return std::sqrt(sum / static_cast<double>((to - from) * 2));
}

}  // namespace vantrel::testing
