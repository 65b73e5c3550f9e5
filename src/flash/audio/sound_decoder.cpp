#include "flash/audio/sound_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace vantrel::flash::audio {

namespace {

AVCodecID CodecIdFor(const SoundFormat& format) {
  switch (static_cast<SoundCodec>(format.codec)) {
    case SoundCodec::PcmNative:
    case SoundCodec::PcmLittle:
      return format.sixteenBit ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
    case SoundCodec::Adpcm: return AV_CODEC_ID_ADPCM_SWF;
    case SoundCodec::Mp3:
    case SoundCodec::Mp3_8k: return AV_CODEC_ID_MP3;
    case SoundCodec::Nelly16k:
    case SoundCodec::Nelly8k:
    case SoundCodec::Nelly: return AV_CODEC_ID_NELLYMOSER;
    case SoundCodec::Alaw: return AV_CODEC_ID_PCM_ALAW;
    case SoundCodec::Mulaw: return AV_CODEC_ID_PCM_MULAW;
    case SoundCodec::Aac: return AV_CODEC_ID_AAC;
    case SoundCodec::Speex: return AV_CODEC_ID_SPEEX;
  }
  return AV_CODEC_ID_NONE;
}

}  // namespace

struct SoundDecoder::State {
  const AVCodec* codec = nullptr;
  AVCodecContext* context = nullptr;
  AVCodecParserContext* parser = nullptr;  // MP3 data arrives in blocks that split frames
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwrContext* resampler = nullptr;
  int inRate = 0, inChannels = 0, inFormat = -1;
  std::vector<std::uint8_t> config;

  ~State() { Close(); }
  void Close() {
    swr_free(&resampler);
    if (parser) av_parser_close(parser);
    parser = nullptr;
    avcodec_free_context(&context);
    av_packet_free(&packet);
    av_frame_free(&frame);
    inRate = inChannels = 0;
    inFormat = -1;
  }
};

SoundDecoder::SoundDecoder(const SoundFormat& format) : format_(format), state_(std::make_unique<State>()) {
  // Damaged frames are skipped on purpose; FFmpeg need not report each one.
  static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true);
  (void)quiet;
  Reset();
}

SoundDecoder::~SoundDecoder() = default;

bool SoundDecoder::Ok() const { return state_->context != nullptr; }

void SoundDecoder::SetConfig(std::span<const std::uint8_t> config) {
  state_->config.assign(config.begin(), config.end());
  Reset();
}

