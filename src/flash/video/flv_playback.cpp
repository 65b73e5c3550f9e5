#include "flash/video/flv_playback.h"

#include <algorithm>

#include "core/text.h"

namespace vantrel::flash::video {

namespace {
constexpr std::uint8_t kAac = 10;
}  // namespace

FlvPlayback::FlvPlayback(audio::Mixer* mixer, bool soundClock) : mixer_(mixer), soundClock_(soundClock) {}

FlvPlayback::~FlvPlayback() { StopSound(); }

bool FlvPlayback::Open(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) {
    error_ = "cannot read " + path;
    return false;
  }
  return OpenBytes(std::move(bytes));
}

bool FlvPlayback::OpenBytes(std::vector<std::uint8_t> bytes) {
  StopSound();
  file_ = std::move(bytes);
  complete_ = true;
  starved_ = false;
  if (!IndexFlv(file_, index_, &error_)) return false;
  error_.clear();
  video_.reset();
  MakeVideoDecoder();
  clock_ = 0;
  playing_ = ended_ = false;
  nextVideo_ = 0;
  shown_ = -1;
  picture_ = QImage();
  if (!index_.video.empty()) DecodeUpTo(index_.video.front().time);
  return true;
}

void FlvPlayback::MakeVideoDecoder() {
  if (video_ || index_.video.empty()) return;
  video_ = std::make_unique<VideoDecoder>(index_.videoCodec);
  if (!video_->Ok()) error_ = video_->Error();  // the sound can still play
}

void FlvPlayback::OpenStream() {
  StopSound();
  file_.clear();
  index_ = FlvIndex{};
  error_.clear();
  video_.reset();
  sound_.reset();
  clock_ = 0;
  playing_ = ended_ = starved_ = false;
  complete_ = false;
  nextVideo_ = nextAudio_ = 0;
  shown_ = -1;
  picture_ = QImage();
}

bool FlvPlayback::Append(std::span<const std::uint8_t> bytes) {
  if (complete_) return false;
  file_.insert(file_.end(), bytes.begin(), bytes.end());
  if (!ContinueFlvIndex(file_, index_, &error_)) return false;
  const bool firstPicture = !video_ && !index_.video.empty();
  MakeVideoDecoder();
  if (firstPicture && shown_ < 0) DecodeUpTo(std::max(clock_, static_cast<double>(index_.video.front().time)));
  // The playhead goes on when what it waited for has come.
  if (starved_ && LoadedMs() > clock_) starved_ = false;
  if (playing_ && !source_) StartSound();
  return true;
}

void FlvPlayback::EndOfData() {
  complete_ = true;
  starved_ = false;
}

double FlvPlayback::LoadedMs() const {
  if (complete_) return Duration() * 1000.0;
  return index_.next == 0 ? 0.0 : static_cast<double>(index_.lastTime);
}

void FlvPlayback::Play() {
  if (playing_) return;
  if (ended_) Seek(0);
  playing_ = true;
  StartSound();
}

void FlvPlayback::Pause() {
  if (!playing_) return;
  playing_ = false;
  StopSound();
}

void FlvPlayback::Seek(double seconds, bool exact) {
  const double target = std::clamp(seconds * 1000.0, 0.0, complete_ ? Duration() * 1000.0 : LoadedMs());
  ended_ = false;
  if (!index_.video.empty()) {
    const bool standAlone = KeyFramesStandAlone(index_.videoCodec);
    std::size_t key = 0, start = 0;
    for (std::size_t i = 0; i < index_.video.size() && index_.video[i].time <= target; ++i) {
      if (index_.video[i].keyFrame) key = i;
    }
    if (standAlone) start = key;
    if (video_) video_->Reset();
    nextVideo_ = start;
    shown_ = -1;
    clock_ = exact ? target : index_.video[key].time;
    DecodeUpTo(clock_);
  } else {
    clock_ = target;
  }
  if (playing_) {
    StopSound();
    StartSound();
  }
}

void FlvPlayback::StartSound() {
  if (!mixer_ || index_.audio.empty()) return;
  const auto& audio = index_.audio;
  const auto first = std::lower_bound(audio.begin(), audio.end(), clock_,
                                      [](const FlvTag& tag, double time) { return tag.time < time; });
  if (first == audio.end()) return;
  nextAudio_ = static_cast<std::size_t>(first - audio.begin());
  sound_ = std::make_unique<audio::SoundDecoder>(SoundFormat::FromFlags(index_.audioFlags));
  if (!sound_->Ok()) {
    sound_.reset();
    return;
  }
  if (sound_->Format().codec == kAac) {
    // The decoder needs the AudioSpecificConfig, which only the first AAC tags carry.
    for (const FlvTag& tag : audio) {
      if (tag.size > 2 && file_[tag.offset + 1] == 0) {
        sound_->SetConfig({file_.data() + tag.offset + 2, tag.size - 2});
        break;
      }
    }
  }
  soundStart_ = std::max(clock_, static_cast<double>(first->time));
  soundFed_ = 0;
  // Sound picked up after its first tag (after a pause or a seek) fades in.
  source_ = mixer_->OpenQueue(this, first != audio.begin());
  FeedSound();
}

