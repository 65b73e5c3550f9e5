#include "ui/skin.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <pugixml.hpp>

#include "core/language.h"
#include "core/log.h"
#include "core/text.h"
#include "player/rounding.h"

namespace vantrel::ui {

namespace {

constexpr const char* kNo = "| no |";

const pugi::xml_node& Node(const void* node) { return *static_cast<const pugi::xml_node*>(node); }

std::string Attribute(const pugi::xml_node& node, const char* name, const std::string& fallback) {
  return core::GetNodeValue(node, std::string("@") + name, fallback);
}

int Number(const std::string& text) { return static_cast<int>(player::ReadDecimal(text)); }

bool Flag(const std::string& text) {
  if (core::EqualsNoCase(text, "True")) return true;
  if (core::EqualsNoCase(text, "False")) return false;
  return player::ReadDecimal(text) != 0.0;
}

// The size a picture object reports (hundredths of a millimetre at 96 pixels per inch)
// brought back to pixels the way the skin files count them.
int DefaultSize(int pixels) {
  const long himetric = std::lround(pixels * 2540.0 / 96.0);
  return static_cast<int>(himetric * 100 / 2626);
}

}  // namespace

// ---- SkinElement ------------------------------------------------------------------------

SkinElement::SkinElement(int index, QWidget* parent) : QWidget(parent), index_(index) {
  setAttribute(Qt::WA_Hover);
}

void SkinElement::SetPicture(const QImage& picture) {
  picture_ = picture;
  fade_ = QImage();
  update();
}

void SkinElement::SetFade(const QImage& target, int alpha) {
  fade_ = target;
  fadeAlpha_ = alpha;
  update();
}

void SkinElement::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!picture_.isNull()) painter.drawImage(rect(), picture_);
  if (!fade_.isNull()) {
    painter.setOpacity(fadeAlpha_ / 255.0);
    painter.drawImage(rect(), fade_);
  }
}

void SkinElement::enterEvent(QEnterEvent*) {
  if (onState && isEnabled()) onState(index_, 2);
}

void SkinElement::leaveEvent(QEvent*) {
  if (onState && isEnabled()) onState(index_, 1);
}

void SkinElement::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (onState) onState(index_, 3);
}

void SkinElement::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool inside = rect().contains(event->position().toPoint());
  if (onState) onState(index_, inside ? 2 : 1);
  if (inside && onClick) onClick(index_);
}

// ---- Skin -------------------------------------------------------------------------------

Skin::Skin(QWidget* host, Services services) : host_(host), services_(std::move(services)) {}

Skin::~Skin() { Unload(); }

void Skin::Log(const std::string& line) const {
  if (services_.log) services_.log->WriteLog(line);
}

void Skin::Unload() {
  for (SkinControl& entry : table_) {
    if (entry.FadeTimer) entry.FadeTimer->stop();
  }
  // Views first: they own everything inside them.
  for (auto it = table_.rbegin(); it != table_.rend(); ++it) {
    if (it->Control && it->Kind == kSkinView) delete it->Control.data();
  }
  for (SkinControl& entry : table_) {
    if (entry.Control) delete entry.Control.data();
  }
  table_.clear();
  masks_.clear();
  loaded_ = false;
  currentView_ = 0;
}

bool Skin::LoadSkin() {
  Unload();
  Log("");
  lastError_.clear();
  if (services_.options)
    BuildGeneratedSkin(services_.skinPath, services_.userSkinPath, *services_.options, ThemeNumber());

  pugi::xml_document document;
  const std::string file = services_.skinPath + "skin.xml";
  const pugi::xml_parse_result parsed = document.load_file(file.c_str());
  if (!parsed) {
    lastError_ = file + ": " + parsed.description();
  } else if (!document.child("THEME")) {
    lastError_ = file + ": no THEME element";
  }
  if (!lastError_.empty()) {
    if (services_.log) {
      core::RunError error{1, "LoadSkin", lastError_};
      services_.log->ReportError(error, "LoadSkin");
    }
    return false;
  }
  table_.assign(1, SkinControl{});  // index 0 stays empty
  const pugi::xml_node theme = document.child("THEME");
  ReadElement(&theme, host_);
  loaded_ = true;
  currentView_ = 1;
  Log("Skin Loaded");
  return true;
}

