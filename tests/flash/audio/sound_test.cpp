// Decoding and the sounds of movies: PCM and ADPCM through the decoders, a movie's event
// sounds with their sync flags and loops, and a stream sound that follows the frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "flash/audio/mixer.h"
#include "flash/audio/movie_sounds.h"
#include "flash/audio/sound_decoder.h"
#include "flash/audio/sound_library.h"
#include "flash/av_reference.h"
#include "flash/control/flash_control.h"
#include "flash/control/offline_sound.h"
#include "support/swf_writer.h"

namespace vantrel::flash::audio {
namespace {

using vantrel::testing::Le16;
using vantrel::testing::Le32;
using vantrel::testing::SwfWriter;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Pcm16(std::size_t samples, double value) {
  std::string data;
  for (std::size_t i = 0; i < samples; ++i) data += Le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)));
  return data;
}

// Mean of frames [from, to) of the left channel.
double Mean(const PcmBuffer& pcm, double fromSeconds, double toSeconds) {
  const auto from = static_cast<std::size_t>(fromSeconds * kMixRate), to = static_cast<std::size_t>(toSeconds * kMixRate);
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += pcm.samples[i * 2];
  return sum / static_cast<double>(to - from);
}

TEST(AudioDecoding, FormatFlagsAndUncompressedSamples) {
  const SoundFormat nelly = SoundFormat::FromFlags(0x4E);  // Nellymoser 16 kHz whatever the rate bits say
  EXPECT_EQ(nelly.rate, 16000);
  EXPECT_FALSE(nelly.stereo);
  const SoundFormat pcm = SoundFormat::FromFlags(0x3B);  // little-endian, 22 kHz, 16-bit, stereo
  EXPECT_EQ(pcm.codec, 3);
  EXPECT_EQ(pcm.rate, 22050);
  EXPECT_TRUE(pcm.sixteenBit && pcm.stereo);

  // 8-bit samples are unsigned around 128; mono goes to both sides; 22 kHz doubles.
  SoundFormat eight = SoundFormat::FromFlags(0x38);
  const std::string data(2205, static_cast<char>(192));
  const PcmBuffer out = DecodeWholeSound(eight, Bytes(data));
  EXPECT_NEAR(static_cast<double>(out.Frames()), 4410, 8);
  EXPECT_NEAR(out.samples[2000], 0.5, 0.01);
  EXPECT_FLOAT_EQ(out.samples[2000], out.samples[2001]);
}

