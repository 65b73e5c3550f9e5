#include "browser/video_export.h"

#include <QBuffer>
#include <QByteArray>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "browser/video_encoder.h"
#include "core/surface_limit.h"
#include "core/text.h"
#include "flash/audio/mixer.h"
#include "flash/control/flash_control.h"
#include "flash/control/input_script.h"
#include "flash/video/flv_playback.h"

namespace vantrel::browser {

namespace {

namespace fs = std::filesystem;
using flash::audio::kMixRate;

constexpr double kGifMaxRate = 50;  // GIF delays are hundredths; viewers slow shorter ones down

std::uint64_t SampleAt(double seconds) { return static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * kMixRate)); }

std::string WithoutQuery(const std::string& source) { return source.substr(0, source.find('?')); }

// Where the pictures and the sound come from. Time runs forwards only; the sound is
// mixed in step with it and handed out in the order it was made.
class ExportSource {
 public:
  virtual ~ExportSource() = default;
  // "" or why the source cannot be played.
  virtual std::string Open(const ExportSettings& settings) = 0;
  int Width() const { return width_; }
  int Height() const { return height_; }
  double Rate() const { return rate_; }
  // The natural length in seconds from the start; 0 when the movie has none (it runs
  // on in its clips and scripts for ever).
  double Length() const { return length_; }
  // Starts at the time the export begins; samples before it are mixed but dropped.
  virtual void Start(double seconds) = 0;
  // Runs until the picture at seconds shows.
  virtual void AdvanceTo(double seconds) = 0;
  // Runs on (without pictures) until sound is mixed up to frame (44.1 kHz frames since
  // the start of the movie).
  virtual void MixTo(std::uint64_t frame) = 0;
  // Draws the picture showing now into picture (which has the export's size).
  virtual void Paint(QImage& picture) = 0;
  // Where the movie ended by itself (stopped, or asked to quit) at or after the
  // export's start: the end of that frame in seconds; negative while it goes on.
  virtual double EndedAt() const { return -1; }

  // The sound mixed since the last call, and the 44.1 kHz frame its first sample lies at.
  std::uint64_t TakeSound(std::vector<float>& out) {
    out.swap(mixed_);
    mixed_.clear();
    const std::uint64_t at = mixedFrom_;
    mixedFrom_ += out.size() / 2;
    return at;
  }

 protected:
  // Appends the mixer's output up to frame.
  void PullSound(flash::audio::Mixer& mixer, std::uint64_t frame) {
    const std::uint64_t have = mixedFrom_ + mixed_.size() / 2;
    if (frame <= have) return;
    const std::size_t start = mixed_.size();
    mixed_.resize(start + static_cast<std::size_t>(frame - have) * 2);
    mixer.Render(mixed_.data() + start, static_cast<std::size_t>(frame - have));
  }
  std::uint64_t Mixed() const { return mixedFrom_ + mixed_.size() / 2; }
  void SetMixedFrom(std::uint64_t frame) { mixedFrom_ = frame; }

  int width_ = 0, height_ = 0;
  double rate_ = 12;
  double length_ = 0;

 private:
  std::vector<float> mixed_;
  std::uint64_t mixedFrom_ = 0;
};

// A movie in the engine, run the way `render` runs it: the first frame shows after the
// load, each later one after a tick, and each frame's batch of recorded input arrives
// after it. Frame index n (0-based) has shown after n ticks.
class MovieSource final : public ExportSource {
 public:
  std::string Open(const ExportSettings& settings) override {
    sound_ = settings.sound && ExportHasSound(settings.format);
    if (!settings.inputPath.empty()) {
      std::string error;
      if (!flash::LoadInputScript(settings.inputPath, input_, error)) return settings.inputPath + ": " + error;
      hasInput_ = true;
    }
    // Without a sound track the movie keeps the silent mixer `render` gives it.
    if (sound_) control_.SetMixer(&mixer_);
    if (!control_.LoadMovie(0, settings.source)) return settings.source + ": " + control_.LastError();
    control_.SetScaleMode(0);
    control_.SetQuality2("high");
    if (!settings.background.empty()) control_.SetBGColor(settings.background);
    const flash::Movie* movie = control_.GetMovie();
    width_ = std::max(1, movie->Width());
    height_ = std::max(1, movie->Height());
    control_.SetSize(movie->Width(), movie->Height());
    rate_ = movie->FrameRate();
    frames_ = control_.TotalFrames();
    length_ = frames_ > 1 ? frames_ / rate_ : 0;
    Deliver();
    Pull();
    return {};
  }

