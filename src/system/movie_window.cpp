#include "system/movie_window.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "core/text.h"
#include "flash/control/flash_control.h"

namespace vantrel::system {

namespace {
// A mouse that moves further than this ends a screen saver shown on its own.
constexpr int kSaverMouseSlack = 8;
}  // namespace

MovieWindow::MovieWindow(Role role, QWidget* parent)
    : QWidget(parent), role_(role), control_(std::make_unique<flash::FlashControl>()) {
  setObjectName(QStringLiteral("View"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(16, 16);
  if (role_ == Role::Desktop) {
    // The window manager keeps a desktop window below the others and off the task bar.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    setAttribute(Qt::WA_X11NetWmWindowTypeDesktop);
  }
  if (role_ == Role::ScreenSaver) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setCursor(Qt::BlankCursor);
    setMouseTracking(true);
  }
  control_->FSCommand = [this](const std::string& command, const std::string& arguments) {
    // The movie may ask to quit; closing from inside the engine's frame would pull the
    // control away under it, so the command runs once the frame is done.
    QTimer::singleShot(0, this, [this, command, arguments] { MovieCommand(command, arguments); });
  };
  clock_ = new QTimer(this);
  clock_->setTimerType(Qt::PreciseTimer);
  connect(clock_, &QTimer::timeout, this, &MovieWindow::Advance);
  if (role_ == Role::Projector) BuildMenu();
}

MovieWindow::~MovieWindow() {
  control_->FSCommand = nullptr;
}

bool MovieWindow::LoadFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) {
    lastError_ = "cannot read " + path;
    return false;
  }
  return LoadBytes(bytes);
}

bool MovieWindow::LoadBytes(std::span<const std::uint8_t> bytes) {
  if (!control_->LoadMovieData(bytes)) {
    lastError_ = control_->LastError().empty() ? "not a Flash movie" : control_->LastError();
    return false;
  }
  lastError_.clear();
  control_->SetSize(width(), height());
  control_->Play();
  watch_.start();
  clock_->start(std::max(1, static_cast<int>(control_->FrameInterval() / 2)));
  update();
  return true;
}

QSize MovieWindow::MovieSize() const {
  const flash::Movie* movie = control_->GetMovie();
  if (!movie || movie->Width() <= 0 || movie->Height() <= 0) return {550, 400};
  return {movie->Width(), movie->Height()};
}

void MovieWindow::ShowForRole() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (role_ == Role::Projector) {
    QSize size = MovieSize();
    if (screen) size = size.boundedTo(screen->availableSize());
    resize(size);
    show();
    return;
  }
  if (screen) setGeometry(screen->geometry());
  if (role_ == Role::Desktop) {
    show();
    lower();
  } else {
    showFullScreen();
  }
}

void MovieWindow::Advance() {
  const double elapsed = static_cast<double>(watch_.nsecsElapsed()) / 1e6;
  watch_.restart();
  control_->AdvanceTime(elapsed);
  update();
}

void MovieWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  control_->Paint(painter, size());
}

void MovieWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  control_->SetSize(width(), height());
}

void MovieWindow::MovieCommand(const std::string& command, const std::string& arguments) {
  const std::string name = core::LowerAscii(command);
  if (name == "quit") {
    close();
  } else if (name == "fullscreen" && role_ == Role::Projector) {
    const bool on = core::LowerAscii(arguments) == "true";
    if (on != isFullScreen()) ToggleFullScreen();
  }
}

void MovieWindow::ToggleFullScreen() {
  if (isFullScreen()) showNormal();
  else showFullScreen();
}

void MovieWindow::EndSaverOnInput() {
  if (role_ == Role::ScreenSaver && !embedded_) close();
}

void MovieWindow::keyPressEvent(QKeyEvent* event) {
  if (role_ == Role::ScreenSaver) {
    EndSaverOnInput();
    return;
  }
  if (role_ != Role::Projector) return;
  if (event->key() == Qt::Key_Escape && isFullScreen()) {
    showNormal();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MovieWindow::mousePressEvent(QMouseEvent* event) {
  if (role_ == Role::ScreenSaver) {
    EndSaverOnInput();
    return;
  }
  QWidget::mousePressEvent(event);
}

void MovieWindow::mouseMoveEvent(QMouseEvent* event) {
  if (role_ == Role::ScreenSaver) {
    const QPoint at = event->globalPosition().toPoint();
    if (firstMousePos_.x() < 0) firstMousePos_ = at;
    else if ((at - firstMousePos_).manhattanLength() > kSaverMouseSlack) EndSaverOnInput();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void MovieWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (menu_) menu_->popup(event->globalPos());
  event->accept();
}

void MovieWindow::BuildMenu() {
  menu_ = new QMenu(this);
  auto add = [this](const char* name, const char* text, const QKeySequence& keys, bool checkable,
                    std::function<void(bool)> run) {
    auto* action = new QAction(QString::fromUtf8(text), this);
    action->setObjectName(QString::fromUtf8(name));
    action->setShortcut(keys);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [run = std::move(run)](bool checked) { run(checked); });
    addAction(action);  // the keys work without opening the menu
    menu_->addAction(action);
    return action;
  };
  QAction* play = add("mnuPlay", "Play", QKeySequence(Qt::CTRL | Qt::Key_Return), true,
                      [this](bool on) { control_->SetPlaying(on); });
  QAction* loop = add("mnuLoop", "Loop", QKeySequence(Qt::CTRL | Qt::Key_L), true,
                      [this](bool on) { control_->SetLoop(on); });
  add("mnuRewind", "Rewind", QKeySequence(Qt::CTRL | Qt::Key_R), false, [this](bool) {
    control_->Rewind();
    update();
  });
  add("mnuForward", "Step Forward", QKeySequence(Qt::CTRL | Qt::Key_Right), false, [this](bool) {
    control_->Forward();
    update();
  });
  add("mnuBack", "Step Back", QKeySequence(Qt::CTRL | Qt::Key_Left), false, [this](bool) {
    control_->Back();
    update();
  });
  menu_->addSeparator();
  QAction* high = add("mnuQuality", "High Quality", QKeySequence(), true, [this](bool on) {
    control_->SetQuality2(on ? "High" : "Low");
    update();
  });
  add("mnuFullScreen", "Full Screen", QKeySequence(Qt::CTRL | Qt::Key_F), false, [this](bool) { ToggleFullScreen(); });
  menu_->addSeparator();
  add("mnuExit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), false, [this](bool) { close(); });
  play->setChecked(true);  // a loaded movie starts playing
  loop->setChecked(control_->Loop());
  high->setChecked(true);
  connect(menu_, &QMenu::aboutToShow, this, [this, play, loop, high] {
    play->setChecked(control_->Playing());
    loop->setChecked(control_->Loop());
    high->setChecked(control_->Quality2() != "Low");
  });
}

}  // namespace vantrel::system
