// What sound and video cost while playing, as the share of one core per second of
// media ("core_share": 0.05 = 5 % of a core):
//   BM_EightMp3EventSounds   decoding 8 MP3 event sounds and mixing them together
//   BM_FlvPlayback400x300    playing the 400x300 H.263 corpus video with its MP3 sound at
//                            its own rate (decoding, picture conversion, mixing)
//   BM_FfmpegDecode400x300   the baseline: FFmpeg decoding every packet of the same file
//                            through libavformat and libavcodec, converting nothing (the
//                            work of `ffmpeg -i FILE -f null -`)
//   BM_H263Decode400x300     our Sorenson H.263 decoder on the same file's video frames
//                            (pictures as YUV, nothing converted)
//   BM_FfmpegH263Decode400x300  the baseline: FFmpeg's decoder on the same frames
#include <benchmark/benchmark.h>

#include <filesystem>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "core/text.h"
#include "flash/audio/mixer.h"
#include "flash/audio/sound_decoder.h"
#include "flash/video/flv_index.h"
#include "flash/video/flv_playback.h"
#include "flash/video/h263_decoder.h"

namespace {

using namespace vantrel::flash;

const std::string kCorpus = VANTREL_CORPUS_DIR;
const std::string kSoundFile = kCorpus + "/flv/audio_only_mp3_44k.flv";
const std::string kVideoFile = kCorpus + "/flv/h263_400x300_25fps_mp3_44k.flv";

std::vector<std::uint8_t> Read(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  vantrel::core::ReadFileBytes(path, bytes);
  return bytes;
}

benchmark::Counter CoreShare(double mediaSecondsPerIteration, benchmark::State& state) {
  return benchmark::Counter(mediaSecondsPerIteration * static_cast<double>(state.iterations()),
                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EightMp3EventSounds(benchmark::State& state) {
  const std::vector<std::uint8_t> flv = Read(kSoundFile);
  video::FlvIndex index;
  if (flv.empty() || !video::IndexFlv(flv, index, nullptr)) {
    state.SkipWithError("the corpus video with MP3 sound is absent");
    return;
  }
  // The video's MP3 frames, one after the other, as a DefineSound would hold them.
  std::vector<std::uint8_t> mp3;
  for (const video::FlvTag& tag : index.audio) mp3.insert(mp3.end(), flv.begin() + static_cast<long>(tag.offset) + 1, flv.begin() + static_cast<long>(tag.offset + tag.size));
  const SoundFormat format = SoundFormat::FromFlags(index.audioFlags);
  double seconds = 0;
  std::vector<float> out(2 * 1024);
  for (auto _ : state) {
    audio::Mixer mixer;
    for (int voice = 0; voice < 8; ++voice) {
      auto pcm = std::make_shared<audio::PcmBuffer>(audio::DecodeWholeSound(format, mp3));
      seconds = static_cast<double>(pcm->Frames()) / audio::kMixRate;
      mixer.Play(std::move(pcm), {});
    }
    while (mixer.SourceCount() > 0) mixer.Render(out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["core_share"] = CoreShare(seconds, state);
}
BENCHMARK(BM_EightMp3EventSounds)->Unit(benchmark::kMillisecond);

void BM_FlvPlayback400x300(benchmark::State& state) {
  const std::vector<std::uint8_t> flv = Read(kVideoFile);
  if (flv.empty()) {
    state.SkipWithError("the 400x300 corpus video is absent");
    return;
  }
  double seconds = 0;
  std::vector<float> out(2 * 441);
  for (auto _ : state) {
    audio::Mixer mixer;
    video::FlvPlayback playback(&mixer, false);
    playback.OpenBytes(flv);
    seconds = playback.Duration();
    playback.Play();
    // The window's clock: a tick per 10 ms, the sound card pulling the same.
    while (playback.Playing()) {
      playback.Advance(10);
      mixer.Render(out.data(), 441);
    }
    benchmark::DoNotOptimize(playback.Picture().constBits());
  }
  state.counters["core_share"] = CoreShare(seconds, state);
}
BENCHMARK(BM_FlvPlayback400x300)->Unit(benchmark::kMillisecond);

void BM_FfmpegDecode400x300(benchmark::State& state) {
  if (!std::filesystem::exists(kVideoFile)) {
    state.SkipWithError("the 400x300 corpus video is absent");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    AVFormatContext* format = nullptr;
    avformat_open_input(&format, kVideoFile.c_str(), nullptr, nullptr);
    avformat_find_stream_info(format, nullptr);
    seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVCodec* codec = avcodec_find_decoder(format->streams[i]->codecpar->codec_id);
      if (!codec) continue;
      decoders[i] = avcodec_alloc_context3(codec);
      avcodec_parameters_to_context(decoders[i], format->streams[i]->codecpar);
      decoders[i]->thread_count = 1;
      avcodec_open2(decoders[i], codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(format, packet) >= 0) {
      if (AVCodecContext* decoder = decoders[static_cast<unsigned>(packet->stream_index)]) {
        if (avcodec_send_packet(decoder, packet) >= 0)
          while (avcodec_receive_frame(decoder, frame) == 0) av_frame_unref(frame);
      }
      av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    for (AVCodecContext*& decoder : decoders) avcodec_free_context(&decoder);
    avformat_close_input(&format);
  }
  state.counters["core_share"] = CoreShare(seconds, state);
}
BENCHMARK(BM_FfmpegDecode400x300)->Unit(benchmark::kMillisecond);

// The video frames of the 400x300 file (data after each tag's codec byte) and its length.
std::vector<std::vector<std::uint8_t>> VideoFrames(double& seconds) {
  const std::vector<std::uint8_t> flv = Read(kVideoFile);
  video::FlvIndex index;
  std::vector<std::vector<std::uint8_t>> frames;
  if (flv.empty() || !video::IndexFlv(flv, index, nullptr)) return frames;
  for (const video::FlvTag& tag : index.video)
    if (tag.size > 1) frames.emplace_back(flv.begin() + static_cast<std::ptrdiff_t>(tag.offset + 1),
                                          flv.begin() + static_cast<std::ptrdiff_t>(tag.offset + tag.size));
  seconds = index.Duration();
  return frames;
}

void BM_H263Decode400x300(benchmark::State& state) {
  double seconds = 0;
  const auto frames = VideoFrames(seconds);
  if (frames.empty()) {
    state.SkipWithError("the 400x300 corpus video is absent");
    return;
  }
  for (auto _ : state) {
    video::H263Decoder decoder;
    for (const auto& frame : frames) decoder.Decode(frame);
    benchmark::DoNotOptimize(decoder.Luma().data);
  }
  state.counters["core_share"] = CoreShare(seconds, state);
}
BENCHMARK(BM_H263Decode400x300)->Unit(benchmark::kMillisecond);

void BM_FfmpegH263Decode400x300(benchmark::State& state) {
  double seconds = 0;
  const auto frames = VideoFrames(seconds);
  if (frames.empty()) {
    state.SkipWithError("the 400x300 corpus video is absent");
    return;
  }
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLV1);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  for (auto _ : state) {
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    decoder->thread_count = 1;
    avcodec_open2(decoder, codec, nullptr);
    for (const auto& data : frames) {
      av_new_packet(packet, static_cast<int>(data.size()));
      std::copy(data.begin(), data.end(), packet->data);
      if (avcodec_send_packet(decoder, packet) >= 0)
        while (avcodec_receive_frame(decoder, frame) == 0) av_frame_unref(frame);
      av_packet_unref(packet);
    }
    avcodec_free_context(&decoder);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  state.counters["core_share"] = CoreShare(seconds, state);
}
BENCHMARK(BM_FfmpegH263Decode400x300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