  void Start(double seconds) override {
    watchFrom_ = static_cast<long>(std::floor(seconds * rate_ + 1e-9));
    Watch(endedNow_);
  }

  void AdvanceTo(double seconds) override {
    const long index = static_cast<long>(std::floor(seconds * rate_ + 1e-9));
    while (shown_ < index && !control_.QuitRequested()) Step();
  }

  void MixTo(std::uint64_t frame) override {
    if (!sound_) return;
    while (SoundEnd(shown_) < frame && !control_.QuitRequested()) Step();
    // A movie that quit leaves the sounds it started to play on.
    PullSound(mixer_, frame);
  }

  void Paint(QImage& picture) override { control_.PaintTo(picture); }

  double EndedAt() const override { return endedAt_; }
  long Frames() const { return frames_; }

 private:
  // The end of frame index n's share of sound, counted from the start as the offline
  // mixer counts it, so that rounding never adds up.
  std::uint64_t SoundEnd(long index) const {
    return static_cast<std::uint64_t>(std::llround(static_cast<double>(index + 1) * kMixRate / rate_));
  }

  void Step() {
    control_.Tick();
    ++shown_;
    if (control_.QuitRequested()) {
      Watch(true);
      return;
    }
    Deliver();
    Pull();
  }

  void Deliver() {
    if (hasInput_ && static_cast<std::size_t>(shown_) < input_.batches.size())
      flash::DeliverInput(control_, input_.batches[static_cast<std::size_t>(shown_)]);
    // A movie stops itself when its timeline stands still with no recorded input left
    // that could start it again.
    const bool inputLeft = hasInput_ && static_cast<std::size_t>(shown_) + 1 < input_.batches.size();
    endedNow_ = !control_.Playing() && !inputLeft;
    Watch(endedNow_);
  }

  void Watch(bool ended) {
    if (ended && endedAt_ < 0 && shown_ >= watchFrom_) endedAt_ = static_cast<double>(shown_ + 1) / rate_;
  }

  void Pull() {
    if (sound_) PullSound(mixer_, SoundEnd(shown_));
  }

  flash::audio::Mixer mixer_;
  flash::FlashControl control_;  // after the mixer: it plays on it until it goes
  flash::InputScript input_;
  bool hasInput_ = false;
  bool sound_ = false;
  long shown_ = 0;
  long frames_ = 0;
  long watchFrom_ = std::numeric_limits<long>::max();  // set by Start
  bool endedNow_ = false;
  double endedAt_ = -1;
};

// A Flash video played on its own clock; its sound goes through the mixer as when the
// player plays it.
class FlvSource final : public ExportSource {
 public:
  std::string Open(const ExportSettings& settings) override {
    sound_ = settings.sound && ExportHasSound(settings.format);
    playback_ = std::make_unique<flash::video::FlvPlayback>(sound_ ? &mixer_ : nullptr, false);
    if (!playback_->Open(WithoutQuery(settings.source))) return settings.source + ": " + playback_->Error();
    // The first picture shows at once, except where the decoder holds pictures back
    // (H.264): then a second playback runs until one comes out.
    QImage first = playback_->Picture();
    if (first.isNull()) {
      flash::video::FlvPlayback probe;
      if (probe.Open(WithoutQuery(settings.source))) {
        probe.Play();
        for (int step = 0; step < 250 && probe.Picture().isNull() && !probe.Ended(); ++step) probe.Advance(40);
        first = probe.Picture();
      }
    }
    if (first.isNull()) return settings.source + ": the video has no pictures to export";
    width_ = first.width();
    height_ = first.height();
    // The rate the frames were stored at, to a thousandth (12 for 83 ms apart).
    rate_ = std::round(1000000.0 / playback_->Index().FrameInterval()) / 1000.0;
    if (std::abs(rate_ - std::round(rate_)) < 0.01) rate_ = std::round(rate_);
    rate_ = std::clamp(rate_, 1.0, 120.0);
    length_ = playback_->Duration();
    return {};
  }