void Skin::ReadElement(const void* nodePointer, QWidget* container) {
  const pugi::xml_node& node = Node(nodePointer);
  const std::string name = core::UpperAscii(node.name());
  const auto readChildren = [&](QWidget* into) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      ReadElement(&child, into);
    }
  };
  if (name == "THEME") {
    minWidth_ = Number(Attribute(node, "minWidth", "0"));
    minHeight_ = Number(Attribute(node, "minHeight", "0"));
    hidesMenu_ = Flag(Attribute(node, "hidesMenu", "False"));
    readChildren(host_);
  } else if (name == "VIEW") {
    const int index = CreateView(&node);
    readChildren(table_[static_cast<std::size_t>(index)].Control);
  } else if (name == "SUBVIEW") {
    const int index = CreateElement(&node, kSkinSubView, container);
    readChildren(table_[static_cast<std::size_t>(index)].Control);
  } else if (name == "BUTTON") {
    CreateElement(&node, kSkinButton, container);
  } else if (name == "LABEL") {
    CreateElement(&node, kSkinLabel, container);
  } else if (name == "IMAGE") {
    CreateElement(&node, kSkinImage, container);
  } else if (name == "BUTTONLITE") {
    CreateElement(&node, kSkinButtonLite, container);
  }
}

int Skin::CreateView(const void* nodePointer) {
  const pugi::xml_node& node = Node(nodePointer);
  const int index = static_cast<int>(table_.size());
  SkinControl entry;
  entry.Name = Attribute(node, "name", kNo);
  entry.Kind = kSkinView;
  entry.ViewIndex = index;
  auto* view = new QWidget(host_);
  view->setObjectName(QString::fromStdString(entry.Name));
  view->setProperty("tag", index);
  view->setAutoFillBackground(true);
  const std::string back = Attribute(node, "backColor", "");
  if (!back.empty()) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, ParseSkinColour(back));
    view->setPalette(palette);
  }
  view->hide();
  entry.Control = view;
  readingView_ = index;
  table_.push_back(std::move(entry));
  return index;
}

QImage Skin::LoadState(const std::string& folder, const std::string& image) const {
  return QImage(QString::fromStdString(services_.userSkinPath + folder + "/" + image));
}

