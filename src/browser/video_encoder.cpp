#include "browser/video_encoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "browser/gif_palette.h"
#include "core/cache.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vantrel::browser {

namespace {

constexpr int kMixRate = 44100;  // the engine's mixer
// APNG's pictures only change their byte order.
constexpr int kScaleFlags = SWS_POINT;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct FormatCodecs {
  const char* muxer;
  const char* video;
  const char* audio;  // null: no sound in this format
};

FormatCodecs CodecsFor(ExportFormat format) {
  switch (format) {
    case ExportFormat::WebM: return {"webm", "libvpx-vp9", "libopus"};
    case ExportFormat::Mkv: return {"matroska", "libx264", "aac"};
    case ExportFormat::Gif: return {"gif", "gif", nullptr};
    case ExportFormat::Apng: return {"apng", "apng", nullptr};
    case ExportFormat::Mp4:
    case ExportFormat::Png: break;
  }
  return {"mp4", "libx264", "aac"};
}

int QualityIndex(ExportQuality quality) {
  return quality == ExportQuality::High ? 0 : quality == ExportQuality::Medium ? 1 : 2;
}

// Encoder options per quality. H.264 uses x264's fastest analysis with CABAC and a
// fixed run of three B-frames: with the drawing it keeps an export of a 720p movie
// three times faster than the movie plays on one core; the rate factor decides the
// quality (at 20 a 720p picture is within about 55 dB of the drawing).
void VideoOptions(ExportFormat format, ExportQuality quality, AVDictionary** options) {
  const int q = QualityIndex(quality);
  if (format == ExportFormat::Mp4 || format == ExportFormat::Mkv) {
    static const char* const kCrf[] = {"20", "24", "28"};
    av_dict_set(options, "preset", "ultrafast", 0);
    av_dict_set(options, "x264-params", "cabac=1:bframes=3:b-adapt=0:deblock=0,0", 0);
    av_dict_set(options, "crf", kCrf[q], 0);
  } else if (format == ExportFormat::WebM) {
    static const char* const kCrf[] = {"24", "32", "40"};
    av_dict_set(options, "crf", kCrf[q], 0);
    av_dict_set(options, "b", "0", 0);
    av_dict_set(options, "deadline", "good", 0);
    av_dict_set(options, "cpu-used", "5", 0);
    av_dict_set(options, "row-mt", "1", 0);
  }
}

std::int64_t SoundBitRate(ExportFormat format, ExportQuality quality) {
  static const std::int64_t kAac[] = {192000, 160000, 128000};
  static const std::int64_t kOpus[] = {160000, 128000, 96000};
  return (format == ExportFormat::WebM ? kOpus : kAac)[QualityIndex(quality)];
}

// BGRA pictures to 4:2:0 in the BT.601 matrix and the video range (16 to 235), as
// players convert back; each 2x2 block's chroma is that of its mean colour. Pixels are
// read as whole 32-bit words so that the compiler vectorises the rows.
void ToYuv420(const std::uint8_t* bgra, std::size_t stride, int width, int height, AVFrame* frame) {
  const auto pixelRow = [&](int y) {
    return reinterpret_cast<const std::uint32_t*>(bgra + static_cast<std::size_t>(std::min(y, height - 1)) * stride);
  };
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* row = pixelRow(y);
    std::uint8_t* luma = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = row[x];
      const std::uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
      luma[x] = static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    }
  }
  const int chromaWidth = width / 2;  // video pictures have even sides
  for (int y = 0; y < (height + 1) / 2; ++y) {
    const std::uint32_t* top = pixelRow(2 * y);
    const std::uint32_t* bottom = pixelRow(2 * y + 1);
    std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y) * frame->linesize[1];
    std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y) * frame->linesize[2];
    for (int x = 0; x < chromaWidth; ++x) {
      const std::uint32_t a = top[2 * x], b2 = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
      // Sums of the four pixels: the factors below carry the division by 4.
      const int r = static_cast<int>((a >> 16 & 255) + (b2 >> 16 & 255) + (c >> 16 & 255) + (d >> 16 & 255));
      const int g = static_cast<int>((a >> 8 & 255) + (b2 >> 8 & 255) + (c >> 8 & 255) + (d >> 8 & 255));
      const int b = static_cast<int>((a & 255) + (b2 & 255) + (c & 255) + (d & 255));
      u[x] = static_cast<std::uint8_t>((-38 * r - 74 * g + 112 * b + (128 << 10) + 512) >> 10);
      v[x] = static_cast<std::uint8_t>((112 * r - 94 * g - 18 * b + (128 << 10) + 512) >> 10);
    }
  }
}

}  // namespace