  void Start(double seconds) override {
    if (seconds > 0) playback_->Seek(seconds, true);
    clock_ = seconds;
    SetMixedFrom(SampleAt(seconds));
    playback_->Play();
    // Tag times are whole milliseconds: the playhead runs half of one ahead, so that a
    // frame stamped 417 ms shows at 416.67 ms, the 5th picture of 12 a second.
    playback_->Advance(0.5);
  }

  void AdvanceTo(double seconds) override {
    if (seconds <= clock_) return;
    // The sound up to the new playhead is taken before the playhead moves, as the
    // offline mixer does for `vantrel-tool audio`.
    if (sound_) PullSound(mixer_, SampleAt(seconds));
    playback_->Advance((seconds - clock_) * 1000.0);
    clock_ = seconds;
  }

  void MixTo(std::uint64_t frame) override {
    if (!sound_) return;
    AdvanceTo(static_cast<double>(frame) / kMixRate);
    PullSound(mixer_, frame);
  }

  void Paint(QImage& picture) override {
    // The video's picture fills the export's size with its shape kept, on black.
    picture.fill(Qt::black);
    const QImage& frame = playback_->Picture();
    if (frame.isNull()) return;
    const QImage scaled = frame.size() == picture.size()
                              ? frame
                              : frame.scaled(picture.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&picture);
    painter.drawImage((picture.width() - scaled.width()) / 2, (picture.height() - scaled.height()) / 2, scaled);
  }

 private:
  flash::audio::Mixer mixer_;
  std::unique_ptr<flash::video::FlvPlayback> playback_;  // plays on mixer_
  bool sound_ = false;
  double clock_ = 0;
};

// Where the pictures go: an encoder, or one PNG file each.
class PictureSink {
 public:
  virtual ~PictureSink() = default;
  virtual std::string AddPicture(const QImage& picture) = 0;
  virtual std::string AddSound(const float*, std::size_t) { return {}; }
  virtual std::string Finish() = 0;
};

class EncoderSink final : public PictureSink {
 public:
  std::string Open(const std::string& target, const EncoderSetup& setup) { return encoder_.Open(target, setup); }
  std::string AddPicture(const QImage& picture) override { return encoder_.AddPicture(picture); }
  std::string AddSound(const float* samples, std::size_t frames) override { return encoder_.AddSound(samples, frames); }
  std::string Finish() override { return encoder_.Finish(); }

 private:
  VideoEncoder encoder_;
};

// Numbered PNG files; destroyed before Finish, it removes what it wrote (and the folder
// it made for them).
class PngSequenceSink final : public PictureSink {
 public:
  explicit PngSequenceSink(std::string pattern) : pattern_(std::move(pattern)) {}
  ~PngSequenceSink() override {
    if (finished_) return;
    std::error_code ignored;
    for (const std::string& name : written_) fs::remove(name, ignored);
    if (!madeFolder_.empty()) fs::remove(madeFolder_, ignored);
  }

  std::string Open() {
    const fs::path folder = fs::path(pattern_).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
      if (!fs::create_directories(folder, ec)) return "cannot make the folder " + folder.string() + ": " + ec.message();
      madeFolder_ = folder.string();
    }
    return {};
  }

  std::string AddPicture(const QImage& picture) override {
    const std::string name = FramePatternName(pattern_, static_cast<long>(written_.size()) + 1);
    const std::string png = EncodePng(picture);
    if (png.empty()) return "cannot encode the picture as PNG";
    if (std::string failure = core::WriteFileAtomic(name, png); !failure.empty()) return name + ": " + failure;
    written_.push_back(name);
    return {};
  }

  std::string Finish() override {
    finished_ = true;
    return {};
  }

 private:
  std::string pattern_;
  std::vector<std::string> written_;
  std::string madeFolder_;
  bool finished_ = false;
};

