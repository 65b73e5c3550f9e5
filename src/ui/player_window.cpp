#include "ui/player_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <algorithm>
#include <cmath>

#include "core/options.h"
#include "player/player.h"
#include "player/time_text.h"
#include "ui/aspect_ratio.h"
#include "ui/menu_mirror.h"
#include "ui/movie_engine.h"
#include "ui/movie_view.h"
#include "ui/playlist_pane.h"
#include "ui/skin.h"

namespace vantrel::ui {

namespace {
constexpr int kPaneWidth = 200;
// The shipped skin's control bar below the movie, and its elements by table index.
constexpr int kSkinBarHeight = 52;
enum ShippedSkin : int {
  kViewNormal = 1, kBarLeft, kBar, kPlay, kPrevious, kNext, kBrowseUp, kBrowseBack, kBrowseForward, kTimeField, kTime,
  kVolume, kVolumeKnob, kMute, kPlaylist, kFull, kOpen, kBrowse, kBarRight,
  kViewFullScreen, kFullBar, kFullPrevious, kFullPlay, kFullNext, kFullMute, kFullLeave, kFullTimeField, kFullTime,
  kFullSideTop, kFullSide, kFullSideBottom, kFullListBar, kFullAdd, kFullRemove, kFullMoveUp, kFullMoveDown, kFullTip
};
// Everything that floats over the movie in full screen and goes when the mouse rests.
constexpr int kFullScreenGroup[] = {kFullBar, kFullTimeField, kFullTime, kFullSideTop, kFullSide, kFullSideBottom};
constexpr int kSideWidth = 34;         // the full-screen playlist's side strip
constexpr int kSideCap = 40;           // its rounded top and bottom pieces
constexpr int kListWidth = 214;        // the full-screen playlist and its bar
constexpr int kListBarHeight = 34;
constexpr int kVolumeTrackWidth = 64;  // the volume control's track and knob
constexpr int kVolumeKnobSize = 12;
constexpr int kFullBarMargin = 16;     // between the full-screen bar and the screen's bottom
constexpr int kFullBarShowMs = 3000;   // how long it stays after the mouse last moved
constexpr int kShippedSkinNumber = 1;  // "Window"/"Skin": 1 the shipped skin, 0 none
constexpr int kMinimumTimeWidth = 56;  // the skin's time field still reads "0:00 / 0:00"
}  // namespace

PlayerWindow::PlayerWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Player"));
  setWindowTitle(QStringLiteral("Vantrel"));
  setAcceptDrops(true);
  setMinimumSize(160, 120);

