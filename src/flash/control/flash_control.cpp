#include "flash/control/flash_control.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>

#include "core/text.h"
#include "flash/audio/mixer.h"
#include "flash/audio/movie_sounds.h"
#include "flash/character/definition.h"
#include "flash/control/script_hosts.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/script/utf16.h"
#include "flash/swf/movie_loader.h"
#include "flash/video/embedded_video.h"

namespace vantrel::flash {

namespace {

// Tells the movie the view it shows in: scripts read its size, and the pointer's place
// in a clip is found through it.
void ShareView(MovieRuntime& player, const Movie& movie, QSize size, int scaleMode, int alignMode) {
  player.viewSize = QSizeF(size);
  player.stageToView = StageTransform(movie.header.frameSize, size, static_cast<ScaleMode>(scaleMode), alignMode);
}

constexpr int kMaxFramesPerAdvance = 4;
// Frames a timeline may run at once to catch up with its stream sound.
constexpr int kMaxStreamCatchUp = 60;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

FlashControl::FlashControl() = default;
FlashControl::~FlashControl() = default;

PlayerHooks FlashControl::MakeHooks() {
  PlayerHooks hooks;
  hooks.trace = [this](const std::string& line) {
    if (!OnTrace) return;
    // The player's trace output ends a line at every carriage return as well.
    std::string text = line;
    std::replace(text.begin(), text.end(), '\r', '\n');
    OnTrace(text);
  };
  hooks.fsCommand = [this](const std::string& command, const std::string& arguments) {
    if (core::EqualsNoCase(command, "quit")) quitRequested_ = true;
    if (FSCommand) FSCommand(command, arguments);
  };
  hooks.scriptStopped = [this](const std::string& message) {
    if (OnScriptStopped) OnScriptStopped(message);
  };
  hooks.scriptRunningLong = [this](double seconds) {
    if (!OnScriptRunningLong) return;
    inScript_ = true;
    OnScriptRunningLong(seconds);
    inScript_ = false;
  };
  hooks.scriptSeconds = scriptSeconds_;
  hooks.fetch = Fetch;
  hooks.cancelFetch = CancelFetch;
  hooks.getUrl = OpenUrl;
  hooks.sharedObjectFolder = sharedObjectFolder_;
  hooks.getQuality = [this] { return quality_; };
  hooks.setQuality = [this](const std::string& name) { SetQuality2(name); };
  return hooks;
}

bool FlashControl::LoadMovie(int layer, const std::string& path) {
  if (layer != 0) {
    lastError_ = "only layer 0 can hold a movie";
    return false;
  }
  std::string file = path;
  movieUrl_ = path;
  std::string query;
  const auto mark = path.rfind('?');
  if (mark != std::string::npos) {
    file = path.substr(0, mark);
    query = path.substr(mark);
  }
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(file, bytes)) {
    lastError_ = "cannot read " + file;
    return false;
  }
  return LoadMovieData(bytes, query);
}

bool FlashControl::LoadMovieData(std::span<const std::uint8_t> bytes, const std::string& query) {
  if (inScript_) {
    lastError_ = "a script of the current movie is still running";
    return false;
  }
  std::string error;
  std::shared_ptr<Movie> movie = LoadMovieFromBytes(bytes, &error);
  if (!movie) {
    lastError_ = error;
    return false;
  }
  lastError_.clear();
  video::AddEmbeddedVideos(*movie);
  quitRequested_ = false;
  effectsOverBudget_ = false;
  movie_ = movie;
  player_.reset();
  if (!mixer_ && !silentMixer_) silentMixer_ = std::make_unique<audio::Mixer>();
  if (!mixer_) silentMixer_->StopAll();
  silentDue_ = 0;
  sounds_ = audio::MovieSounds::Make(movie_, mixer_ ? *mixer_ : *silentMixer_);
  player_ = std::make_unique<flash::MovieRuntime>(movie_, MakeHooks(), MakeScriptHost,
                                                  movieAddress_.empty() ? movieUrl_ : movieAddress_);
  movieUrl_.clear();
  movieAddress_.clear();
  player_->loop = loop_;
  player_->sounds = sounds_.get();
  ShareView(*player_, *movie_, size_, scaleMode_, alignMode_);
  pendingMs_ = 0;
  // Parameters become root variables before the first frame's scripts run.
  std::string parameters = !query.empty() && query[0] == '?' ? query.substr(1) : query;
  std::size_t start = 0;
  while (start < parameters.size()) {
    std::size_t end = parameters.find('&', start);
    if (end == std::string::npos) end = parameters.size();
    const std::string pair = parameters.substr(start, end - start);
    const auto equals = pair.find('=');
    const std::string name = script::UrlDecode(pair.substr(0, equals));
    const std::string value = equals == std::string::npos ? std::string() : script::UrlDecode(pair.substr(equals + 1));
    if (!name.empty()) player_->Scripts().SetTextVariable(player_->Root(), name, value);
    start = end + 1;
  }
  // The movie shows its first frame at once (its scripts run, and it may stop there).
  TickPlayer();
  if (OnReadyStateChange) OnReadyStateChange(4);
  return true;
}

std::string FlashControl::MovieAddress() const { return player_ ? player_->RootMovie()->url : std::string(); }

void FlashControl::Play() {
  if (Ready()) player_->Root().Play();
}

void FlashControl::Stop() {
  if (Ready()) player_->Root().Stop();
}

void FlashControl::Rewind() {
  if (!Ready()) return;
  player_->GotoFrame(0, false);
}

void FlashControl::Forward() {
  if (!Ready()) return;
  player_->GotoFrame(player_->Root().CurrentFrame() + 1, false);
}

void FlashControl::Back() {
  if (!Ready()) return;
  player_->GotoFrame(std::max(0, player_->Root().CurrentFrame() - 1), false);
}

void FlashControl::GotoFrame(int frame) {
  if (!Ready()) return;
  player_->GotoFrame(frame, player_->Root().Playing());
}

int FlashControl::TotalFrames() const { return player_ ? player_->Root().TotalFrames() : 0; }

int FlashControl::FrameNum() const { return player_ ? player_->Root().CurrentFrame() : -1; }

bool FlashControl::Playing() const { return player_ && player_->Root().Playing(); }

void FlashControl::SetPlaying(bool playing) {
  if (playing)
    Play();
  else
    Stop();
}

void FlashControl::SetQuality2(const std::string& name) {
  static const char* const kNames[] = {"High", "Medium", "Low", "AutoHigh", "AutoLow"};
  for (const char* known : kNames) {
    if (core::EqualsNoCase(name, known)) {
      quality_ = known;
      return;
    }
  }
}

int FlashControl::Quality() const {
  if (quality_ == "Low") return 0;
  if (quality_ == "AutoLow") return 2;
  if (quality_ == "AutoHigh") return 3;
  return 1;
}

void FlashControl::SetQuality(int quality) {
  switch (quality) {
    case 0: quality_ = "Low"; break;
    case 1: quality_ = "High"; break;
    case 2: quality_ = "AutoLow"; break;
    case 3: quality_ = "AutoHigh"; break;
    default: break;
  }
}

flash::Quality FlashControl::RenderQuality() const {
  if (quality_ == "Low" || quality_ == "AutoLow") return flash::Quality::Low;
  if (quality_ == "Medium") return flash::Quality::Medium;
  return flash::Quality::High;
}

void FlashControl::SetScaleMode(int mode) {
  if (mode >= 0 && mode <= 3) scaleMode_ = mode;
  if (player_) ShareView(*player_, *movie_, size_, scaleMode_, alignMode_);
}

Rgba FlashControl::Background() const {
  if (hasBackground_) return background_;
  if (movie_ && movie_->hasBackground) return movie_->background;
  return Rgba{255, 255, 255, 255};
}

std::string FlashControl::BGColor() const {
  const Rgba color = Background();
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", color.r, color.g, color.b);
  return text;
}

void FlashControl::SetBGColor(const std::string& color) {
  std::string digits = color;
  if (!digits.empty() && digits[0] == '#') digits.erase(0, 1);
  if (digits.size() != 6) return;
  int value[6];
  for (int i = 0; i < 6; ++i) {
    value[i] = HexDigit(digits[i]);
    if (value[i] < 0) return;
  }
  background_ = Rgba{static_cast<std::uint8_t>(value[0] * 16 + value[1]),
                     static_cast<std::uint8_t>(value[2] * 16 + value[3]),
                     static_cast<std::uint8_t>(value[4] * 16 + value[5]), 255};
  hasBackground_ = true;
}

void FlashControl::SetLoop(bool loop) {
  loop_ = loop;
  if (player_) player_->loop = loop;
}

void FlashControl::SetVariable(const std::string& name, const std::string& value) {
  if (!Ready() || name.empty()) return;
  player_->ResetBudgets();
  player_->Scripts().SetVariable(name, value);
  player_->RunQueue();
}

std::string FlashControl::GetVariable(const std::string& name) const {
  if (!Ready() || name.empty()) return "";
  player_->ResetBudgets();
  return player_->Scripts().GetVariable(name);
}

double FlashControl::FrameInterval() const { return movie_ ? 1000.0 / movie_->FrameRate() : 1000.0 / 12; }

void FlashControl::AdvanceTime(double milliseconds) {
  if (!Ready() || !(milliseconds > 0)) return;
  // While the root's stream sound plays, the timeline follows the sound: frames it is
  // behind run now (the host draws only the last, so the others are dropped) and a
  // timeline ahead of its sound waits. The sound itself is never stretched. A stopped
  // timeline silences its stream.
  MovieClip& root = player_->Root();
  if (const auto soundFrame = sounds_ && mixer_ ? sounds_->StreamFrame(&root) : std::nullopt) {
    if (!root.Playing()) {
      sounds_->StopStream(&root);
    } else {
      for (int frames = 0; frames < kMaxStreamCatchUp && root.Playing() && root.CurrentFrame() < *soundFrame; ++frames)
        TickPlayer();
      pendingMs_ = 0;
      return;
    }
  }
  pendingMs_ += milliseconds;
  const double interval = FrameInterval();
  int frames = 0;
  while (pendingMs_ >= interval && frames < kMaxFramesPerAdvance) {
    pendingMs_ -= interval;
    TickPlayer();
    ++frames;
  }
  if (pendingMs_ >= interval) pendingMs_ = 0;  // a stalled host does not get a burst later
}

void FlashControl::Tick() {
  if (Ready()) TickPlayer();
}

void FlashControl::TickPlayer() {
  // The frame loop's edge: nothing a movie does takes the program down.
  try {
    player_->Tick();
  } catch (const std::exception& e) {
    if (OnScriptStopped) OnScriptStopped(std::string("a frame of this movie failed (") + e.what() + "); it was skipped");
  }
  if (mixer_ || !silentMixer_) return;
  // The silent mixer moves with the movie's own clock: one frame's share of sound a frame.
  silentDue_ = std::min(silentDue_ + audio::kMixRate / movie_->FrameRate(), 10.0 * audio::kMixRate);
  const auto frames = static_cast<std::size_t>(silentDue_);
  silentDue_ -= static_cast<double>(frames);
  if (frames == 0 || silentMixer_->SourceCount() == 0) return;
  silentScratch_.resize(frames * 2);
  silentMixer_->Render(silentScratch_.data(), frames);
}

void FlashControl::SetSize(int width, int height) {
  size_ = QSize(std::max(0, width), std::max(0, height));
  if (player_) ShareView(*player_, *movie_, size_, scaleMode_, alignMode_);
}

void FlashControl::Paint(QPainter& painter, QSize viewport) const {
  const Rgba bg = Background();
  if (!player_) {
    painter.fillRect(QRect(QPoint(0, 0), viewport), QColor(bg.r, bg.g, bg.b));
    return;
  }
  ViewOptions options;
  options.scaleMode = static_cast<flash::ScaleMode>(scaleMode_);
  options.alignMode = alignMode_;
  options.quality = RenderQuality();
  options.background = bg;
  options.smallEffectsBudget = effectsOverBudget_;
  options.cropToStage = cropToStage_;
  options.threads = drawingThreads_;
  if (!RenderMovie(painter, viewport, *player_, options) && !effectsOverBudget_) {
    effectsOverBudget_ = true;
    const std::string message = "the movie's filters and blend modes need more drawing than a frame may take; "
                                "the objects past the limit are drawn without them, and later frames get less";
    std::fprintf(stderr, "vantrel: %s\n", message.c_str());
    if (OnScriptStopped) OnScriptStopped(message);
  }
}

QPointF FlashControl::ToStage(double x, double y) const {
  // ActionScript 1/2 movies see the pointer on whole pixels of the view (a stage shown at
  // twice its size has it on half pixels of its own); ActionScript 3 ones as it is.
  if (!movie_->actionScript3) {
    x = std::nearbyint(x);
    y = std::nearbyint(y);
  }
  const QTransform toView = StageTransform(movie_->header.frameSize, size_, static_cast<flash::ScaleMode>(scaleMode_),
                                           alignMode_);
  bool invertible = false;
  const QTransform toStage = toView.inverted(&invertible);
  return invertible ? toStage.map(QPointF(x, y)) : QPointF(x * 20, y * 20);
}

void FlashControl::MouseMove(double x, double y) {
  if (Ready()) player_->MouseMove(ToStage(x, y));
}

void FlashControl::MouseDown(double x, double y, int button) {
  if (Ready()) player_->MouseButton(true, button, ToStage(x, y));
}

void FlashControl::MouseUp(double x, double y, int button) {
  if (Ready()) player_->MouseButton(false, button, ToStage(x, y));
}

void FlashControl::MouseWheel(int lines) {
  if (Ready()) player_->MouseWheel(lines);
}

void FlashControl::KeyDown(int keyCode, int ascii) {
  if (Ready()) player_->KeyDown(keyCode, ascii);
}

void FlashControl::FocusLost() {
  if (Ready()) player_->WindowFocusLost();
}

void FlashControl::KeyUp(int keyCode, int ascii) {
  if (Ready()) player_->KeyUp(keyCode, ascii);
}

void FlashControl::TextInput(char32_t character) {
  if (Ready()) player_->TextInput(character);
}

void FlashControl::TextControl(const std::string& command) {
  using Edit = TextField::EditCommand;
  static constexpr std::pair<const char*, Edit> kCommands[] = {
      {"MoveLeft", Edit::MoveLeft},       {"MoveRight", Edit::MoveRight},     {"MoveLeftLine", Edit::LineStart},
      {"MoveRightLine", Edit::LineEnd},   {"MoveLeftDocument", Edit::TextStart}, {"MoveRightDocument", Edit::TextEnd},
      {"SelectLeft", Edit::SelectLeft},   {"SelectRight", Edit::SelectRight},
      {"SelectAll", Edit::SelectAll},     {"Copy", Edit::Copy},               {"Cut", Edit::Cut},
      {"Paste", Edit::Paste},
  };
  if (!Ready()) return;
  DisplayObject* focus = player_->Focus();
  if (!focus || focus->Removed() || focus->Kind() != DisplayKind::EditText) return;
  auto* field = static_cast<TextField*>(focus);
  for (const auto& [name, edit] : kCommands) {
    if (command != name) continue;
    player_->ResetBudgets();
    // ActionScript 3 hears of pasted text before it goes in, and may refuse it; then of
    // the change, though restrict let none of it in.
    const bool scripted = player_->Scripts().TakesInput();
    if (edit == Edit::Paste && scripted && !clipboard_.isEmpty() && !field->Field().readOnly) {
      if (!player_->Scripts().TextTyped(*field, clipboard_.toStdString())) return;
      if (field->Removed() || player_->Focus() != field) return;
      field->Edit(edit, clipboard_);
      player_->Scripts().TextChanged(*field);
      player_->RunQueue();
      return;
    }
    if (field->Edit(edit, clipboard_)) {
      field->NotifyChanged();
      player_->RunQueue();
    }
    return;
  }
}

void FlashControl::PaintTo(QImage& surface) const {
  if (surface.isNull()) return;
  QPainter painter(&surface);
  Paint(painter, surface.size());
}

}  // namespace vantrel::flash