ExportResult Failure(std::string error, bool usage = false) {
  ExportResult result;
  result.error = std::move(error);
  result.usage = usage;
  return result;
}

// The movie time the export covers, worked out from the settings and the source.
struct ExportRange {
  double start = 0, end = 0;
  bool untilEnded = false;  // no end was given: the movie may end it early by itself
};

std::string PlanRange(const ExportSettings& settings, const ExportSource& source, bool movie, ExportRange& range) {
  const double rate = source.Rate();
  range.start = settings.from.set ? static_cast<double>(settings.from.FrameIndex(rate)) / rate : 0;
  if (settings.to.set) {
    range.end = settings.to.isTime ? settings.to.seconds : static_cast<double>(settings.to.frame) / rate;
  } else if (settings.frames > 0) {
    range.end = range.start + static_cast<double>(settings.frames) / rate;
  } else if (source.Length() > 0) {
    range.end = source.Length();
    range.untilEnded = movie;
  } else {
    return "the movie has a single frame and runs on in its clips and scripts: give --frames N or --to FRAME|TIME";
  }
  if (range.end <= range.start + 1e-9) {
    if (settings.to.set) return "the end of the export lies before its start";
    char length[32];
    std::snprintf(length, sizeof length, "%.3g", source.Length());
    return std::string("the export starts after the end of the movie (") + length + " s)";
  }
  return {};
}

}  // namespace

std::string EncodePng(const QImage& picture) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG")) return {};
  return std::string(png.constData(), static_cast<std::size_t>(png.size()));
}

bool LooksLikeFlv(const std::string& path) {
  std::FILE* file = std::fopen(WithoutQuery(path).c_str(), "rb");
  if (!file) return false;
  char head[3] = {};
  const bool flv = std::fread(head, 1, 3, file) == 3 && head[0] == 'F' && head[1] == 'L' && head[2] == 'V';
  std::fclose(file);
  return flv;
}

ExportFacts ReadExportFacts(const std::string& source) {
  ExportFacts facts;
  ExportSettings settings;
  settings.source = source;
  settings.sound = false;
  facts.isVideo = LooksLikeFlv(source);
  std::unique_ptr<ExportSource> opened;
  long frames = 0;
  if (facts.isVideo) {
    opened = std::make_unique<FlvSource>();
    facts.error = opened->Open(settings);
  } else {
    auto movie = std::make_unique<MovieSource>();
    facts.error = movie->Open(settings);
    frames = movie->Frames();
    opened = std::move(movie);
  }
  if (!facts.error.empty()) return facts;
  facts.width = opened->Width();
  facts.height = opened->Height();
  facts.rate = opened->Rate();
  facts.frames = frames;
  facts.length = opened->Length();
  return facts;
}