  central_ = new QWidget(this);
  auto* layout = new QHBoxLayout(central_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  view_ = new MovieView(central_);
  view_->onPlayerKey = [this](QKeyEvent* event) { return HandleKey(event); };
  pane_ = new PlaylistPane(central_);
  pane_->setFixedWidth(kPaneWidth);
  layout->addWidget(view_, 1);
  layout->addWidget(pane_);
  setCentralWidget(central_);

  skinHost_ = new QWidget(central_);
  skinHost_->setObjectName(QStringLiteral("picSkin"));
  skinHost_->hide();
  skinHost_->installEventFilter(this);
  view_->installEventFilter(this);  // the mouse over the movie brings the full-screen controls
  // The full-screen playlist lies over the skin's full-screen view, beside its side strip.
  fullList_ = new PlaylistPane(skinHost_);
  fullList_->setObjectName(QStringLiteral("lstFullPlaylist"));
  fullList_->setMouseTracking(true);
  fullList_->viewport()->installEventFilter(this);
  fullList_->hide();

  fullBarTimer_ = new QTimer(this);
  fullBarTimer_->setSingleShot(true);
  fullBarTimer_->setInterval(kFullBarShowMs);
  connect(fullBarTimer_, &QTimer::timeout, this, [this] {
    if (!SkinLoaded()) return;
    // Not from under the pointer: the user is about to click.
    if (FullScreenGroupUnderMouse()) {
      fullBarTimer_->start();
      return;
    }
    for (const int index : kFullScreenGroup)
      if (QWidget* control = skin_->xObj(index)) control->hide();
    if (QWidget* bar = skin_->xObj(kFullListBar)) bar->hide();
    fullList_->hide();
  });

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  statusBar()->addWidget(status_, 1);
  statusBar()->setSizeGripEnabled(true);

  tmrUpdate_ = new QTimer(this);
  tmrUpdate_->setObjectName(QStringLiteral("tmrUpdate"));
  tmrUpdate_->setInterval(300);
  connect(tmrUpdate_, &QTimer::timeout, this, [this] {
    if (player_ && player_->UpdateTimerRunning()) player_->UpdateTick();
  });

  clock_ = new QTimer(this);
  clock_->setTimerType(Qt::PreciseTimer);
  connect(clock_, &QTimer::timeout, this, &PlayerWindow::AdvanceEngine);
}

PlayerWindow::~PlayerWindow() {
  if (engine_) engine_->Connect(nullptr);
}

int PlayerWindow::ClockInterval() const {
  return engine_ ? std::clamp(static_cast<int>(std::lround(engine_->FrameInterval())), 5, 1000) : 100;
}

void PlayerWindow::Attach(player::Player* player, MovieEngine* engine) {
  player_ = player;
  engine_ = engine;
  menus_ = std::make_unique<MenuMirror>(player_->Menus(), menuBar(), this,
                                        [this](const std::string& name, int index) { Click(name, index); });
  view_->SetEngine(engine_);
  view_->onContextMenu = [this](QPoint at) { ShowPopUp("PopUp", at); };
  pane_->onActivated = [this] { player_->PlaylistActivated(); };
  pane_->onContextMenu = [this](QPoint at) { ShowPopUp("Playlist", at); };
  pane_->onFilesDropped = [this](const std::vector<std::string>& paths) { FilesDropped(paths, true); };
  fullList_->onActivated = pane_->onActivated;
  fullList_->onContextMenu = pane_->onContextMenu;
  fullList_->onFilesDropped = pane_->onFilesDropped;
  if (engine_) {
    engine_->Connect(player_);
    clockWatch_.start();
    clock_->setInterval(ClockInterval());
    clock_->start();
  }
  InstallShortcuts();
  tmrUpdate_->start();
}

void PlayerWindow::AdvanceEngine() {
  if (!engine_) return;
  const double elapsed = static_cast<double>(clockWatch_.nsecsElapsed()) / 1e6;
  clockWatch_.restart();
  engine_->AdvanceTime(elapsed);
  // A newly loaded movie brings its own frame rate.
  if (const int interval = ClockInterval(); interval != clock_->interval()) clock_->setInterval(interval);
  view_->update();
}

void PlayerWindow::SetMenuAction(const std::string& name, std::function<void(int index)> action) {
  menuActions_[name] = std::move(action);
}

bool PlayerWindow::ClickMenu(const std::string& name, int index) {
  if (!player_) return false;
  // The Playback menu is greyed while a video plays (its page has its own bar); the
  // skin's buttons and the hot keys still act on the video.
  if (!player_->Menus().Clickable(name, index) && !player_->ActsOnVideo(name)) return true;
  if (player_->MenuClick(name, index)) return true;
  if (const auto action = menuActions_.find(name); action != menuActions_.end()) {
    action->second(index);
    return true;
  }
  return onOtherMenu && onOtherMenu(name, index);
}

void PlayerWindow::OptionsChanged() {
  // The skin is drawn again in the colours just chosen.
  if (SkinLoaded()) UseSkin(true);
  LayoutView();
  if (player_) player_->CheckZoomItems();
}

void PlayerWindow::ShowStatusMessage(const QString& text) {
  statusBar()->showMessage(text, 15000);
  if (SkinLoaded()) {
    skinMessage_.start();
    ShowSkinTime(text);
  }
}

void PlayerWindow::ShowStatus(const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (!note_) {
    note_ = new QLabel(central_);
    note_->setObjectName(QStringLiteral("lblNote"));
    note_->setWordWrap(true);
    note_->setMargin(8);
    note_->setAutoFillBackground(true);
    QPalette colours = note_->palette();
    colours.setColor(QPalette::Window, QColor(0x20, 0x20, 0x24));
    colours.setColor(QPalette::WindowText, QColor(0xF0, 0xF0, 0xF0));
    note_->setPalette(colours);
    note_->installEventFilter(this);
    noteTimer_ = new QTimer(this);
    noteTimer_->setSingleShot(true);
    noteTimer_->setInterval(15000);
    connect(noteTimer_, &QTimer::timeout, note_, &QWidget::hide);
  }
  note_->setText(shown);
  const int width = std::max(80, std::min(central_->width() - 16, 460));
  note_->setGeometry(8, 8, width, note_->heightForWidth(width));
  note_->raise();
  note_->show();
  noteTimer_->start();
  ShowStatusMessage(shown);
}

void PlayerWindow::ShowPopUp(const std::string& kind, QPoint globalPos) {
  if (!player_ || !menus_) return;
  const bool playlist = kind == "Playlist";
  player_->PreparePopUp(playlist ? "Playlist" : "PopUp");
  if (QMenu* menu = menus_->PopUp(playlist ? "PupItem" : "PopUp")) menu->popup(globalPos);
}

void PlayerWindow::InstallShortcuts() {
  for (QShortcut* shortcut : shortcuts_) delete shortcut;
  shortcuts_.clear();
  std::vector<QKeySequence> taken;
  // The hot-key set: alive only while Vantrel is the active application.
  for (const HotKey& hotKey : PlayerHotKeys()) {
    auto* shortcut = new QShortcut(hotKey.keys, this);
    shortcut->setContext(Qt::ApplicationShortcut);
    shortcut->setObjectName(QStringLiteral("HotKey%1").arg(hotKey.id));
    const int id = hotKey.id;
    connect(shortcut, &QShortcut::activated, this, [this, id] {
      if (player_) Perform(HotKeyAction(id, player_->BrowserMode()));
    });
    shortcuts_.push_back(shortcut);
    taken.push_back(hotKey.keys);
  }
  // The menus' own accelerators that the hot-key set does not cover (F-keys, Ctrl+D).
  for (const player::MenuItem& item : player_->Menus().Items()) {
    if (item.shortcut.empty()) continue;
    const QKeySequence keys = QKeySequence::fromString(QString::fromStdString(item.shortcut));
    if (keys.isEmpty() || std::find(taken.begin(), taken.end(), keys) != taken.end()) continue;
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    const std::string name = item.name;
    const int index = item.index;
    connect(shortcut, &QShortcut::activated, this, [this, name, index] { Click(name, index); });
    shortcuts_.push_back(shortcut);
    taken.push_back(keys);
  }
}

void PlayerWindow::Perform(const KeyAction& action) {
  if (!player_) return;
  switch (action.kind) {
    case KeyAction::None: return;
    case KeyAction::Menu: Click(action.menu, action.index); return;
    case KeyAction::LeaveFullScreen: player_->FullScreen(false, false, false); return;
    case KeyAction::BrowseHome:
      if (onBrowseHome) onBrowseHome();
      return;
  }
}

bool PlayerWindow::HandleKey(QKeyEvent* event) {
  if (!player_) return false;
  const player::MenuModel& menus = player_->Menus();
  KeyState state;
  state.menuBarHidden = !menus.Checked("mnuMenuBar");
  state.handyKeys = menus.Checked("mnuHandyKeys");
  state.browserShowing = player_->BrowserMode();
  // Escape always leaves full screen; as a handy key it does more.
  if (event->key() == Qt::Key_Escape && menus.Checked("mnuFullScreen") && !state.handyKeys) {
    player_->FullScreen(false, false, false);
    return true;
  }
  KeyAction action = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier
                         ? HandyAction(event->key(), state)
                         : KeyAction{};
  if (action.kind == KeyAction::None) action = AppCommandAction(event->key());
  if (action.kind == KeyAction::None) return false;
  Perform(action);
  return true;
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
  if (HandleKey(event)) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}


void PlayerWindow::HandOver(const QString& text) {
  if (isMinimized() && text.isEmpty()) showNormal();
  raise();
  activateWindow();
  if (player_) player_->CopyData(text.toStdString());
}

void PlayerWindow::FilesDropped(const std::vector<std::string>& paths, bool onPane) {
  if (!player_ || paths.empty()) return;
  if (!onPane) player_->ClearPlaylist();
  for (const std::string& path : paths) player_->AddToPlaylist(path, 0);
  if (!onPane) player_->PlayItem(0);
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlayerWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  const QPoint at = event->position().toPoint();
  const bool onPane = pane_->isVisible() && pane_->geometry().contains(pane_->parentWidget()->mapFrom(this, at));
  FilesDropped(paths, onPane);
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
  closing_ = true;
  if (player_ && player_->Loaded()) player_->Quit("Form Unload", true);
  event->accept();
}

void PlayerWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (SkinLoaded()) {
    if (layout()) layout()->activate();
    if (central_ && central_->layout()) central_->layout()->activate();
    ArrangeSkin();
    UpdateRegion(false);
  }
  ApplyAspectRatio(event->oldSize());
  if (player_) player_->CheckZoomItems();
}