// ---- TemporaryTarget -------------------------------------------------------------------

TemporaryTarget::~TemporaryTarget() { Remove(); }

std::string TemporaryTarget::Create(const std::string& target) {
  Remove();
  target_ = target;
  temp_ = core::TemporaryPatternFor(target);
  const int fd = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd < 0) {
    const std::string why = "cannot write " + target + ": " + std::strerror(errno);
    temp_.clear();
    return why;
  }
  // A new file of ours gets the user's usual permissions, not mkstemp's 0600.
  ::fchmod(fd, static_cast<mode_t>(0666u & ~core::CurrentUmask()));
  ::close(fd);
  return {};
}

std::string TemporaryTarget::Commit() {
  if (temp_.empty()) return "nothing was written";
  const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!synced || std::rename(temp_.c_str(), target_.c_str()) != 0) {
    const std::string why = "cannot write " + target_ + ": " + std::strerror(errno);
    Remove();
    return why;
  }
  temp_.clear();
  return {};
}

void TemporaryTarget::Remove() {
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

// ---- VideoEncoder ----------------------------------------------------------------------

struct VideoEncoder::State {
  EncoderSetup setup;
  TemporaryTarget file;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVStream* videoStream = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  long pictures = 0;
  std::int64_t lastPts = -1;
  std::int64_t soundPts = 0;
  bool headerWritten = false;
  // GIF: the pictures wait in a spool file until the clip's palette is known.
  std::FILE* spool = nullptr;
  ClipPalette palette;

  ~State() {
    if (spool) std::fclose(spool);
    av_packet_free(&packet);
    av_frame_free(&sound);
    av_frame_free(&picture);
    if (fifo) av_audio_fifo_free(fifo);
    swr_free(&resampler);
    sws_freeContext(scaler);
    avcodec_free_context(&audio);
    avcodec_free_context(&video);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  // Sends frame (null: the end) to an encoder and writes what comes out.
  std::string Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0 && result != AVERROR_EOF) return "the " + std::string(codec->codec->name) + " encoder failed: " + AvError(result);
    while ((result = avcodec_receive_packet(codec, packet)) == 0) {
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      result = av_interleaved_write_frame(format, packet);
      if (result < 0) return "cannot write the video: " + AvError(result);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
      return "the " + std::string(codec->codec->name) + " encoder failed: " + AvError(result);
    return {};
  }

  // The next picture's time in the encoder's time base; GIF counts hundredths of a
  // second (the delays it stores), the others whole frames.
  std::int64_t NextPts() {
    std::int64_t pts = pictures;
    if (setup.format == ExportFormat::Gif)
      pts = std::llround(static_cast<double>(pictures) * 100.0 / setup.fps);
    pts = std::max(pts, lastPts + 1);
    lastPts = pts;
    return pts;
  }

  std::string OpenVideo(const AVCodec* codec) {
    video = avcodec_alloc_context3(codec);
    if (!video) return "out of memory";
    video->width = setup.width;
    video->height = setup.height;
    // A movie's rate is a multiple of 1/256 (29.97 is stored as 7672/256): exact as a fraction.
    video->framerate = av_d2q(setup.fps, 65535);
    video->time_base = setup.format == ExportFormat::Gif ? AVRational{1, 100} : av_inv_q(video->framerate);
    video->thread_count = setup.threads;
    switch (setup.format) {
      case ExportFormat::Gif: video->pix_fmt = AV_PIX_FMT_PAL8; break;
      case ExportFormat::Apng: video->pix_fmt = AV_PIX_FMT_RGB24; break;
      default:
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        // Pictures are converted with the BT.601 matrix into the video range; say so,
        // so that players convert back the same way.
        video->colorspace = AVCOL_SPC_SMPTE170M;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_IEC61966_2_1;
        video->color_range = AVCOL_RANGE_MPEG;
        video->gop_size = std::max(1, static_cast<int>(std::lround(10.0 * setup.fps)));
        break;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    VideoOptions(setup.format, setup.quality, &options);
    const int result = avcodec_open2(video, codec, &options);
    av_dict_free(&options);
    if (result < 0) return "cannot open the " + std::string(codec->name) + " encoder: " + AvError(result);
    videoStream = avformat_new_stream(format, nullptr);
    if (!videoStream) return "out of memory";
    avcodec_parameters_from_context(videoStream->codecpar, video);
    videoStream->time_base = video->time_base;
    videoStream->avg_frame_rate = video->framerate;
    picture = av_frame_alloc();
    if (!picture) return "out of memory";
    picture->format = video->pix_fmt;
    picture->width = setup.width;
    picture->height = setup.height;
    if (av_frame_get_buffer(picture, 0) < 0) return "out of memory for a " + std::to_string(setup.width) + "x" +
                                                     std::to_string(setup.height) + " picture";
    if (setup.format == ExportFormat::Apng) {
      scaler = sws_getContext(setup.width, setup.height, AV_PIX_FMT_BGRA, setup.width, setup.height, video->pix_fmt,
                              kScaleFlags, nullptr, nullptr, nullptr);
      if (!scaler) return "cannot convert pictures for the " + std::string(codec->name) + " encoder";
    }
    return {};
  }

  std::string OpenAudio(const AVCodec* codec) {
    audio = avcodec_alloc_context3(codec);
    if (!audio) return "out of memory";
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
      if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
        sampleFormat = *f;
        break;
      }
      if (sampleFormat == AV_SAMPLE_FMT_NONE) sampleFormat = *f;
    }
    int rate = kMixRate;
    if (codec->supported_samplerates) {
      // Opus codes 48 kHz; the mix is resampled when the encoder does not take 44.1 kHz.
      rate = codec->supported_samplerates[0];
      for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == kMixRate) rate = kMixRate;
    }
    audio->sample_fmt = sampleFormat;
    audio->sample_rate = rate;
    audio->time_base = AVRational{1, rate};
    av_channel_layout_default(&audio->ch_layout, 2);
    audio->bit_rate = SoundBitRate(setup.format, setup.quality);
    if (format->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(audio, codec, nullptr);
    if (result < 0) return "cannot open the " + std::string(codec->name) + " encoder: " + AvError(result);
    audioStream = avformat_new_stream(format, nullptr);
    if (!audioStream) return "out of memory";
    avcodec_parameters_from_context(audioStream->codecpar, audio);
    audioStream->time_base = audio->time_base;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    result = swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &stereo,
                                 AV_SAMPLE_FMT_FLT, kMixRate, 0, nullptr);
    if (result < 0 || swr_init(resampler) < 0) return "cannot convert the sound for the " + std::string(codec->name) + " encoder";
    const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    fifo = av_audio_fifo_alloc(audio->sample_fmt, 2, frameSize * 4);
    sound = av_frame_alloc();
    if (!fifo || !sound) return "out of memory";
    sound->format = audio->sample_fmt;
    sound->sample_rate = audio->sample_rate;
    av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
    sound->nb_samples = frameSize;
    if (av_frame_get_buffer(sound, 0) < 0) return "out of memory";
    return {};
  }

  // Encodes whole frames of the queued sound; at the end also the rest, padded with
  // silence when the encoder takes only whole frames.
  std::string DrainSound(bool end) {
    const int frameSize = sound->nb_samples;
    while (av_audio_fifo_size(fifo) >= frameSize || (end && av_audio_fifo_size(fifo) > 0)) {
      if (av_frame_make_writable(sound) < 0) return "out of memory";
      const int take = std::min(frameSize, av_audio_fifo_size(fifo));
      av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), take);
      const bool smallLast = audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
      if (take < frameSize && !smallLast)
        av_samples_set_silence(sound->data, take, frameSize - take, 2, audio->sample_fmt);
      sound->nb_samples = take < frameSize && smallLast ? take : frameSize;
      sound->pts = soundPts;
      soundPts += sound->nb_samples;
      std::string failure = Encode(audio, audioStream, sound);
      sound->nb_samples = frameSize;
      if (!failure.empty()) return failure;
    }
    return {};
  }

  std::string Resample(const float* samples, std::size_t frames) {
    const int capacity = swr_get_out_samples(resampler, static_cast<int>(frames));
    if (capacity <= 0) return {};
    std::vector<std::uint8_t*> planes(2, nullptr);
    int lineSize = 0;
    if (av_samples_alloc(planes.data(), &lineSize, 2, capacity, audio->sample_fmt, 0) < 0) return "out of memory";
    const auto* in = reinterpret_cast<const std::uint8_t*>(samples);
    const int made = swr_convert(resampler, planes.data(), capacity, samples ? &in : nullptr, static_cast<int>(frames));
    std::string failure;
    if (made > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(planes.data()), made) < made) failure = "out of memory";
    av_freep(&planes[0]);
    return failure;
  }
};

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder() = default;