void FlvPlayback::StopSound() {
  if (mixer_ && source_) mixer_->Stop(source_);
  source_ = 0;
}

void FlvPlayback::FeedSound() {
  if (!source_ || !sound_) return;
  const double soundTime = soundStart_ + static_cast<double>(soundFed_) * 1000.0 / audio::kMixRate;
  double ahead = soundTime;
  while (nextAudio_ < index_.audio.size() && ahead < clock_ + kSoundLead) {
    const FlvTag& tag = index_.audio[nextAudio_++];
    if (tag.size < 2) continue;
    std::span<const std::uint8_t> data(file_.data() + tag.offset + 1, tag.size - 1);
    if (sound_->Format().codec == kAac) {
      if (data[0] != 1) continue;  // configuration, already given
      data = data.subspan(1);
    }
    scratch_.samples.clear();
    sound_->Decode(data, scratch_);
    if (complete_ && nextAudio_ == index_.audio.size()) sound_->Flush(scratch_);
    mixer_->Feed(source_, scratch_.samples.data(), scratch_.Frames());
    soundFed_ += scratch_.Frames();
    ahead = soundStart_ + static_cast<double>(soundFed_) * 1000.0 / audio::kMixRate;
  }
}

double FlvPlayback::SoundClock() const {
  return soundStart_ + static_cast<double>(mixer_->Played(source_)) * 1000.0 / audio::kMixRate;
}

void FlvPlayback::Advance(double milliseconds) {
  if (!playing_) return;
  const bool soundRunning =
      soundClock_ && source_ && (nextAudio_ < index_.audio.size() || mixer_->Queued(source_) > 0);
  if (soundRunning)
    clock_ = std::max(clock_, SoundClock());
  else if (milliseconds > 0)
    clock_ += milliseconds;
  if (!complete_) {
    // Still arriving: the playhead waits where the data ends.
    const double loaded = LoadedMs();
    starved_ = clock_ >= loaded;
    if (starved_) clock_ = std::max(0.0, std::min(clock_, loaded));
  }
  FeedSound();
  DecodeUpTo(clock_);
  const double end = Duration() * 1000.0;
  if (complete_ && clock_ >= end) {
    clock_ = end;
    ended_ = true;
    playing_ = false;
    StopSound();
  }
}

void FlvPlayback::DecodeUpTo(double milliseconds) {
  if (!video_ || index_.video.empty()) return;
  std::size_t last = nextVideo_;
  while (last < index_.video.size() && index_.video[last].time <= milliseconds) ++last;
  if (last == nextVideo_) return;  // nothing new to show
  for (std::size_t i = nextVideo_; i < last; ++i) {
    const FlvTag& tag = index_.video[i];
    const std::span<const std::uint8_t> data(file_.data() + tag.offset + 1, tag.size - 1);
    // Only the frame that will be seen is converted; the ones before are decoded
    // because later frames refer to them.
    const bool shown = i + 1 == last;
    if (!video_->Decode(data, shown ? &picture_ : nullptr, tag.keyFrame) && shown) video_->LastPicture(picture_);
  }
  nextVideo_ = last;
  shown_ = static_cast<int>(last) - 1;
}

bool FlvPlayback::DecodeFrame(int n, QImage& picture) {
  if (n < 0 || n >= VideoFrames()) return false;
  std::size_t key = 0;
  for (std::size_t i = 0; i <= static_cast<std::size_t>(n) && KeyFramesStandAlone(index_.videoCodec); ++i)
    if (index_.video[i].keyFrame) key = i;
  VideoDecoder decoder(index_.videoCodec);
  if (!decoder.Ok()) {
    error_ = decoder.Error();
    return false;
  }
  for (std::size_t i = key; i <= static_cast<std::size_t>(n); ++i) {
    const FlvTag& tag = index_.video[i];
    const std::span<const std::uint8_t> data(file_.data() + tag.offset + 1, tag.size - 1);
    decoder.Decode(data, nullptr, tag.keyFrame);
  }
  if (!decoder.LastPicture(picture)) {
    error_ = "video frame " + std::to_string(n + 1) + " does not decode";
    return false;
  }
  return true;
}

}  // namespace vantrel::flash::video
