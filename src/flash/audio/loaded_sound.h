// MP3 files that scripts load (Sound.loadSound): the ID3v2 tag at the front, the
// length the file's frames add up to, and the samples decoded for the mixer.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

// One text frame of an ID3v2 tag: its four-letter id ("TIT2", "COMM", ...) and its text
// in UTF-8 (for COMM the comment itself, without language and description).
struct Id3Frame {
  std::string id;
  std::string text;
};

// The text frames of the ID3v2 tag (versions 2.3 and 2.4) at the start of bytes, in
// file order; empty when there is no tag or it is damaged past its first frame. Other
// frames (pictures, binary data) are left out.
std::vector<Id3Frame> ReadId3(std::span<const std::uint8_t> bytes);
// Bytes of the ID3v2 tag at the start of bytes (0 when there is none).
std::size_t Id3Size(std::span<const std::uint8_t> bytes);

struct LoadedSound {
  std::shared_ptr<const PcmBuffer> pcm;  // 44.1 kHz stereo; null when nothing decodes
  double milliseconds = 0;               // what the file's MPEG frames add up to
  std::vector<Id3Frame> id3;
  bool hasId3 = false;
};

// Decodes an MP3 file. False with *error when no MPEG audio frame is found in it.
bool DecodeMp3File(std::span<const std::uint8_t> bytes, LoadedSound& out, std::string* error);

// The length of the MPEG audio frames in bytes (after any ID3v2 tag) in milliseconds,
// counted from their headers; 0 when there are none.
double Mp3Milliseconds(std::span<const std::uint8_t> bytes);

}  // namespace vantrel::flash::audio