long VideoEncoder::Pictures() const { return state_ ? state_->pictures : 0; }

std::string VideoEncoder::Open(const std::string& target, const EncoderSetup& setup) {
  // FFmpeg's own reports stay off the terminal; failures come back as our messages.
  static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true);
  (void)quiet;
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.setup = setup;
  if (setup.format == ExportFormat::Png) return "a picture sequence is not written by the video encoder";
  if (setup.width < 1 || setup.height < 1 || !(setup.fps > 0)) return "the picture size or rate is zero";
  const FormatCodecs codecs = CodecsFor(setup.format);
  const AVCodec* videoCodec = avcodec_find_encoder_by_name(codecs.video);
  if (!videoCodec) return std::string("this FFmpeg has no ") + codecs.video + " encoder";
  const AVCodec* audioCodec = nullptr;
  if (setup.sound && codecs.audio) {
    audioCodec = avcodec_find_encoder_by_name(codecs.audio);
    if (!audioCodec) return std::string("this FFmpeg has no ") + codecs.audio + " encoder";
  }
  if (std::string failure = s.file.Create(target); !failure.empty()) return failure;
  if (avformat_alloc_output_context2(&s.format, nullptr, codecs.muxer, s.file.Path().c_str()) < 0 || !s.format)
    return std::string("this FFmpeg cannot write ") + codecs.muxer + " files";
  if (std::string failure = s.OpenVideo(videoCodec); !failure.empty()) return failure;
  if (audioCodec)
    if (std::string failure = s.OpenAudio(audioCodec); !failure.empty()) return failure;
  s.packet = av_packet_alloc();
  if (!s.packet) return "out of memory";
  if (const int result = avio_open(&s.format->pb, s.file.Path().c_str(), AVIO_FLAG_WRITE); result < 0)
    return "cannot write " + target + ": " + AvError(result);
  AVDictionary* options = nullptr;
  // MP4 puts its index in front, so that the video starts playing while it downloads;
  // GIF and APNG loop for ever, as the movie does.
  if (setup.format == ExportFormat::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
  if (setup.format == ExportFormat::Gif) av_dict_set(&options, "loop", "0", 0);
  if (setup.format == ExportFormat::Apng) av_dict_set(&options, "plays", "0", 0);
  const int result = avformat_write_header(s.format, &options);
  av_dict_free(&options);
  if (result < 0) return "cannot start " + target + ": " + AvError(result);
  s.headerWritten = true;
  if (setup.format == ExportFormat::Gif) {
    s.spool = std::tmpfile();
    if (!s.spool) return std::string("cannot make a temporary file for the GIF's pictures: ") + std::strerror(errno);
  }
  return {};
}