void PlayerWindow::ApplyAspectRatio(QSize oldSize) {
  // The window system tells only the new size, not the edge being dragged: a changed
  // width counts as the right edge, a changed height alone as the bottom edge.
  if (adjusting_ || !player_ || !oldSize.isValid() || !isVisible() || windowState() != Qt::WindowNoState) return;
  if (!player_->Menus().Checked("mnuAspectRatio") || player_->BrowserMode()) return;
  const player::WindowMargins m = FrameMargins();
  const QSize deco = Decoration();
  const QRect frame = frameGeometry();
  const EdgeRect rect{frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
  const ResizeEdge edge = size().width() != oldSize.width() ? ResizeEdge::Right : ResizeEdge::Bottom;
  const ChromeMargins chrome{m.left, m.right, m.top, m.bottom};
  const std::int32_t movieWidth = player_->Record().Width, movieHeight = player_->Record().Height;
  // The window keeps the movie's shape and stays on the screen: the control bar at its
  // bottom must never be pushed off it.
  const player::WindowRect screen = ScreenArea();
  const EdgeRect kept = FitInside(KeepAspectRatio(rect, edge, chrome, movieWidth, movieHeight),
                                  {screen.left, screen.top, screen.left + screen.width, screen.top + screen.height},
                                  chrome, movieWidth, movieHeight);
  if (kept == rect) return;
  adjusting_ = true;
  resize(kept.right - kept.left - deco.width(), kept.bottom - kept.top - deco.height());
  if (kept.left != rect.left || kept.top != rect.top) move(kept.left, kept.top);
  adjusting_ = false;
}

QSize PlayerWindow::Decoration() const { return frameGeometry().size() - geometry().size(); }

// ---- player::WindowPort ---------------------------------------------------------------

player::WindowState PlayerWindow::State() {
  if (isMinimized()) return player::WindowState::Minimized;
  if (isMaximized() || isFullScreen()) return player::WindowState::Maximized;
  return player::WindowState::Normal;
}

void PlayerWindow::SetState(player::WindowState state) {
  Qt::WindowStates flags = Qt::WindowNoState;
  if (state == player::WindowState::Minimized) flags = Qt::WindowMinimized;
  if (state == player::WindowState::Maximized) flags = frameless_ ? Qt::WindowFullScreen : Qt::WindowMaximized;
  if (windowState() == flags) return;
  setWindowState(flags);
}

player::WindowRect PlayerWindow::Geometry() {
  const QRect frame = frameGeometry();
  return {frame.x(), frame.y(), frame.width(), frame.height()};
}

void PlayerWindow::SetGeometry(const player::WindowRect& rect) {
  const QSize deco = Decoration();
  resize(std::max(1, rect.width - deco.width()), std::max(1, rect.height - deco.height()));
  move(rect.left, rect.top);
  LayoutView();
}

player::WindowMargins PlayerWindow::FrameMargins() {
  if (layout()) layout()->activate();
  if (central_ && central_->layout()) central_->layout()->activate();
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  player::WindowMargins m;
  m.left = client.x() - frame.x();
  m.top = client.y() - frame.y();
  m.right = frame.right() - client.right();
  m.bottom = frame.bottom() - client.bottom();
  if (isVisible()) {
    const QPoint corner = view_->mapTo(this, QPoint(0, 0));
    m.left += corner.x();
    m.top += corner.y();
    m.right += width() - corner.x() - view_->width();
    m.bottom += height() - corner.y() - view_->height();
    return m;
  }
  if (!menuBar()->isHidden()) m.top += menuBar()->sizeHint().height();
  if (!pane_->isHidden()) m.right += kPaneWidth;
  if (!statusBar()->isHidden()) m.bottom += statusBar()->sizeHint().height();
  if (SkinLoaded() && skin_->CurrentView() == kViewNormal) m.bottom += kSkinBarHeight;
  return m;
}

player::WindowRect PlayerWindow::ScreenArea() {
  const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect area = where ? where->availableGeometry() : QRect(0, 0, 1024, 768);
  return {area.x(), area.y(), area.width(), area.height()};
}

player::ViewSize PlayerWindow::View() {
  if (isVisible()) {
    if (layout()) layout()->activate();
    return {view_->width(), view_->height()};
  }
  const player::WindowMargins m = FrameMargins();
  const QSize deco = Decoration();
  const QSize outer = size() + deco;
  return {std::max(0, outer.width() - m.left - m.right), std::max(0, outer.height() - m.top - m.bottom)};
}

void PlayerWindow::LayoutView() {
  if (layout()) layout()->activate();
  if (engine_) engine_->SetViewSize(view_->size());
  view_->update();
}

void PlayerWindow::SetCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }

void PlayerWindow::Show() {
  show();
  raise();
  activateWindow();
  LayoutView();
}

void PlayerWindow::Hide() { hide(); }

void PlayerWindow::SetFrameless(bool frameless) {
  if (frameless_ == frameless) return;
  frameless_ = frameless;
  const bool shown = isVisible();
  if (!frameless && isFullScreen()) setWindowState(Qt::WindowNoState);
  setWindowFlag(Qt::FramelessWindowHint, frameless);
  statusBar()->setVisible(!frameless && !SkinLoaded());
  if (shown) show();
}

void PlayerWindow::SetMenuBarVisible(bool visible) {
  menuBar()->setVisible(visible);
  UpdateRegion(false);
}

void PlayerWindow::SetTopMost(bool topMost) {
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topMost) return;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
  if (shown) show();
}

void PlayerWindow::SetPlaylistPaneVisible(bool visible) {
  const bool changed = pane_->isHidden() == visible;
  // In a normal window the pane takes its room from, and gives it back to, the window
  // rather than the movie: hiding and showing it leaves the movie area as it was.
  pane_->setVisible(visible);
  if (changed && isVisible() && windowState() == Qt::WindowNoState) {
    adjusting_ = true;
    resize(std::max(minimumWidth(), width() + (visible ? kPaneWidth : -kPaneWidth)), height());
    adjusting_ = false;
  }
  // In full screen the check opens or closes the skin's own playlist instead.
  if (SkinLoaded() && skin_->CurrentView() == kViewFullScreen) ShowFullScreenControls();
  LayoutView();
}

void PlayerWindow::SetBrowserPage(QWidget* page) {
  browserPage_ = page;
  page->setParent(central_);
  static_cast<QHBoxLayout*>(central_->layout())->insertWidget(1, page, 1);
  page->hide();
}

// The address bar comes with the browser page: the page shows in place of the movie.
void PlayerWindow::SetAddressBarVisible(bool visible) {
  if (!browserPage_) return;
  browserShowing_ = visible;
  auto* box = qobject_cast<QHBoxLayout*>(central_->layout());
  if (SkinLoaded()) {
    // Inside the skin's frame: the page takes the movie's place above the bar, and the
    // bar offers the browser's Up, Back and Forward where play, previous and next were.
    if (browserPage_->parentWidget() != skinHost_) {
      if (box) box->removeWidget(browserPage_);
      browserPage_->setParent(skinHost_);
      // Its own colours, not the view's black, under the parts it leaves unpainted.
      browserPage_->setAutoFillBackground(true);
    }
    view_->setVisible(!visible);
    browserPage_->setVisible(visible);
    for (const int index : {kPlay, kPrevious, kNext})
      if (QWidget* control = skin_->xObj(index)) control->setVisible(!visible);
    for (const int index : {kBrowseUp, kBrowseBack, kBrowseForward})
      if (QWidget* control = skin_->xObj(index)) control->setVisible(visible);
    ArrangeSkin();
  } else {
    if (browserPage_->parentWidget() != central_) {
      browserPage_->setParent(central_);
      if (box) box->insertWidget(1, browserPage_, 1);
    }
    browserPage_->setVisible(visible);
    view_->setVisible(!visible);
  }
}