ExportResult ExportVideo(const ExportSettings& settings, const std::atomic<bool>* cancel,
                         const std::function<void(const ExportProgress&)>& progress) {
  const bool sequence = settings.format == ExportFormat::Png;
  if (sequence && !IsFramePattern(settings.target))
    return Failure("a picture sequence needs a name with a frame number, such as frames/%05d.png", true);
  const bool video = LooksLikeFlv(settings.source);
  if (settings.copy) {
    if (!video) return Failure("--copy takes a Flash video (FLV); a movie is always drawn and coded", true);
    ExportResult result;
    result.error = RemuxVideo(WithoutQuery(settings.source), settings.target, settings.format);
    if (!result.error.empty()) result.error = settings.source + ": " + result.error;
    return result;
  }

  std::unique_ptr<ExportSource> source;
  if (video) source = std::make_unique<FlvSource>();
  else source = std::make_unique<MovieSource>();
  if (std::string failure = source->Open(settings); !failure.empty()) return Failure(failure);
  ExportRange range;
  if (std::string failure = PlanRange(settings, *source, !video, range); !failure.empty()) return Failure(failure, true);

  ExportResult result;
  double fps = settings.fps > 0 ? settings.fps : source->Rate();
  if (settings.format == ExportFormat::Gif && fps > kGifMaxRate) {
    fps = kGifMaxRate;
    result.note = "a GIF shows at most 50 pictures a second; exported at 50";
  }
  const bool even = ExportNeedsEvenSize(settings.format);
  ExportSize size = ResolveExportSize(source->Width(), source->Height(), settings.width, settings.height,
                                      settings.scale, even);
  // A picture stays within the program's drawing limit, scaled down with its shape kept.
  const core::SurfaceSize bounded = core::BoundSurface(size.width, size.height);
  if (!bounded.Usable()) return Failure(bounded.refusal);
  if (bounded.reduced) {
    result.note = core::ReducedSurfaceNote(size.width, size.height, bounded);
    size = ResolveExportSize(bounded.width, bounded.height, bounded.width, bounded.height, 0, even);
  }
  result.width = size.width;
  result.height = size.height;
  result.fps = fps;

  long total = std::max(1L, static_cast<long>(std::llround((range.end - range.start) * fps)));
  const bool sound = settings.sound && ExportHasSound(settings.format);
  std::unique_ptr<PictureSink> sink;
  if (sequence) {
    auto pictures = std::make_unique<PngSequenceSink>(settings.target);
    if (std::string failure = pictures->Open(); !failure.empty()) return Failure(failure);
    sink = std::move(pictures);
  } else {
    EncoderSetup setup;
    setup.format = settings.format;
    setup.width = size.width;
    setup.height = size.height;
    setup.fps = fps;
    setup.sound = sound;
    setup.quality = settings.quality;
    setup.threads = settings.threads;
    auto encoder = std::make_unique<EncoderSink>();
    if (std::string failure = encoder->Open(settings.target, setup); !failure.empty()) return Failure(failure);
    sink = std::move(encoder);
  }

  source->Start(range.start);
  const std::uint64_t firstSample = SampleAt(range.start);
  std::vector<float> chunk;
  // Hands the sound mixed so far to the sink, from the export's start to its end.
  const auto passSound = [&](std::uint64_t lastSample) -> std::string {
    const std::uint64_t at = source->TakeSound(chunk);
    const std::uint64_t from = std::max(at, firstSample), to = std::min<std::uint64_t>(at + chunk.size() / 2, lastSample);
    if (!sound || to <= from) return {};
    return sink->AddSound(chunk.data() + (from - at) * 2, static_cast<std::size_t>(to - from));
  };
  const auto soundEnd = [&] { return firstSample + SampleAt(static_cast<double>(total) / fps); };

  QImage picture(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
  if (picture.isNull()) return Failure("not enough memory for a " + std::to_string(size.width) + "x" + std::to_string(size.height) + " picture");
  for (long i = 0; i < total; ++i) {
    if (cancel && cancel->load()) {
      result.stopped = true;
      result.error = "stopped";
      return result;
    }
    const double at = range.start + static_cast<double>(i) / fps;
    source->AdvanceTo(at);
    if (range.untilEnded && source->EndedAt() >= 0) {
      // The movie ended by itself: the export ends with its last frame.
      const long until = std::max(1L, static_cast<long>(std::llround((source->EndedAt() - range.start) * fps)));
      total = std::max(i + 1, std::min(total, until));
    }
    source->Paint(picture);
    if (std::string failure = sink->AddPicture(picture); !failure.empty()) return Failure(failure);
    if (std::string failure = passSound(soundEnd()); !failure.empty()) return Failure(failure);
    result.pictures = i + 1;
    if (progress) progress({i + 1, total, static_cast<double>(i + 1) / fps});
  }
  if (sound) {
    source->MixTo(soundEnd());
    if (std::string failure = passSound(soundEnd()); !failure.empty()) return Failure(failure);
  }
  if (cancel && cancel->load()) {
    result.stopped = true;
    result.error = "stopped";
    return result;
  }
  if (std::string failure = sink->Finish(); !failure.empty()) return Failure(failure);
  result.seconds = static_cast<double>(total) / fps;
  return result;
}

}  // namespace vantrel::browser