std::string VideoEncoder::AddPicture(const QImage& picture) {
  if (!state_ || !state_->headerWritten) return "the encoder is not open";
  State& s = *state_;
  // The engine draws opaque pictures, so premultiplied or not, the bytes are the same:
  // blue, green, red, then alpha (unused) in memory.
  const QImage::Format format = picture.format();
  const bool direct = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied;
  const QImage rgb = direct ? picture : picture.convertToFormat(QImage::Format_RGB32);
  if (rgb.width() != s.setup.width || rgb.height() != s.setup.height) return "a picture of the wrong size";
  if (s.setup.format == ExportFormat::Gif) {
    s.palette.Count(rgb.constBits(), rgb.width(), rgb.height(), static_cast<std::size_t>(rgb.bytesPerLine()));
    for (int y = 0; y < rgb.height(); ++y) {
      if (std::fwrite(rgb.constScanLine(y), 4, static_cast<std::size_t>(rgb.width()), s.spool) !=
          static_cast<std::size_t>(rgb.width()))
        return std::string("cannot keep the GIF's pictures: ") + std::strerror(errno);
    }
    ++s.pictures;
    return {};
  }
  if (av_frame_make_writable(s.picture) < 0) return "out of memory";
  if (s.video->pix_fmt == AV_PIX_FMT_YUV420P) {
    ToYuv420(rgb.constBits(), static_cast<std::size_t>(rgb.bytesPerLine()), rgb.width(), rgb.height(), s.picture);
  } else {
    const std::uint8_t* planes[1] = {rgb.constBits()};
    const int strides[1] = {static_cast<int>(rgb.bytesPerLine())};
    sws_scale(s.scaler, planes, strides, 0, rgb.height(), s.picture->data, s.picture->linesize);
  }
  s.picture->pts = s.NextPts();
  ++s.pictures;
  return s.Encode(s.video, s.videoStream, s.picture);
}