// ---- The skin ---------------------------------------------------------------------------

bool PlayerWindow::UseSkin(bool on) {
  if (on && !skin_) {
    Skin::Services services;
    services.skinPath = skinSetup_.skinPath;
    services.userSkinPath = skinSetup_.userSkinPath;
    services.options = skinSetup_.options;
    services.languages = skinSetup_.languages;
    services.log = skinSetup_.log;
    skin_ = std::make_unique<Skin>(skinHost_, services);
    skin_->onClick = [this](const std::string& name) { SkinClick(name); };
  }
  if (skin_ && skin_->Loaded()) {
    // The movie area comes back into the window's own layout before the views go.
    view_->setParent(central_);
    if (auto* box = qobject_cast<QHBoxLayout*>(central_->layout())) box->insertWidget(0, view_, 1);
    view_->show();
  }
  // The browser page leaves the skin's frame before the frame goes.
  if (browserPage_ && browserPage_->parentWidget() == skinHost_) {
    browserPage_->setParent(central_);
    if (auto* box = qobject_cast<QHBoxLayout*>(central_->layout())) box->insertWidget(1, browserPage_, 1);
    browserPage_->setVisible(browserShowing_);
  }
  fullList_->hide();
  if (skin_) {
    skin_->Unload();
    if (on && !skin_->Loaded() && !skin_->LoadSkin()) on = false;
    skinShowsPause_ = false;
    skinShowsMute_ = false;
    for (const int index : {kVolume, kVolumeKnob})
      if (QWidget* control = skin_->xObj(index)) control->installEventFilter(this);
  }
  if (auto* box = qobject_cast<QHBoxLayout*>(central_->layout())) {
    if (on) {
      box->removeWidget(view_);
      box->insertWidget(0, skinHost_, 1);
      skinHost_->show();
    } else {
      box->removeWidget(skinHost_);
      skinHost_->hide();
    }
  }
  statusBar()->setVisible(!on && !frameless_);
  if (player_) {
    player::MenuModel& menus = player_->Menus();
    for (int i = 0; i < menus.ArrayCount("mnuSkinList"); ++i) menus.SetChecked("mnuSkinList", i, i == (on ? 1 : 0));
    if (on && skin_->HidesMenu()) menus.SetVisible("mnuMenuBar", true);
  }
  // The playlists beside and inside the skin take its colours.
  const ThemeColours colours =
      ReadThemeColours(skinSetup_.options ? skinSetup_.options->ReadNumberOption("Window", "SkinColor") : 0);
  pane_->SetSkinColours(on ? &colours : nullptr);
  fullList_->SetSkinColours(on ? &colours : nullptr);
  if (on) {
    FitSkinToWindow();
    setMinimumSize(std::max(160, skin_->MinWidth()), std::max(120, skin_->MinHeight()));
    if (layout()) layout()->activate();
    central_->layout()->activate();
    const bool full = player_ && player_->Menus().Checked("mnuFullScreen");
    SetSkinView(full ? "viewFullScreen" : "viewNormal");
  } else {
    setMinimumSize(160, 120);
    clearMask();
  }
  if (skinSetup_.options) skinSetup_.options->WriteNumber("Window", "Skin", on ? kShippedSkinNumber : 0);
  // The browser page keeps the window's middle when the skin comes or goes.
  if (browserPage_ && browserShowing_) SetAddressBarVisible(true);
  LayoutView();
  return on;
}

bool PlayerWindow::SkinLoaded() { return skin_ && skin_->Loaded(); }

int PlayerWindow::ControlBarHeight() const {
  return skin_ && skin_->Loaded() && skin_->CurrentView() == kViewNormal ? kSkinBarHeight : 0;
}

void PlayerWindow::FitSkinToWindow() {
  // The bar's rounded lower corners cut the window's outline only while the menu bar is
  // hidden; otherwise the window is a rectangle and the cut-away corners show the
  // window's own colour, not the movie's black.
  if (QWidget* view = skin_->xObj(kViewNormal)) {
    for (QPointer<QWidget>& backing : cornerBacking_) {
      if (!backing) backing = new QWidget(view);
      backing->setObjectName(QStringLiteral("picCornerBacking"));
      backing->setAutoFillBackground(true);
      QPalette colours = backing->palette();
      colours.setColor(QPalette::Window, palette().color(QPalette::Window));
      backing->setPalette(colours);
      backing->show();
    }
  }
  // The time stays readable on its field whatever colours the skin was drawn in.
  const auto& table = skin_->Table();
  for (const auto& [label, field] : {std::pair{kTime, kTimeField}, std::pair{kFullTime, kFullTimeField}}) {
    auto* text = qobject_cast<QLabel*>(skin_->xObj(label));
    if (!text || field >= static_cast<int>(table.size()) || !table[static_cast<std::size_t>(field)].HasNormal) continue;
    const QImage& picture = table[static_cast<std::size_t>(field)].PicNormal;
    QPalette colours = text->palette();
    colours.setColor(QPalette::WindowText,
                     ReadableTextColour(colours.color(QPalette::WindowText),
                                        picture.pixelColor(picture.width() / 2, picture.height() / 2)));
    text->setPalette(colours);
  }
}

