#include "export_test_support.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "flash/av_reference.h"
#include "support/swf_movie_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vantrel::testing {

MediaProbe ProbeMedia(const std::string& path) {
  MediaProbe probe;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return probe;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* stream = format->streams[i];
      probe.codecs.push_back(avcodec_get_name(stream->codecpar->codec_id));
      const double start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time * av_q2d(stream->time_base);
      if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        probe.videoStart = start;
        probe.frameRate = av_q2d(stream->avg_frame_rate);
      } else {
        probe.audioStart = start;
      }
    }
    probe.duration = format->duration == AV_NOPTS_VALUE ? 0 : static_cast<double>(format->duration) / AV_TIME_BASE;
  }
  avformat_close_input(&format);
  return probe;
}

double AlignedCorrelation(const flash::audio::PcmBuffer& a, const flash::audio::PcmBuffer& reference, int maxLag,
                          int* lag) {
  const auto mono = [](const flash::audio::PcmBuffer& pcm) {
    std::vector<double> m(pcm.Frames());
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = (pcm.samples[i * 2] + pcm.samples[i * 2 + 1]) * 0.5;
    return m;
  };
  const std::vector<double> x = mono(a), y = mono(reference);
  // x[i + lag] against y[i] for i in [from, from + count).
  const auto correlate = [&](long shift, std::size_t from, std::size_t count) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = from; i < from + count && i < y.size(); ++i) {
      const long j = static_cast<long>(i) + shift;
      const double p = j >= 0 && static_cast<std::size_t>(j) < x.size() ? x[static_cast<std::size_t>(j)] : 0;
      xy += p * y[i];
      xx += p * p;
      yy += y[i] * y[i];
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
  };
  // The window holds the reference's first sound and the silence before it, so that a
  // periodic tone lines up only where it starts.
  std::size_t start = 0;
  while (start < y.size() && std::abs(y[start]) < 0.01) ++start;
  start = start == y.size() ? 0 : start - std::min<std::size_t>(start, 4096);
  long best = 0;
  double bestValue = -2;
  for (long shift = -maxLag; shift <= maxLag; ++shift) {
    const double value = correlate(shift, start, 8192);
    if (value > bestValue) {
      bestValue = value;
      best = shift;
    }
  }
  if (lag) *lag = static_cast<int>(best);
  return correlate(best, 0, y.size());
}

double Yuv420Ceiling(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  const int width = rgb.width(), height = rgb.height();
  SwsContext* down = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P,
                                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
  SwsContext* up = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGRA,
                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  std::uint8_t* yuv[4] = {};
  int yuvStrides[4] = {};
  std::uint8_t* back[4] = {};
  int backStrides[4] = {};
  double psnr = 0;
  if (down && up && av_image_alloc(yuv, yuvStrides, width + 64, height + 2, AV_PIX_FMT_YUV420P, 64) >= 0 &&
      av_image_alloc(back, backStrides, width + 64, height + 2, AV_PIX_FMT_BGRA, 64) >= 0) {
    std::uint8_t* padded[4] = {};
    int paddedStrides[4] = {};
    av_image_alloc(padded, paddedStrides, width + 64, height + 2, AV_PIX_FMT_BGRA, 64);
    for (int y = 0; y < height; ++y)
      std::memcpy(padded[0] + static_cast<std::ptrdiff_t>(y) * paddedStrides[0], rgb.constScanLine(y),
                  static_cast<std::size_t>(width) * 4);
    sws_scale(down, padded, paddedStrides, 0, height, yuv, yuvStrides);
    sws_scale(up, yuv, yuvStrides, 0, height, back, backStrides);
    QImage result(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
      std::memcpy(result.scanLine(y), back[0] + static_cast<std::ptrdiff_t>(y) * backStrides[0],
                  static_cast<std::size_t>(width) * 4);
    psnr = Psnr(result, rgb);
    av_freep(&padded[0]);
  }
  av_freep(&yuv[0]);
  av_freep(&back[0]);
  sws_freeContext(down);
  sws_freeContext(up);
  return psnr;
}

std::string MovingBoxMovie(int frames, double rate, int width, int height, int stopAt, int beepAt) {
  Bytes tags;
  PutBytes(tags, SetBackgroundColor(255, 255, 255));
  PutBytes(tags, DefineRectangle(1, 0, 0, 20 * 20, 20 * 20, 220, 30, 40));
  if (beepAt > 0) {
    // A half-second tone, 16-bit mono PCM at 44.1 kHz (format 3).
    Bytes sound;
    PutU16(sound, 2);
    PutU8(sound, 0x3E);
    const int samples = 22050;
    PutU32(sound, static_cast<std::uint32_t>(samples));
    for (int i = 0; i < samples; ++i) {
      const auto value = static_cast<std::int16_t>(std::lround(12000 * std::sin(2 * std::numbers::pi * 440 * i / 44100.0)));
      PutU16(sound, static_cast<std::uint16_t>(value));
    }
    PutBytes(tags, Tag(14, sound));
  }
  for (int frame = 1; frame <= frames; ++frame) {
    Place place;
    place.depth = 1;
    place.hasMatrix = true;
    place.x = (frame - 1) * 5 * 20;
    place.y = height / 3 * 20;
    if (frame == 1) place.character = 1;
    else place.move = true;
    PutBytes(tags, PlaceObject2(place));
    if (frame == stopAt) PutBytes(tags, Actions().Stop().Tag());
    if (frame == beepAt) PutBytes(tags, Tag(15, Bytes{2, 0, 0}));
    PutBytes(tags, ShowFrame());
  }
  PutBytes(tags, End());
  const Bytes movie = MakeMovie(tags, width, height, frames, 8, rate);
  return std::string(movie.begin(), movie.end());
}

ProcessResult RunTool(const std::vector<std::string>& args) { return RunProcess(VANTREL_TOOL_PATH, args); }

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vantrel::testing