// A 440 Hz tone through one of FFmpeg's encoders: the packets it made (empty when this
// FFmpeg cannot encode that way).
std::vector<std::string> EncodeTone(AVCodecID codecId, int rate, AVSampleFormat sampleFormat, int frames) {
  std::vector<std::string> packets;
  const AVCodec* encoder = avcodec_find_encoder(codecId);
  if (!encoder) return packets;
  AVCodecContext* context = avcodec_alloc_context3(encoder);
  context->sample_rate = rate;
  context->sample_fmt = sampleFormat;
  av_channel_layout_default(&context->ch_layout, 1);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  if (avcodec_open2(context, encoder, nullptr) == 0) {
    frame->nb_samples = context->frame_size;
    frame->format = sampleFormat;
    av_channel_layout_default(&frame->ch_layout, 1);
    av_frame_get_buffer(frame, 0);
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < frame->nb_samples; ++i) {
        const double value = 0.4 * std::sin((f * frame->nb_samples + i) * 2 * M_PI * 440 / rate);
        if (sampleFormat == AV_SAMPLE_FMT_S16)
          reinterpret_cast<std::int16_t*>(frame->data[0])[i] = static_cast<std::int16_t>(value * 32767);
        else
          reinterpret_cast<float*>(frame->data[0])[i] = static_cast<float>(value);
      }
      frame->pts = static_cast<std::int64_t>(f) * frame->nb_samples;
      avcodec_send_frame(context, frame);
      while (avcodec_receive_packet(context, packet) == 0) {
        packets.emplace_back(reinterpret_cast<const char*>(packet->data), static_cast<std::size_t>(packet->size));
        av_packet_unref(packet);
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return packets;
}

// The tone made directly at the mix rate.
PcmBuffer Tone(std::size_t frames) {
  PcmBuffer tone;
  for (std::size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<float>(0.4 * std::sin(static_cast<double>(i) * 2 * M_PI * 440 / kMixRate));
    tone.samples.push_back(value);
    tone.samples.push_back(value);
  }
  return tone;
}

TEST(AudioDecoding, TonesFromFfmpegsEncodersComeBack) {
  // ADPCM: one 4096-sample block at 22 kHz (a whole DefineSound's data).
  const auto adpcm = EncodeTone(AV_CODEC_ID_ADPCM_SWF, 22050, AV_SAMPLE_FMT_S16, 1);
  if (!adpcm.empty()) {
    const PcmBuffer decoded = DecodeWholeSound(SoundFormat::FromFlags(0x1A), Bytes(adpcm[0]));
    EXPECT_NEAR(static_cast<double>(decoded.Frames()), 8192, 64);
    EXPECT_GT(vantrel::testing::BestCorrelation(decoded, Tone(decoded.Frames()), 64), 0.99);
    // Garbage after the good block neither crashes nor takes the good samples away.
    std::string damaged = adpcm[0];
    for (int i = 0; i < 500; ++i) damaged.push_back(static_cast<char>(i * 37));
    EXPECT_GE(DecodeWholeSound(SoundFormat::FromFlags(0x1A), Bytes(damaged)).Frames(), decoded.Frames());
  }
  // Nellymoser at 8 kHz: 64-byte blocks, one after the other.
  const auto nelly = EncodeTone(AV_CODEC_ID_NELLYMOSER, 8000, AV_SAMPLE_FMT_FLT, 40);
  if (!nelly.empty()) {
    std::string data;
    for (const std::string& packet : nelly) data += packet;
    const PcmBuffer decoded = DecodeWholeSound(SoundFormat::FromFlags(0x52), Bytes(data));
    EXPECT_NEAR(static_cast<double>(decoded.Frames()), nelly.size() * 256.0 * kMixRate / 8000, 2000);
    EXPECT_GT(vantrel::testing::BestCorrelation(decoded, Tone(decoded.Frames()), 2048), 0.95);
  }
  if (adpcm.empty() && nelly.empty()) GTEST_SKIP() << "this FFmpeg has neither encoder";
}

TEST(AudioDecoding, GarbageAsMp3DecodesToNothing) {
  std::string garbage;
  for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<char>((i * 7919) >> 3));
  std::string error;
  const PcmBuffer out = DecodeWholeSound(SoundFormat::FromFlags(0x2E), Bytes(garbage), &error);
  EXPECT_LT(out.Frames(), 5000u);
}

// A movie at 10 frames per second whose sound 1 is 0.15 s of a constant 0.5.
SwfWriter EventSoundMovie() {
  SwfWriter swf(8, 100, 100, 10, 4);
  swf.Tag(14, Le16(1) + std::string(1, '\x3E') + Le32(6615) + Pcm16(6615, 0.5), true);
  return swf;
}

TEST(AudioMovieSounds, StartSoundHonoursLoopsNoMultipleAndStop) {
  SwfWriter swf = EventSoundMovie();
  swf.Tag(15, Le16(1) + "\x04" + Le16(2)).ShowFrame();  // 0.0 s: twice, until 0.3 s
  swf.Tag(15, Le16(1) + "\x10").ShowFrame();            // 0.1 s: not while it plays
  swf.Tag(15, Le16(1) + std::string(1, '\0')).ShowFrame();  // 0.2 s: a second voice
  swf.Tag(15, Le16(1) + "\x20").ShowFrame();            // 0.3 s: stops them all
  const std::string movie = swf.End().Plain();
  PcmBuffer out;
  std::string error;
  ASSERT_TRUE(RenderMovieSound(Bytes(movie), 0.4, out, &error)) << error;
  ASSERT_EQ(out.Frames(), static_cast<std::size_t>(0.4 * kMixRate));
  EXPECT_NEAR(Mean(out, 0.01, 0.09), 0.5, 0.01);
  EXPECT_NEAR(Mean(out, 0.11, 0.19), 0.5, 0.01) << "no-multiple started a second voice";
  EXPECT_NEAR(Mean(out, 0.21, 0.29), 1.0, 0.01);
  EXPECT_NEAR(Mean(out, 0.32, 0.39), 0.0, 0.01) << "sync stop left a voice playing";

  // The same movie renders the same samples every time.
  PcmBuffer again;
  ASSERT_TRUE(RenderMovieSound(Bytes(movie), 0.4, again, nullptr));
  EXPECT_EQ(out.samples, again.samples);
  const std::string wav = EncodeWav(out);
  EXPECT_EQ(wav.size(), 44 + out.samples.size() * 2);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
}

