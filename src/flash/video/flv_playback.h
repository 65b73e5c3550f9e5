// Playing a Flash video: the picture at the playhead, the sound on the mixer, play,
// pause and seeking to the nearest key frame. The playhead is the video's own clock:
// the sound's position when the sound is heard, the host's elapsed time otherwise.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/audio/mixer.h"
#include "flash/audio/sound_decoder.h"
#include "flash/video/flv_index.h"
#include "flash/video/video_decoder.h"

namespace vantrel::flash::video {

class FlvPlayback {
 public:
  // mixer may be null (pictures only). With soundClock, the playhead follows the sound
  // the mixer has played (set it when something pulls the mixer in real time).
  explicit FlvPlayback(audio::Mixer* mixer = nullptr, bool soundClock = false);
  ~FlvPlayback();
  FlvPlayback(const FlvPlayback&) = delete;
  FlvPlayback& operator=(const FlvPlayback&) = delete;

  // Opens the video at path (read whole into memory). False with Error() when the file
  // cannot be read or is not an FLV file. The first picture is decoded at once.
  bool Open(const std::string& path);
  bool OpenBytes(std::vector<std::uint8_t> bytes);
  // A video that arrives piece by piece (progressive download): OpenStream, then
  // Append as data comes (false with Error() once the data shows it is no FLV file),
  // then EndOfData when no more comes. The playhead waits at the end of what has
  // arrived (Starved) and the video ends only after EndOfData.
  void OpenStream();
  bool Append(std::span<const std::uint8_t> bytes);
  void EndOfData();
  bool Complete() const { return complete_; }
  // True once the file's header and tags can be read (something to play).
  bool Started() const { return index_.next != 0; }
  // Milliseconds of video that have arrived (the last whole tag's time).
  double LoadedMs() const;
  // Playing, and the playhead has reached the end of what has arrived.
  bool Starved() const { return starved_; }
  const std::string& Error() const { return error_; }
  const FlvIndex& Index() const { return index_; }
  // The file as opened.
  std::span<const std::uint8_t> Bytes() const { return file_; }

  double Duration() const { return index_.Duration(); }
  int VideoFrames() const { return static_cast<int>(index_.video.size()); }
  bool HasSound() const { return !index_.audio.empty(); }

  void Play();
  void Pause();
  bool Playing() const { return playing_; }
  // True once the playhead has passed the end (playing then stops by itself).
  bool Ended() const { return ended_; }
  // Moves the playhead to the last key frame at or before seconds and shows it; with
  // exact, the frames after the key frame are decoded too and the playhead is seconds.
  void Seek(double seconds, bool exact = false);
  // The playhead in seconds.
  double Time() const { return clock_ / 1000.0; }

  // Lets milliseconds of the host's time pass: feeds the sound ahead, moves the
  // playhead and decodes the pictures up to it (only the last one is converted).
  void Advance(double milliseconds);
  // The picture at the playhead (null before the first picture).
  const QImage& Picture() const { return picture_; }
  // Index of the video frame shown (-1 before the first).
  int FrameShown() const { return shown_; }

  // Decodes video frame n (0-based) from its key frame on, for still pictures.
  bool DecodeFrame(int n, QImage& picture);

  // How far ahead of the playhead sound is decoded, milliseconds.
  static constexpr double kSoundLead = 300;

 private:
  void StartSound();
  void StopSound();
  void FeedSound();
  void DecodeUpTo(double milliseconds);
  void MakeVideoDecoder();
  double SoundClock() const;

  audio::Mixer* mixer_;
  bool soundClock_;
  std::vector<std::uint8_t> file_;
  FlvIndex index_;
  std::string error_;
  std::unique_ptr<VideoDecoder> video_;
  std::unique_ptr<audio::SoundDecoder> sound_;
  audio::Mixer::SourceId source_ = 0;
  std::size_t nextAudio_ = 0;   // next audio tag to decode
  std::size_t nextVideo_ = 0;   // next video tag to decode
  double soundStart_ = 0;       // playhead (ms) where the playing source's first sample lies
  std::uint64_t soundFed_ = 0;  // frames handed to the source
  double clock_ = 0;            // playhead, milliseconds
  bool playing_ = false;
  bool ended_ = false;
  bool complete_ = true;
  bool starved_ = false;
  int shown_ = -1;
  QImage picture_;
  audio::PcmBuffer scratch_;
};

}  // namespace vantrel::flash::video