void PlayerWindow::SetSkinView(const std::string& view) {
  if (!SkinLoaded() || !skin_->SetSkinView(view)) return;
  view_->setParent(skin_->CurrentViewWidget());
  view_->show();
  view_->lower();
  UpdateSkin();
  ShowFullScreenControls();
}

void PlayerWindow::ShowFullScreenControls() {
  if (!SkinLoaded()) return;
  // Only the full-screen view carries them; there they stay while the mouse moves. The
  // playlist opens beside the side strip while the Playlist item is checked. With the
  // interface hidden (the same view in a window) nothing covers the movie.
  const bool full =
      skin_->CurrentView() == kViewFullScreen && player_ && player_->Menus().Checked("mnuFullScreen");
  const bool list = full && player_ && player_->Menus().Checked("mnuPlaylist");
  for (const int index : kFullScreenGroup)
    if (QWidget* control = skin_->xObj(index)) control->setVisible(full);
  if (QWidget* bar = skin_->xObj(kFullListBar)) bar->setVisible(list);
  fullList_->setVisible(list);
  if (!full) return;
  ArrangeSkin();
  fullBarTimer_->start();
}

bool PlayerWindow::FullScreenGroupUnderMouse() const {
  if (fullList_->isVisible() && fullList_->underMouse()) return true;
  for (const int index : kFullScreenGroup)
    if (QWidget* control = skin_->xObj(index); control && control->isVisible() && control->underMouse()) return true;
  QWidget* bar = skin_->xObj(kFullListBar);
  return bar && bar->isVisible() && bar->underMouse();
}

void PlayerWindow::SkinClick(const std::string& name) {
  // A few of the skin's elements are not menu items: the time fields change what they
  // count, the side strip opens the full-screen playlist, the tip button shows a tip.
  if (player_ && (name == "picTime" || name == "picFullTime")) {
    player_->ToggleTimeMode();
    player_->UpdateTick();
    return;
  }
  if (name == "picFullSide" || name == "picFullSideTop" || name == "picFullSideBottom") {
    ClickMenu("mnuPlaylist");
    return;
  }
  if (name == "picVolume" || name == "picVolumeKnob") return;  // dragged, see eventFilter
  if (onSkinCommand && onSkinCommand(name)) return;
  ClickMenu(name);
}

void PlayerWindow::SetVolumeFromSkin(int x) {
  QWidget* track = skin_->xObj(kVolume);
  if (!player_ || !track) return;
  const double travel = kVolumeTrackWidth - kVolumeKnobSize;
  const int volume = static_cast<int>(std::lround((x - track->x() - kVolumeKnobSize / 2.0) * 100.0 / travel));
  player_->SetSound(std::clamp(volume, 0, 100), 0);
  PlaceVolumeKnob();
}

void PlayerWindow::PlaceVolumeKnob() {
  QWidget* track = skin_->xObj(kVolume);
  QWidget* knob = skin_->xObj(kVolumeKnob);
  if (!player_ || !track || !knob) return;
  const int travel = kVolumeTrackWidth - kVolumeKnobSize;
  const int volume = player_->Muted() ? 0 : player_->Volume();
  knob->move(track->x() + volume * travel / 100, track->y() + track->height() / 2 - knob->height() / 2);
  knob->setVisible(track->isVisibleTo(track->parentWidget()));
}

void PlayerWindow::UpdateSkin() {
  if (!SkinLoaded()) return;
  ArrangeSkin();
  UpdateRegion(false);
  LayoutView();
  if (onChromeChanged) onChromeChanged();
}