TEST(AudioMovieSounds, StreamBlocksPlayInFrameOrder) {
  SwfWriter swf(8, 100, 100, 10, 4);
  swf.Tag(18, std::string("\x3E\x3E", 2) + Le16(4410));  // PCM 44 kHz 16-bit mono
  for (int frame = 1; frame <= 4; ++frame) swf.Tag(19, Pcm16(4410, frame / 10.0), true).ShowFrame();
  const std::string movie = swf.End().Plain();
  const auto library = SoundLibrary::FromMovieFile(Bytes(movie), nullptr);
  ASSERT_TRUE(library && library->Stream(0));
  EXPECT_EQ(library->Stream(0)->frameStart.at(2), 8820u);
  PcmBuffer out;
  ASSERT_TRUE(RenderMovieSound(Bytes(movie), 0.4, out, nullptr));
  for (int frame = 0; frame < 4; ++frame)
    EXPECT_NEAR(Mean(out, frame * 0.1 + 0.01, frame * 0.1 + 0.09), (frame + 1) / 10.0, 0.002) << frame;
}

// A 10-second stream at 30 frames per second on a host that draws slowly: the host's
// clock comes every 250 ms (7.5 frames' worth), the sound card plays on regardless.
// The timeline keeps up with the sound by dropping frames; the sound is not stretched.
TEST(AudioMovieSounds, TimelineFollowsItsStreamOnASlowMachine) {
  SwfWriter swf(8, 100, 100, 30, 300);
  swf.Tag(18, std::string("\x3E\x3E", 2) + Le16(1470));
  for (int frame = 0; frame < 300; ++frame) swf.Tag(19, Pcm16(1470, 0.25), true).ShowFrame();
  const std::string movie = swf.End().CompressedLzma();  // the sounds come from the loader's one decompression
  Mixer mixer;
  FlashControl control;
  control.SetMixer(&mixer);
  ASSERT_TRUE(control.LoadMovieData(Bytes(movie)));
  ASSERT_TRUE(control.Sounds());
  std::vector<float> out(2 * 11025);
  double seconds = 0;
  while (seconds < 9.5) {
    mixer.Render(out.data(), 11025);  // the sound card plays a quarter second
    seconds += 0.25;
    control.AdvanceTime(250);
    const auto soundFrame = control.Sounds()->StreamFrame(&control.Engine()->Root());
    ASSERT_TRUE(soundFrame) << "the stream stopped at " << seconds << " s";
    ASSERT_LE(std::abs(control.FrameNum() - *soundFrame), 1) << "at " << seconds << " s";
  }
  EXPECT_NEAR(control.FrameNum(), 9.5 * 30, 1.5);
  EXPECT_EQ(mixer.FramesRendered(), static_cast<std::uint64_t>(9.5 * kMixRate)) << "the sound ran at its own rate";
  EXPECT_NEAR(out[2000], 0.25, 0.001);
}

TEST(AudioMovieSounds, SoundInfoRecordsAndButtonSounds) {
  // In point 10, out point 2000, 3 loops, a two-point envelope.
  const std::string info = std::string("\x0F") + Le32(10) + Le32(2000) + Le16(3) + "\x02" + Le32(0) + Le16(0) +
                           Le16(32768) + Le32(441) + Le16(32768) + Le16(0);
  SwfWriter swf = EventSoundMovie();
  swf.Tag(17, Le16(5) + Le16(0) + Le16(1) + info + Le16(0) + Le16(0));  // sound on idle to over
  swf.Tag(15, Le16(1) + info).ShowFrame();
  const std::string movie = swf.End().Plain();
  const auto library = SoundLibrary::FromMovieFile(Bytes(movie), nullptr);
  ASSERT_TRUE(library);
  const TimelineSounds* root = library->Timeline(0);
  ASSERT_TRUE(root && root->starts.count(0));
  const SoundInfo& read = root->starts.at(0).front().info;
  EXPECT_EQ(read.inPoint, 10u);
  EXPECT_EQ(read.outPoint, 2000u);
  EXPECT_EQ(read.loops, 3);
  ASSERT_EQ(read.envelope.size(), 2u);
  EXPECT_EQ(read.envelope[1].position, 441u);
  EXPECT_EQ(read.envelope[1].right, 0);
  const auto* button = library->ButtonSounds(5);
  ASSERT_TRUE(button);
  EXPECT_FALSE((*button)[0]);
  ASSERT_TRUE((*button)[1]);
  EXPECT_EQ((*button)[1]->soundId, 1);
  EXPECT_EQ(library->Decoded(1)->Frames(), 6615u);

  // A cut record is refused, not read past its end.
  SoundInfo cut;
  std::size_t position = 0;
  const std::string shortInfo = info.substr(0, 7);
  EXPECT_FALSE(ReadSoundInfo(Bytes(shortInfo), position, cut));
}

}  // namespace
}  // namespace vantrel::flash::audio