void SoundDecoder::Reset() {
  State& s = *state_;
  s.Close();
  const AVCodecID id = CodecIdFor(format_);
  s.codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!s.codec) {
    error_ = "no decoder for sound codec " + std::to_string(format_.codec);
    return;
  }
  s.context = avcodec_alloc_context3(s.codec);
  s.packet = av_packet_alloc();
  s.frame = av_frame_alloc();
  if (!s.context || !s.packet || !s.frame) {
    error_ = "out of memory";
    s.Close();
    return;
  }
  const int channels = format_.stereo ? 2 : 1;
  av_channel_layout_default(&s.context->ch_layout, channels);
  s.context->sample_rate = format_.rate;
  if (id == AV_CODEC_ID_PCM_S16LE || id == AV_CODEC_ID_PCM_U8 || id == AV_CODEC_ID_PCM_ALAW ||
      id == AV_CODEC_ID_PCM_MULAW)
    s.context->block_align = channels * (id == AV_CODEC_ID_PCM_S16LE ? 2 : 1);
  if (!s.config.empty()) {
    s.context->extradata = static_cast<std::uint8_t*>(av_mallocz(s.config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (s.context->extradata) {
      std::memcpy(s.context->extradata, s.config.data(), s.config.size());
      s.context->extradata_size = static_cast<int>(s.config.size());
    }
  }
  if (avcodec_open2(s.context, s.codec, nullptr) < 0) {
    error_ = std::string("cannot open the ") + s.codec->name + " decoder";
    s.Close();
    return;
  }
  if (id == AV_CODEC_ID_MP3) s.parser = av_parser_init(id);
  error_.clear();
}

namespace {

// Converts one decoded frame (or, with frame null, the resampler's tail) to the mix
// format and appends it.
constexpr double kMonoToStereo[2] = {1.0, 1.0};

std::size_t Resample(SwrContext*& resampler, const AVFrame* frame, int& inRate,
                     int& inChannels, int& inFormat, PcmBuffer& out, std::size_t room) {
  if (frame) {
    const int channels = frame->ch_layout.nb_channels;
    if (channels < 1 || frame->sample_rate <= 0) return 0;
    if (!resampler || frame->sample_rate != inRate || channels != inChannels || frame->format != inFormat) {
      swr_free(&resampler);
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      AVChannelLayout inLayout;
      av_channel_layout_default(&inLayout, channels);
      if (swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, kMixRate, &inLayout,
                              static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0 ||
          // A mono sound plays at full level on both sides, not 3 dB down as a centre channel.
          (channels == 1 && swr_set_matrix(resampler, kMonoToStereo, 1) < 0) || swr_init(resampler) < 0) {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        return 0;
      }
      av_channel_layout_uninit(&inLayout);
      inRate = frame->sample_rate;
      inChannels = channels;
      inFormat = frame->format;
    }
  }
  if (!resampler) return 0;
  const int inSamples = frame ? frame->nb_samples : 0;
  const int capacity = swr_get_out_samples(resampler, inSamples);
  if (capacity <= 0) return 0;
  const std::size_t start = out.samples.size();
  out.samples.resize(start + static_cast<std::size_t>(capacity) * 2);
  auto* target = reinterpret_cast<std::uint8_t*>(out.samples.data() + start);
  const int made = swr_convert(resampler, &target, capacity, frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                               inSamples);
  std::size_t kept = made > 0 ? static_cast<std::size_t>(made) : 0;
  kept = std::min(kept, room);
  out.samples.resize(start + kept * 2);
  return kept;
}

}  // namespace

std::size_t SoundDecoder::Decode(std::span<const std::uint8_t> bytes, PcmBuffer& out) {
  State& s = *state_;
  if (!s.context || bytes.empty()) return 0;
  std::size_t made = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(s.context, s.frame) == 0) {
      const std::size_t room = kMaxFrames > produced_ ? kMaxFrames - produced_ : 0;
      const std::size_t n = Resample(s.resampler, s.frame, s.inRate, s.inChannels, s.inFormat, out, room);
      produced_ += n;
      made += n;
      av_frame_unref(s.frame);
    }
  };
  auto send = [&](const std::uint8_t* data, int size) {
    // FFmpeg wants padding after the data; a copy gives it.
    if (av_new_packet(s.packet, size) < 0) return;
    std::memcpy(s.packet->data, data, static_cast<std::size_t>(size));
    // A damaged packet is refused or yields an error frame: skip it and go on.
    if (avcodec_send_packet(s.context, s.packet) == AVERROR(EAGAIN)) {
      drain();
      avcodec_send_packet(s.context, s.packet);
    }
    av_packet_unref(s.packet);
    drain();
  };
  // Large inputs go in bounded pieces so that a decoder never sees more than it can take.
  if (s.parser) {
    std::vector<std::uint8_t> padded(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), bytes.data(), bytes.size());
    const std::uint8_t* data = padded.data();
    int left = static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX / 2));
    while (left > 0 && produced_ < kMaxFrames) {
      std::uint8_t* frameData = nullptr;
      int frameSize = 0;
      const int used = av_parser_parse2(s.parser, s.context, &frameData, &frameSize, data, left, AV_NOPTS_VALUE,
                                        AV_NOPTS_VALUE, 0);
      if (used < 0) break;
      data += used;
      left -= used;
      if (frameSize > 0) send(frameData, frameSize);
      if (used == 0 && frameSize == 0) break;
    }
  } else {
    send(bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX / 2)));
  }
  return made;
}

std::size_t SoundDecoder::Flush(PcmBuffer& out) {
  State& s = *state_;
  if (!s.context) return 0;
  std::size_t made = 0;
  if (s.parser) {
    std::uint8_t* frameData = nullptr;
    int frameSize = 0;
    av_parser_parse2(s.parser, s.context, &frameData, &frameSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (frameSize > 0) {
      std::vector<std::uint8_t> last(frameData, frameData + frameSize);
      AVCodecParserContext* parser = s.parser;  // the last frame goes straight to the decoder
      s.parser = nullptr;
      made += Decode(last, out);
      s.parser = parser;
    }
  }
  avcodec_send_packet(s.context, nullptr);
  while (avcodec_receive_frame(s.context, s.frame) == 0) {
    const std::size_t room = kMaxFrames > produced_ ? kMaxFrames - produced_ : 0;
    const std::size_t n = Resample(s.resampler, s.frame, s.inRate, s.inChannels, s.inFormat, out, room);
    produced_ += n;
    made += n;
    av_frame_unref(s.frame);
  }
  const std::size_t room = kMaxFrames > produced_ ? kMaxFrames - produced_ : 0;
  const std::size_t tail = Resample(s.resampler, nullptr, s.inRate, s.inChannels, s.inFormat, out, room);
  produced_ += tail;
  return made + tail;
}

PcmBuffer DecodeWholeSound(const SoundFormat& format, std::span<const std::uint8_t> bytes, std::string* error) {
  PcmBuffer out;
  SoundDecoder decoder(format);
  if (!decoder.Ok()) {
    if (error) *error = decoder.Error();
    return out;
  }
  decoder.Decode(bytes, out);
  decoder.Flush(out);
  if (out.samples.empty() && error) *error = "the sound data does not decode";
  return out;
}

}  // namespace vantrel::flash::audio