void PlayerWindow::ArrangeSkin() {
  QWidget* view = skin_->CurrentViewWidget();
  if (!view) return;
  const int w = skinHost_->width();
  const int h = skinHost_->height();
  view->setGeometry(0, 0, w, h);
  const bool normal = skin_->CurrentView() == kViewNormal;
  const int bar = normal ? kSkinBarHeight : 0;
  view_->setGeometry(0, 0, w, std::max(0, h - bar));
  if (browserPage_ && browserPage_->parentWidget() == skinHost_) {
    browserPage_->setGeometry(view_->geometry());
    browserPage_->raise();
  }
  const auto place = [this](int index, int x, int y, int width, int height) {
    if (QWidget* control = skin_->xObj(index)) control->setGeometry(x, y, width, height);
  };
  const auto move = [this](int index, int x, int y) {
    if (QWidget* control = skin_->xObj(index)) control->move(x, y);
  };
  const auto raiseControl = [this](int index) {
    if (QWidget* control = skin_->xObj(index)) control->raise();
  };
  if (!normal) {
    // The full-screen controls float over the movie, centred near the bottom, with the
    // time in its field above them.
    int barTop = h;
    if (QWidget* controls = skin_->xObj(kFullBar)) {
      barTop = std::max(0, h - controls->height() - kFullBarMargin);
      controls->move((w - controls->width()) / 2, barTop);
    }
    if (QWidget* field = skin_->xObj(kFullTimeField)) {
      field->move((w - field->width()) / 2, std::max(0, barTop - field->height() - 4));
      if (QWidget* time = skin_->xObj(kFullTime))
        time->move(field->x() + (field->width() - time->width()) / 2, field->y() + (field->height() - time->height()) / 2);
    }
    // The playlist: the side strip at the right edge, or at the list's left edge while
    // the list is open; the playlist bar under the list.
    const int panel = std::clamp(h / 2, 2 * kSideCap + 40, 420);
    const int top = std::max(0, (h - panel) / 2);
    const bool open = fullList_->isVisibleTo(skinHost_);
    const int side = w - kSideWidth - (open ? kListWidth : 0);
    move(kFullSideTop, side, top);
    place(kFullSide, side, top + kSideCap, kSideWidth, panel - 2 * kSideCap);
    move(kFullSideBottom, side, top + panel - kSideCap);
    fullList_->setGeometry(w - kListWidth, top, kListWidth, panel - kListBarHeight);
    move(kFullListBar, w - kListWidth, top + panel - kListBarHeight);
    for (const int index : kFullScreenGroup) raiseControl(index);
    raiseControl(kFullListBar);
    fullList_->raise();
    return;
  }
  const int middle = std::max(0, w - 48);
  if (cornerBacking_[0] && cornerBacking_[1]) {
    cornerBacking_[0]->setGeometry(0, h - bar, 24, bar);
    cornerBacking_[1]->setGeometry(w - 24, h - bar, 24, bar);
    cornerBacking_[0]->lower();
    cornerBacking_[1]->lower();
  }
  move(kBarLeft, 0, h - bar);
  place(kBar, 24, h - bar, middle, bar);
  move(kBarRight, w - 24, h - bar);
  // The right-hand buttons keep to the bar's right end and the time takes what is left.
  // A bar too short for all of them and a readable time (a small movie, the playlist
  // beside it) leaves things out in a fixed order: Open, Browse, Playlist, the time, Full
  // Screen, Mute. Play, previous and next (or the browser's Up, Back and Forward) stay.
  struct Slot {
    int index, width, top;
  };
  // Left to right; each slot reaches the next one's left edge.
  const Slot right[] = {{kMute, 26, 14}, {kPlaylist, 26, 14}, {kFull, 26, 14}, {kOpen, 30, 14}, {kBrowse, 42, 7}};
  const int dropOrder[] = {kOpen, kBrowse, kPlaylist, kTimeField, kFull, kMute};
  const int timeLeft = 104;
  // Where the left-hand buttons end, as the skin's pictures make them.
  int leftEnd = 0;
  for (const int index : {kPlay, kPrevious, kNext, kBrowseUp, kBrowseBack, kBrowseForward})
    if (QWidget* control = skin_->xObj(index); control && control->isVisibleTo(view))
      leftEnd = std::max(leftEnd, control->x() + control->width());
  std::vector<int> leftOut;
  const auto isOut = [&leftOut](int index) { return std::find(leftOut.begin(), leftOut.end(), index) != leftOut.end(); };
  const auto fits = [&] {
    int used = 0;
    for (const Slot& slot : right)
      if (!isOut(slot.index)) used += slot.width;
    const int start = isOut(kTimeField) ? leftEnd + 4 : timeLeft + kMinimumTimeWidth + 6;
    return middle - used >= start;
  };
  for (const int index : dropOrder) {
    if (fits()) break;
    leftOut.push_back(index);
  }
  const bool timeShown = !isOut(kTimeField);
  int rightStart = middle;
  for (auto slot = std::rbegin(right); slot != std::rend(right); ++slot) {
    QWidget* control = skin_->xObj(slot->index);
    if (control) control->setVisible(!isOut(slot->index));
    if (isOut(slot->index)) continue;
    rightStart -= slot->width;
    move(slot->index, rightStart, slot->top);
  }
  // The volume control sits left of the mute button while the bar has room for it and
  // a readable time; the time's inset field takes what is left.
  const int trackLeft = rightStart - 6 - kVolumeTrackWidth - 4;
  int timeRight = trackLeft - 6;
  const bool volume = leftOut.empty() && timeRight - timeLeft >= 100;
  if (!volume) timeRight = rightStart - 6;
  if (QWidget* track = skin_->xObj(kVolume)) {
    track->setVisible(volume);
    track->setGeometry(trackLeft, 22, kVolumeTrackWidth, 8);
  }
  PlaceVolumeKnob();
  const int timeWidth = std::max(0, timeRight - timeLeft);
  for (const int index : {kTimeField, kTime})
    if (QWidget* control = skin_->xObj(index)) control->setVisible(timeShown);
  place(kTimeField, timeLeft, 15, timeWidth, 22);
  if (QWidget* time = skin_->xObj(kTime)) time->setGeometry(timeLeft + 6, 17, std::max(0, timeWidth - 12), 18);
}

void PlayerWindow::UpdateRegion(bool force) {
  if (!SkinLoaded() || !player_) {
    if (!mask().isEmpty()) clearMask();
    return;
  }
  const player::MenuModel& menus = player_->Menus();
  std::vector<WindowHole> holes = skin_->Holes();
  const QPoint host = skinHost_->mapTo(this, QPoint(0, 0));
  for (WindowHole& hole : holes) hole.offset += host;
  const bool menuShown = menus.Checked("mnuMenuBar") && (force || !menuBar()->isHidden());
  const QRegion region = ComposeWindowRegion(size(), holes, menus.Checked("mnuHideUI"), menuShown);
  if (region.isEmpty()) clearMask();
  else setMask(region);
}