std::string VideoEncoder::AddSound(const float* samples, std::size_t frames) {
  if (!state_ || !state_->headerWritten) return "the encoder is not open";
  State& s = *state_;
  if (!s.audio || frames == 0) return {};
  if (std::string failure = s.Resample(samples, frames); !failure.empty()) return failure;
  return s.DrainSound(false);
}

std::string VideoEncoder::FinishGif() {
  State& s = *state_;
  s.palette.Build(255);
  // Entry 255 stays transparent: the encoder then stores only what changed between
  // pictures.
  std::vector<std::uint32_t> entries(256, 0xFF000000u);
  const std::vector<std::uint32_t>& colours = s.palette.Colours();
  std::copy(colours.begin(), colours.end(), entries.begin());
  entries[255] = 0;
  std::rewind(s.spool);
  const int width = s.setup.width, height = s.setup.height;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  const long count = s.pictures;
  s.pictures = 0;
  for (long i = 0; i < count; ++i) {
    if (std::fread(pixels.data(), 1, pixels.size(), s.spool) != pixels.size()) return "cannot read the GIF's pictures back";
    if (av_frame_make_writable(s.picture) < 0) return "out of memory";
    s.palette.Map(pixels.data(), width, height, static_cast<std::size_t>(width) * 4, s.picture->data[0],
                  static_cast<std::size_t>(s.picture->linesize[0]));
    std::memcpy(s.picture->data[1], entries.data(), entries.size() * 4);
    s.picture->pts = s.NextPts();
    ++s.pictures;
    if (std::string failure = s.Encode(s.video, s.videoStream, s.picture); !failure.empty()) return failure;
  }
  return {};
}

std::string VideoEncoder::Finish() {
  if (!state_ || !state_->headerWritten) return "the encoder is not open";
  State& s = *state_;
  if (s.pictures == 0) return "no picture was made";
  if (s.setup.format == ExportFormat::Gif)
    if (std::string failure = FinishGif(); !failure.empty()) return failure;
  if (s.audio) {
    if (std::string failure = s.Resample(nullptr, 0); !failure.empty()) return failure;
    if (std::string failure = s.DrainSound(true); !failure.empty()) return failure;
    if (std::string failure = s.Encode(s.audio, s.audioStream, nullptr); !failure.empty()) return failure;
  }
  if (std::string failure = s.Encode(s.video, s.videoStream, nullptr); !failure.empty()) return failure;
  if (const int result = av_write_trailer(s.format); result < 0) return "cannot finish the video: " + AvError(result);
  s.headerWritten = false;
  if (const int result = avio_closep(&s.format->pb); result < 0) return "cannot write the video: " + AvError(result);
  return s.file.Commit();
}

void VideoEncoder::Abandon() { state_.reset(); }

}  // namespace vantrel::browser
