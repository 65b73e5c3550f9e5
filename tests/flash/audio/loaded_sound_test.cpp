// MP3 files as scripts load them: the ID3v2 text frames in their encodings and sizes,
// the length counted from the MPEG frame headers past junk, and the mixer's channel
// gains that a clip's sound transform becomes.
#include <gtest/gtest.h>

#include "flash/audio/loaded_sound.h"
#include "flash/audio/mixer.h"

namespace vantrel::flash::audio {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Be32(std::uint32_t v, bool syncSafe) {
  std::string out(4, '\0');
  for (int i = 3; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = static_cast<char>(syncSafe ? (v & 0x7F) : (v & 0xFF));
    v >>= syncSafe ? 7 : 8;
  }
  return out;
}

std::string Frame(const std::string& id, const std::string& body, int major) {
  return id + Be32(static_cast<std::uint32_t>(body.size()), major == 4) + std::string(2, '\0') + body;
}

std::string Tag(const std::string& frames, int major, std::uint8_t flags = 0) {
  return "ID3" + std::string(1, static_cast<char>(major)) + std::string(1, '\0') +
         std::string(1, static_cast<char>(flags)) + Be32(static_cast<std::uint32_t>(frames.size()), true) + frames;
}

std::string Mp3Frames(int count, const char* header = "\xFF\xFB\x90\x00", std::size_t bytes = 417) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string frame(header, 4);
    frame.resize(bytes, '\0');
    out += frame;
  }
  return out;
}

TEST(LoadedSound, Id3TextFramesInEveryEncoding) {
  const std::string utf16 = std::string("\x01\xFF\xFE", 3) + std::string("H\0i\0\x3A\x04\0\0", 8);  // "Hiк"
  const std::string frames = Frame("TIT2", std::string(1, '\0') + "Title", 3) + Frame("TPE1", utf16, 3) +
                             Frame("COMM", std::string("\x03" "eng" "desc\0text", 13), 3) +
                             Frame("APIC", std::string(20, 'x'), 3) + Frame("TALB", std::string("\x00\xE9t\xE9", 4), 3) +
                             std::string(10, '\0');  // padding ends the frames
  const std::vector<Id3Frame> read = ReadId3(Bytes(Tag(frames, 3) + Mp3Frames(1)));
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0].id, "TIT2");
  EXPECT_EQ(read[0].text, "Title");
  EXPECT_EQ(read[1].text, "Hi\xD0\xBA");
  EXPECT_EQ(read[2].id, "COMM");
  EXPECT_EQ(read[2].text, "text");  // without language and description
  EXPECT_EQ(read[3].text, "\xC3\xA9t\xC3\xA9");  // ISO-8859-1 to UTF-8

  // Version 2.4 sizes are sync-safe: a 200-byte frame says 0x00000148.
  const std::string longText(199, 'a');
  const auto v4 = ReadId3(Bytes(Tag(Frame("TIT2", std::string(1, '\x03') + longText, 4), 4)));
  ASSERT_EQ(v4.size(), 1u);
  EXPECT_EQ(v4[0].text, longText);

  // A whole 2.3 tag unsynchronised: 0xFF 0x00 stands for 0xFF.
  const std::string unsync = "TIT2" + Be32(4, false) + std::string("\0\0\0" "a\xFF\x00" "b", 7);
  const auto plain = ReadId3(Bytes(Tag(unsync, 3, 0x80)));
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].text, "a\xC3\xBF" "b");

  // A frame claiming more than the tag holds ends the reading; no tag, no frames.
  const std::string cut = Frame("TIT2", std::string(1, '\0') + "ok", 3) + "TPE1" + Be32(5000, false) + "xx";
  EXPECT_EQ(ReadId3(Bytes(Tag(cut, 3))).size(), 1u);
  EXPECT_TRUE(ReadId3(Bytes(Mp3Frames(2))).empty());
  EXPECT_TRUE(ReadId3(Bytes(std::string("ID3\x02\0\0\0\0\0\x05", 10) + "abcde")).empty());  // 2.2 is not read
}

TEST(LoadedSound, LengthComesFromTheFrameHeaders) {
  // 40 MPEG-1 frames of 1152 samples at 44.1 kHz, behind a tag and with junk between.
  const std::string file = Tag(Frame("TIT2", std::string(1, '\0') + "x", 3), 3) + Mp3Frames(20) + "junk!" + Mp3Frames(20);
  EXPECT_NEAR(Mp3Milliseconds(Bytes(file)), 40 * 1152 * 1000.0 / 44100, 1e-6);
  // MPEG-2 layer III at 22.05 kHz, 64 kbit/s: 576 samples in 208 bytes.
  EXPECT_NEAR(Mp3Milliseconds(Bytes(Mp3Frames(10, "\xFF\xF3\x80\x00", 208))), 10 * 576 * 1000.0 / 22050, 1e-6);
  EXPECT_EQ(Mp3Milliseconds(Bytes(std::string(1000, '\xFF'))), 0);  // sync bits alone are no header

  LoadedSound sound;
  std::string error;
  ASSERT_TRUE(DecodeMp3File(Bytes(Mp3Frames(10)), sound, &error));
  ASSERT_NE(sound.pcm, nullptr);
  EXPECT_EQ(sound.pcm->Frames(), 11520u);  // the frames' length, whatever the decoder made of them
  EXPECT_FALSE(sound.hasId3);
  EXPECT_FALSE(DecodeMp3File(Bytes("plain text, no sound"), sound, &error));
  EXPECT_FALSE(error.empty());
}

TEST(LoadedSound, ChannelGainsOfGroupsAndOwners) {
  Mixer mixer;
  auto pcm = std::make_shared<PcmBuffer>();
  pcm->samples.assign(4410 * 2, 0.0f);
  for (std::size_t i = 0; i < 4410; ++i) pcm->samples[i * 2] = 0.5f;  // left only
  SoundGroup group, other;
  int owner = 0;
  PlayParams params;
  params.group = &group;
  params.gains.ll = 0.5f;
  mixer.Play(pcm, params, -1, &owner);
  params.group = &other;
  params.gains = Gains();
  mixer.Play(pcm, params, -1, &other);
  std::vector<float> out(200);
  mixer.Render(out.data(), 100);
  EXPECT_FLOAT_EQ(out[0], 0.25f + 0.5f);
  // The group's sounds move their left channel to the right (the new gains replace the old).
  Gains swap;
  swap.ll = 0;
  swap.rl = 1;
  mixer.SetGroupGains(&group, swap);
  mixer.Render(out.data(), 100);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
  // An owner's gains come after the group's: half of what reaches each side.
  Gains half;
  half.ll = half.rr = 0.5f;
  mixer.SetOwnerGains(&owner, half);
  mixer.Render(out.data(), 100);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  EXPECT_FLOAT_EQ(out[1], 0.25f);
  mixer.StopGroup(&group);
  mixer.Render(out.data(), 100);  // fades out
  mixer.Render(out.data(), 100);
  mixer.Render(out.data(), 100);
  mixer.Render(out.data(), 100);
  mixer.Render(out.data(), 100);
  EXPECT_FLOAT_EQ(out[199], 0.0f);
  EXPECT_EQ(mixer.SourceCount(), 1u);
}

}  // namespace
}  // namespace vantrel::flash::audio