void PlayerWindow::ShowSkinTime(const QString& text) {
  if (!SkinLoaded()) return;
  auto* time = qobject_cast<QLabel*>(skin_->xObj(kTime));
  if (!time) return;
  // A narrow field drops the "Time:" label and keeps the numbers.
  QString shown = text;
  if (player_ && text == QString::fromStdString(player_->Texts().status) &&
      time->fontMetrics().horizontalAdvance(text) > time->width())
    shown = FullScreenTimeText();
  if (time->text() != shown) time->setText(shown);
}

QString PlayerWindow::FullScreenTimeText() const {
  const player::DisplayTexts& texts = player_->Texts();
  const bool remaining = player_->TimeMode() == 1 || player_->TimeMode() == 3;
  return QString::fromStdString(remaining ? texts.remaining : texts.current) + QStringLiteral(" / ") +
         QString::fromStdString(texts.total);
}

void PlayerWindow::ShowFullScreenTime() {
  if (!SkinLoaded() || !player_) return;
  // The full-screen field is small: the numbers without their label.
  const QString text = FullScreenTimeText();
  if (auto* time = qobject_cast<QLabel*>(skin_->xObj(kFullTime)); time && time->text() != text) time->setText(text);
}

bool PlayerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == note_ && event->type() == QEvent::MouseButtonPress) {
    note_->hide();
    return true;
  }
  // The skin follows its host's size, which changes with the pane and the menu bar as
  // well as with the window.
  if ((watched == view_ || (fullList_ && watched == fullList_->viewport())) && event->type() == QEvent::MouseMove && SkinLoaded() &&
      skin_->CurrentView() == kViewFullScreen)
    ShowFullScreenControls();
  // The volume knob follows the mouse on its track.
  if (SkinLoaded() && (watched == skin_->xObj(kVolume) || watched == skin_->xObj(kVolumeKnob)) &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() & Qt::LeftButton) {
      const auto* widget = static_cast<QWidget*>(watched);
      SetVolumeFromSkin(widget->mapToParent(mouse->position().toPoint()).x());
    }
  }
  if (watched == skinHost_ && event->type() == QEvent::Resize && SkinLoaded()) {
    ArrangeSkin();
    UpdateRegion(false);
    if (engine_) engine_->SetViewSize(view_->size());
  }
  return QMainWindow::eventFilter(watched, event);
}

void PlayerWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && SkinLoaded()) skin_->ActivateApp(isActiveWindow());
}

void PlayerWindow::RefreshPlayback() {
  if (!player_) return;
  const QString text = QString::fromStdString(player_->Texts().status);
  if (status_->text() != text) status_->setText(text);
  // A status message shows in the skin for as long as it would in the status line.
  if (!skinMessage_.isValid() || skinMessage_.hasExpired(15000)) ShowSkinTime(text);
  // The skin's play button turns into a pause button while the movie plays.
  if (SkinLoaded() && engine_) {
    const bool playing = engine_->Port().Playing();
    if (playing != skinShowsPause_ && skin_->SetImage(kPlay, playing ? "pause.bmp" : "play.bmp")) {
      skin_->SetImage(kFullPlay, playing ? "fspause.bmp" : "fsplay.bmp");
      skinShowsPause_ = playing;
    }
    ShowFullScreenTime();
    PlaceVolumeKnob();
    // The mute buttons show the speaker while sound plays and the crossed one when muted.
    const bool muted = player_->Muted();
    if (muted != skinShowsMute_ && skin_->SetImage(kMute, muted ? "mute.bmp" : "sound.bmp")) {
      skin_->SetImage(kFullMute, muted ? "mute.bmp" : "sound.bmp");
      skinShowsMute_ = muted;
    }
  }
}

void PlayerWindow::PlaylistChanged() {
  if (!player_) return;
  pane_->SetEntries(player_->GetPlaylist().Entries());
  fullList_->SetEntries(player_->GetPlaylist().Entries());
  // The playing entry stays marked when entries come or go.
  SelectPlaylistLine(player_->GetPlaylist().Current());
}

// In full screen the skin's playlist is the one the user points at.
std::vector<std::int32_t> PlayerWindow::PlaylistSelection() {
  return fullList_->isVisible() ? fullList_->SelectedLines() : pane_->SelectedLines();
}

void PlayerWindow::SelectPlaylistLine(std::int32_t line) {
  pane_->SelectLine(line);
  fullList_->SelectLine(line);
}

void PlayerWindow::LockRedraw(bool locked) { setUpdatesEnabled(!locked); }

void PlayerWindow::ProcessEvents() { QCoreApplication::processEvents(); }

void PlayerWindow::ReleaseHooks() {
  for (QShortcut* shortcut : shortcuts_) shortcut->setEnabled(false);
  clock_->stop();
  tmrUpdate_->stop();
}

void PlayerWindow::UnloadAll() {
  // Every other window first, from the last opened, then this one.
  const QWidgetList windows = QApplication::topLevelWidgets();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (*it != this && (*it)->isVisible()) (*it)->close();
  }
  if (!closing_) {
    closing_ = true;
    close();
  }
  if (onUnloaded) onUnloaded();
}

}  // namespace vantrel::ui