int Skin::CreateElement(const void* nodePointer, int kind, QWidget* container) {
  const pugi::xml_node& node = Node(nodePointer);
  const int index = static_cast<int>(table_.size());
  table_.emplace_back();
  SkinControl& entry = table_.back();
  entry.Name = Attribute(node, "name", kNo);
  entry.ViewIndex = readingView_;
  entry.Kind = kind;

  QWidget* control = nullptr;
  SkinElement* element = nullptr;
  if (kind == kSkinLabel) {
    control = new QLabel(container);
    // A label shows text over its picture (the time over its inset field): a click goes
    // through to the element under it.
    control->setAttribute(Qt::WA_TransparentForMouseEvents);
  } else {
    element = new SkinElement(index, container);
    control = element;
  }
  control->setObjectName(QString::fromStdString(entry.Name == kNo ? "skin" + std::to_string(index) : entry.Name));
  control->setProperty("tag", index);
  entry.Control = control;

  const std::string image = Attribute(node, "image", kNo);
  const bool pictured = image != kNo && kind != kSkinLabel;
  const bool button = kind == kSkinButton || kind == kSkinButtonLite;
  if (pictured) {
    entry.PicNormal = LoadState(button ? "up" : "base", image);
    entry.HasNormal = !entry.PicNormal.isNull();
    entry.Stretch = !Flag(Attribute(node, "noStretch", "False"));
    entry.State = 1;
    entry.PicDisabled = LoadState("disabled", image);
    entry.HasDisabled = !entry.PicDisabled.isNull();
  }
  entry.Left = Attribute(node, "left", "0");
  entry.Top = Attribute(node, "top", "0");
  entry.Width = Attribute(node, "width", entry.HasNormal ? std::to_string(DefaultSize(entry.PicNormal.width())) : "10");
  entry.Height = Attribute(node, "height", entry.HasNormal ? std::to_string(DefaultSize(entry.PicNormal.height())) : "10");
  control->setVisible(Flag(Attribute(node, "visible", "True")));
  if (pictured && button) {
    entry.PicDown = LoadState("down", image);
    entry.HasDown = !entry.PicDown.isNull();
    if (kind == kSkinButton) {
      entry.PicOver = LoadState("over", image);
      entry.HasOver = !entry.PicOver.isNull();
    }
  }
  control->setGeometry(Number(entry.Left), Number(entry.Top), Number(entry.Width), Number(entry.Height));

  if (auto* label = qobject_cast<QLabel*>(control)) {
    const int alignment = Number(Attribute(node, "alignment", "0"));
    label->setAlignment((alignment == 1 ? Qt::AlignRight : alignment == 2 ? Qt::AlignHCenter : Qt::AlignLeft) |
                        Qt::AlignVCenter);
    const bool autoSize = Flag(Attribute(node, "autoSize", "False"));
    QFont font = label->font();
    font.setBold(Flag(Attribute(node, "fontBold", font.bold() ? "True" : "False")));
    font.setItalic(Flag(Attribute(node, "fontItalic", font.italic() ? "True" : "False")));
    const double size = player::ReadDecimal(Attribute(node, "fontSize", std::to_string(font.pointSizeF())));
    if (size > 0) font.setPointSizeF(size);
    label->setFont(font);
    entry.Height = Attribute(node, "height", std::to_string(player::RoundHalfEven(font.pointSizeF() * 2)));
    label->resize(label->width(), Number(entry.Height));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ParseSkinColour(Attribute(node, "foreColor", "0")));
    label->setPalette(palette);
    const std::string caption = Attribute(node, "caption", "");
    const std::string text = services_.languages && !caption.empty() ? services_.languages->LangText(caption, caption) : caption;
    label->setText(QString::fromStdString(text));
    if (autoSize) label->adjustSize();
  } else if (element && entry.HasNormal) {
    element->SetPicture(entry.PicNormal);
  }
  control->raise();

  if (kind == kSkinSubView || kind == kSkinButton) {
    const std::string tip = Attribute(node, "toolTip", kNo);
    if (tip != kNo) {
      control->setToolTip(QString::fromStdString(services_.languages ? services_.languages->LangText(tip, tip) : tip));
    }
  }
  const QImage shown =
      entry.HasNormal ? entry.PicNormal.scaled(control->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation) : QImage();
  const std::string windowMask = kind == kSkinSubView ? Attribute(node, "windowMask", kNo) : std::string(kNo);
  if (windowMask != kNo) {
    const QColor colour = ParseSkinColour(windowMask);
    masks_.push_back({RegionFromColour(shown, colour), control});
    if (!shown.isNull()) control->setMask(RegionExceptColour(shown, colour));
  } else if (kind == kSkinSubView || kind == kSkinButton) {
    const std::string maskColour = Attribute(node, "maskColor", kNo);
    if (maskColour != kNo && !shown.isNull()) control->setMask(RegionExceptColour(shown, ParseSkinColour(maskColour)));
  }
  const std::string back = Attribute(node, "backColor", "");
  if (!back.empty()) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, ParseSkinColour(back));
    control->setPalette(palette);
    control->setAutoFillBackground(true);
  }
  if (element) {
    element->onState = [this](int at, int state) { SetSkinState(at, state); };
    element->onClick = [this](int at) {
      if (onClick && at > 0 && at < static_cast<int>(table_.size())) onClick(table_[static_cast<std::size_t>(at)].Name);
    };
  }
  return index;
}

bool Skin::SetImage(int index, const std::string& image) {
  if (index <= 0 || index >= static_cast<int>(table_.size())) return false;
  SkinControl& entry = table_[static_cast<std::size_t>(index)];
  const bool button = entry.Kind == kSkinButton || entry.Kind == kSkinButtonLite;
  QImage normal = LoadState(button ? "up" : "base", image);
  if (normal.isNull()) return false;
  entry.PicNormal = std::move(normal);
  entry.HasNormal = true;
  entry.PicDisabled = LoadState("disabled", image);
  entry.HasDisabled = !entry.PicDisabled.isNull();
  if (button) {
    entry.PicDown = LoadState("down", image);
    entry.HasDown = !entry.PicDown.isNull();
  }
  if (entry.Kind == kSkinButton) {
    entry.PicOver = LoadState("over", image);
    entry.HasOver = !entry.PicOver.isNull();
  }
  if (entry.FadeTimer) entry.FadeTimer->stop();
  if (auto* element = qobject_cast<SkinElement*>(entry.Control.data())) {
    const QImage* shown = &entry.PicNormal;
    if (entry.State == 2 && entry.HasOver) shown = &entry.PicOver;
    if (entry.State == 3 && entry.HasDown) shown = &entry.PicDown;
    if (entry.State == 4 && entry.HasDisabled) shown = &entry.PicDisabled;
    element->SetPicture(*shown);
  }
  return true;
}

bool Skin::SetSkinView(const std::string& name) {
  if (!loaded_) return false;
  for (std::size_t i = 1; i < table_.size(); ++i) {
    SkinControl& entry = table_[i];
    if (entry.Kind != kSkinView || !core::EqualsNoCase(entry.Name, name) || !entry.Control) continue;
    if (QWidget* current = xObj(currentView_)) current->hide();
    entry.Control->setGeometry(host_->rect());
    entry.Control->show();
    currentView_ = static_cast<int>(i);
    return true;
  }
  if (services_.log) {
    core::RunError error{1, "Skin", "No such view \"" + name + "\""};
    services_.log->ReportError(error, "Set Skin View " + name);
  }
  return false;
}

QWidget* Skin::CurrentViewWidget() const { return xObj(currentView_); }

QWidget* Skin::xObj(int index) const {
  if (index <= 0 || index >= static_cast<int>(table_.size())) return nullptr;
  return table_[static_cast<std::size_t>(index)].Control;
}

void Skin::SetSkinState(int index, int& state) {
  if (index <= 0 || index >= static_cast<int>(table_.size())) return;
  SkinControl& entry = table_[static_cast<std::size_t>(index)];
  if (state == 0 && !entry.Stretch) return;
  bool fade = state != 0;
  if (state == 0) state = entry.State;
  const QImage* target = nullptr;
  switch (state) {
    case 1: target = entry.HasNormal ? &entry.PicNormal : nullptr; break;
    case 2: target = entry.HasOver ? &entry.PicOver : nullptr; break;
    case 3: target = entry.HasDown ? &entry.PicDown : nullptr; break;
    case 4: target = entry.HasDisabled ? &entry.PicDisabled : nullptr; break;
    default: break;
  }
  if (!target) return;
  if (state == entry.State) fade = false;
  entry.State = state;
  auto* element = qobject_cast<SkinElement*>(entry.Control.data());
  if (!element) return;
  if (entry.Kind == kSkinImage || entry.Kind == kSkinButtonLite || !fade) {
    if (entry.FadeTimer) entry.FadeTimer->stop();
    element->SetPicture(*target);
    return;
  }
  // A picture box cross-fades to its new picture; a new state keeps the position, so a
  // fade reversed halfway goes back from where it was.
  entry.FadeSurface = *target;
  entry.FadeStep = state == 1 || state == 3 ? -1 : 1;
  entry.FadeSteps = 20;
  if (state == 1) entry.FadePos = 20;
  if (!entry.FadeTimer) {
    entry.FadeTimer = new QTimer(element);
    QObject::connect(entry.FadeTimer, &QTimer::timeout, this, [this, index] { FadeTick(index); });
  }
  entry.FadeTimer->start(state == 2 || state == 4 ? 30 : 60);
}

void Skin::FadeTick(int index) {
  if (index <= 0 || index >= static_cast<int>(table_.size())) return;
  SkinControl& entry = table_[static_cast<std::size_t>(index)];
  auto* element = qobject_cast<SkinElement*>(entry.Control.data());
  if (!element) return;
  element->SetFade(entry.FadeSurface, FadeAlpha(entry.FadePos, entry.FadeSteps, entry.FadeStep));
  entry.FadePos += entry.FadeStep;
  if (entry.FadePos > entry.FadeSteps || entry.FadePos < 0) {
    entry.FadePos = std::clamp(entry.FadePos, 0, entry.FadeSteps);
    entry.FadeTimer->stop();
    element->SetPicture(entry.FadeSurface);
  }
}

void Skin::ActivateApp(bool active) {
  if (!loaded_) return;
  for (std::size_t i = 1; i < table_.size(); ++i) {
    SkinControl& entry = table_[i];
    if (entry.ViewIndex != currentView_ || entry.Kind == kSkinView || !entry.Control) continue;
    if (entry.Kind != kSkinLabel) entry.Control->setEnabled(active);
    if (entry.HasDisabled) {
      int state = active ? 1 : 4;
      SetSkinState(static_cast<int>(i), state);
    }
  }
}

std::vector<WindowHole> Skin::Holes() const {
  std::vector<WindowHole> holes;
  for (const Mask& mask : masks_) {
    if (!mask.control || !mask.control->isVisibleTo(host_)) continue;
    // Only the shown view cuts the window.
    QWidget* view = CurrentViewWidget();
    if (!view || !view->isAncestorOf(mask.control)) continue;
    holes.push_back({mask.region, mask.control->mapTo(host_, QPoint(0, 0))});
  }
  return holes;
}

}  // namespace vantrel::ui
