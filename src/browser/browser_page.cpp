#include "browser/browser_page.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <pugixml.hpp>

#include "core/text.h"
#include "ui/presentation.h"
#include "ui/visual_style.h"

namespace vantrel::browser {

namespace {

QString Text(const pugi::xml_node& root, const char* name) {
  return QString::fromUtf8(root.child(name).text().get());
}

// The title is HTML: the name, "<BR>", then the size or date inside a font element.
void SplitTitle(const QString& title, PageEntry& entry) {
  const int br = title.indexOf(QStringLiteral("<BR>"), 0, Qt::CaseInsensitive);
  if (br < 0) {
    entry.name = title;
    return;
  }
  entry.name = title.left(br);
  QString detail = title.mid(br + 4);
  detail.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
  entry.detail = detail;
}

}  // namespace

// ---- ThumbGrid ------------------------------------------------------------------------

ThumbGrid::ThumbGrid(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ThumbGrid"));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void ThumbGrid::SetEntries(std::vector<PageEntry> entries, const QString& thumbFolder) {
  entries_ = std::move(entries);
  thumbFolder_ = thumbFolder;
  pictures_.clear();
  damaged_.clear();
  hovered_ = -1;
  picturesRead_ = 0;
  updateGeometry();
  update();
}

void ThumbGrid::Reload(int index) {
  pictures_.remove(index);
  update(TileRect(index));
}

void ThumbGrid::MarkDamaged(int index, const QString& reason) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  damaged_.insert(index, reason);
  update(TileRect(index));
}

int ThumbGrid::Columns() const { return std::max(1, width() / kTileWidth); }

QRect ThumbGrid::TileRect(int index) const {
  const int columns = Columns();
  const int margin = (width() - columns * kTileWidth) / 2;
  return {margin + (index % columns) * kTileWidth, (index / columns) * kTileHeight, kTileWidth, kTileHeight};
}

int ThumbGrid::IndexAt(QPoint at) const {
  const int columns = Columns();
  const int margin = (width() - columns * kTileWidth) / 2;
  if (at.x() < margin || at.y() < 0) return -1;
  const int column = (at.x() - margin) / kTileWidth;
  if (column >= columns) return -1;
  const int index = (at.y() / kTileHeight) * columns + column;
  return index < static_cast<int>(entries_.size()) ? index : -1;
}

QSize ThumbGrid::sizeHint() const { return {kTileWidth * 4, heightForWidth(kTileWidth * 4)}; }

int ThumbGrid::heightForWidth(int width) const {
  const int columns = std::max(1, width / kTileWidth);
  const int rows = (static_cast<int>(entries_.size()) + columns - 1) / columns;
  return std::max(1, rows * kTileHeight);
}

const QImage& ThumbGrid::Picture(int index) {
  auto found = pictures_.find(index);
  if (found != pictures_.end()) return *found;
  QImage picture;
  const PageEntry& entry = entries_[static_cast<std::size_t>(index)];
  if (!entry.thumb.isEmpty()) {
    ++picturesRead_;
    if (picture.load(thumbFolder_ + entry.thumb) && (picture.width() > kPictureWidth || picture.height() > kPictureHeight))
      picture = picture.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return *pictures_.insert(index, picture);
}

void ThumbGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QPalette& colors = palette();
  painter.fillRect(event->rect(), colors.base());
  if (entries_.empty()) return;
  const int columns = Columns();
  const int firstRow = std::max(0, event->rect().top() / kTileHeight);
  const int lastRow = event->rect().bottom() / kTileHeight;
  const QFont normal = font();
  QFont small = normal;
  small.setPointSizeF(std::max(6.0, normal.pointSizeF() * 0.85));
  for (int row = firstRow; row <= lastRow; ++row) {
    for (int column = 0; column < columns; ++column) {
      const int index = row * columns + column;
      if (index >= static_cast<int>(entries_.size())) return;
      const PageEntry& entry = entries_[static_cast<std::size_t>(index)];
      const QRect tile = TileRect(index);
      if (index == hovered_) painter.fillRect(tile.adjusted(2, 2, -2, -2), colors.highlight().color().lighter(170));
      const QRect box(tile.x() + (kTileWidth - kPictureWidth) / 2, tile.y() + 6, kPictureWidth, kPictureHeight);
      if (entry.type == 3) {
        // A folder: a drawn folder shape.
        QPainterPath shape;
        shape.moveTo(box.left() + 20, box.top() + 20);
        shape.lineTo(box.left() + 50, box.top() + 20);
        shape.lineTo(box.left() + 58, box.top() + 28);
        shape.lineTo(box.right() - 20, box.top() + 28);
        shape.lineTo(box.right() - 20, box.bottom() - 12);
        shape.lineTo(box.left() + 20, box.bottom() - 12);
        shape.closeSubpath();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(shape, QColor(0xE8, 0xB9, 0x4A));
        painter.setPen(QColor(0xA0, 0x78, 0x20));
        painter.drawPath(shape);
        painter.setRenderHint(QPainter::Antialiasing, false);
      } else {
        const QImage& picture = Picture(index);
        if (!picture.isNull()) {
          const QPoint at(box.x() + (box.width() - picture.width()) / 2, box.y() + (box.height() - picture.height()) / 2);
          painter.drawImage(at, picture);
        } else {
          // No thumbnail yet: a plain card with the kind of file.
          painter.fillRect(box, colors.alternateBase());
          painter.setPen(colors.mid().color());
          painter.drawRect(box.adjusted(0, 0, -1, -1));
          painter.setPen(colors.text().color());
          const char* kind = entry.type == 1 ? "SWF" : entry.type == 2 ? "EXE" : "FLV";
          painter.drawText(box, Qt::AlignCenter, QString::fromLatin1(kind));
        }
        if (damaged_.contains(index)) {
          // A damaged file: a red badge with "!" in the card's corner.
          const QRect badge(box.right() - 21, box.top() + 4, 18, 18);
          painter.setRenderHint(QPainter::Antialiasing);
          painter.setBrush(QColor(0xC8, 0x20, 0x20));
          painter.setPen(QPen(Qt::white, 1.5));
          painter.drawEllipse(badge);
          painter.setBrush(Qt::NoBrush);
          QFont bold = normal;
          bold.setBold(true);
          painter.setFont(bold);
          painter.drawText(badge, Qt::AlignCenter, QStringLiteral("!"));
          painter.setFont(normal);
          painter.setRenderHint(QPainter::Antialiasing, false);
        }
      }
      painter.setPen(colors.text().color());
      painter.setFont(normal);
      const QFontMetrics metrics(normal);
      const QRect nameLine(tile.x() + 4, box.bottom() + 3, kTileWidth - 8, metrics.height());
      painter.drawText(nameLine, Qt::AlignHCenter | Qt::AlignTop,
                       metrics.elidedText(entry.name, Qt::ElideMiddle, nameLine.width()));
      if (!entry.detail.isEmpty()) {
        painter.setFont(small);
        painter.setPen(colors.placeholderText().color());
        const QRect detailLine(nameLine.x(), nameLine.bottom() + 1, nameLine.width(), QFontMetrics(small).height());
        painter.drawText(detailLine, Qt::AlignHCenter | Qt::AlignTop, entry.detail);
      }
    }
  }
}

void ThumbGrid::mouseMoveEvent(QMouseEvent* event) {
  const int index = IndexAt(event->position().toPoint());
  if (index == hovered_) return;
  const int previous = hovered_;
  hovered_ = index;
  if (previous >= 0) update(TileRect(previous));
  if (index >= 0) update(TileRect(index));
  setCursor(index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
  setToolTip(damaged_.value(index));
  if (onHover) onHover(index);
}

void ThumbGrid::leaveEvent(QEvent*) {
  if (hovered_ < 0) return;
  update(TileRect(hovered_));
  hovered_ = -1;
  if (onHover) onHover(-1);
}

void ThumbGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int index = IndexAt(event->position().toPoint());
  if (index >= 0 && onClick) onClick(index);
}

void ThumbGrid::contextMenuEvent(QContextMenuEvent* event) {
  if (onMenu) onMenu(IndexAt(event->pos()), event->globalPos());
}

// ---- BrowserPage ----------------------------------------------------------------------

BrowserPage::BrowserPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("BrowsePage"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar = new QWidget(this);
  bar->setObjectName(QStringLiteral("AddressBar"));
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(4, 4, 4, 4);
  const auto tool = [&](const char* name, QStyle::StandardPixmap icon, const QString& tip) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    barLayout->addWidget(button);
    return button;
  };
  back_ = tool("cbBack", QStyle::SP_ArrowBack, tr("Back"));
  forward_ = tool("cbForward", QStyle::SP_ArrowForward, tr("Forward"));
  up_ = tool("cbUp", QStyle::SP_ArrowUp, tr("Up"));
  address_ = new QComboBox(bar);
  address_->setObjectName(QStringLiteral("cmbAddress"));
  address_->setEditable(true);
  address_->setInsertPolicy(QComboBox::NoInsert);
  address_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  barLayout->addWidget(address_, 1);
  go_ = new QPushButton(tr("Go"), bar);
  go_->setObjectName(QStringLiteral("cbGo"));
  barLayout->addWidget(go_);
  layout->addWidget(bar);

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("BrowseScroll"));
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setFrameShape(QFrame::NoFrame);
  grid_ = new ThumbGrid(scroll_);
  scroll_->setWidget(grid_);
  layout->addWidget(scroll_, 1);

  auto* footer = new QWidget(this);
  auto* footerLayout = new QHBoxLayout(footer);
  footerLayout->setContentsMargins(6, 2, 6, 2);
  found_ = new QLabel(footer);
  found_->setObjectName(QStringLiteral("lblFound"));
  error_label_ = new QLabel(footer);
  error_label_->setObjectName(QStringLiteral("lblError"));
  error_label_->setStyleSheet(QStringLiteral("color: #b00020"));
  error_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  footerLayout->addWidget(found_);
  footerLayout->addWidget(error_label_, 1);
  layout->addWidget(footer);

  // The thumbnail progress (the shot dialog), shown while thumbnails are being made, in
  // the program's look.
  shot_ = new ui::StyledPanel(this);
  shot_->setObjectName(QStringLiteral("frmShot"));
  auto* shotLayout = new QHBoxLayout(shot_);
  shotLayout->setContentsMargins(6, 2, 6, 4);
  shotStatus_ = new QLabel(shot_);
  shotStatus_->setObjectName(QStringLiteral("lblWait"));
  shotPath_ = new QLabel(shot_);
  shotPath_->setObjectName(QStringLiteral("lblStatus"));
  shotPath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  progress_ = new QProgressBar(shot_);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setMaximumWidth(180);
  auto* cancel = new QPushButton(tr("Cancel"), shot_);
  cancel->setObjectName(QStringLiteral("cbCancel"));
  auto* help = new QPushButton(QString::fromStdString(ui::UiText("Shared/Help", "Help")), shot_);
  help->setObjectName(QStringLiteral("cbHelp"));
  connect(help, &QPushButton::clicked, this, [] { ui::OpenHelp("thumbnails"); });
  shotLayout->addWidget(shotStatus_);
  shotLayout->addWidget(shotPath_, 1);
  shotLayout->addWidget(progress_);
  shotLayout->addWidget(cancel);
  shotLayout->addWidget(help);
  shot_->hide();
  layout->addWidget(shot_);

  const auto command = [this](const char* name, const std::string& argument) {
    if (onCommand) onCommand(name, argument);
  };
  connect(back_, &QToolButton::clicked, this, [this] {
    if (onMenu) onMenu("mnuBrowseBack");
  });
  connect(forward_, &QToolButton::clicked, this, [this] {
    if (onMenu) onMenu("mnuBrowseForward");
  });
  connect(up_, &QToolButton::clicked, this, [command] { command("MEOWUP", ""); });
  connect(go_, &QPushButton::clicked, this, &BrowserPage::Go);
  connect(address_->lineEdit(), &QLineEdit::returnPressed, this, &BrowserPage::Go);
  connect(address_, &QComboBox::activated, this, [this](int position) {
    if (settingHistory_) return;
    if (onMenu) onMenu("history:" + std::to_string(position));
  });
  connect(cancel, &QPushButton::clicked, this, [this] {
    if (onCancelShots) onCancelShots();
  });
  connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [command](int value) { command("BROWSESCROLL", std::to_string(value)); });
  grid_->onClick = [command](int index) { command("SHOTCLICK", std::to_string(index + 1)); };
  grid_->onHover = [command](int index) { command("SHOTOVER", std::to_string(index + 1)); };
  grid_->onMenu = [this](int index, QPoint at) {
    if (onItemMenu) onItemMenu(index, at);
  };
}

void BrowserPage::Go() {
  if (onCommand) onCommand("MEOWSEARCH", address_->currentText().toStdString());
}

bool BrowserPage::LoadXml(const QString& path) {
  pugi::xml_document document;
  if (!document.load_file(path.toLocal8Bit().constData())) return false;
  const pugi::xml_node root = document.child("BROWSE");
  if (!root) return false;
  std::vector<PageEntry> entries;
  // Each entry is three elements in a row: JPEG, TITLE, TYPE.
  PageEntry entry;
  for (const pugi::xml_node& node : root.children()) {
    const std::string_view name = node.name();
    if (name == "JPEG") {
      entry = PageEntry{};
      entry.thumb = QString::fromUtf8(node.text().get());
    } else if (name == "TITLE") {
      SplitTitle(QString::fromUtf8(node.text().get()), entry);
    } else if (name == "TYPE") {
      entry.type = node.text().as_int();
      entries.push_back(entry);
    }
  }
  folder_ = Text(root, "FOLDER");
  error_ = Text(root, "ERROR");
  const QString fontName = Text(root, "FONT");
  if (!fontName.isEmpty()) {
    QFont face = grid_->font();
    face.setFamily(fontName);
    grid_->setFont(face);
  }
  found_->setText(Text(root, "FOUND"));
  // Shown as plain text: a message that carries HTML references (the doubtful-projector
  // text) reads as characters.
  error_label_->setTextFormat(Qt::PlainText);
  error_label_->setText(QString::fromStdString(core::PlainText(error_.toStdString())));
  grid_->SetEntries(std::move(entries), Text(root, "CACHE"));
  const int scroll = root.child("SCROLL").text().as_int();
  const int width = scroll_->viewport()->width();
  grid_->resize(width, grid_->heightForWidth(width));
  QScrollBar* bar = scroll_->verticalScrollBar();
  const QSignalBlocker quiet(bar);
  bar->setRange(0, std::max(0, grid_->height() - scroll_->viewport()->height()));
  bar->setValue(scroll);
  return true;
}

void BrowserPage::ThumbnailReady(int index) { grid_->Reload(index); }

void BrowserPage::MarkDamaged(int index, const QString& reason) { grid_->MarkDamaged(index, reason); }

void BrowserPage::SetHistory(const std::vector<std::string>& folders, int selected) {
  settingHistory_ = true;
  address_->clear();
  for (const std::string& folder : folders) address_->addItem(QString::fromStdString(folder));
  address_->setCurrentIndex(selected);
  if (selected >= 0) address_->setEditText(QString::fromStdString(folders[static_cast<std::size_t>(selected)]));
  back_->setEnabled(selected > 0);
  forward_->setEnabled(selected >= 0 && selected + 1 < static_cast<int>(folders.size()));
  settingHistory_ = false;
}

void BrowserPage::ShowProgress(int done, int total, const QString& text, const QString& path) {
  shot_->show();
  shotStatus_->setText(text);
  shotPath_->setText(shotPath_->fontMetrics().elidedText(path, Qt::ElideMiddle, std::max(40, shotPath_->width())));
  progress_->setVisible(total > 1);
  progress_->setRange(0, std::max(1, total));
  progress_->setValue(done);
}

void BrowserPage::HideProgress() { shot_->hide(); }

const std::vector<PageEntry>& BrowserPage::Entries() const { return grid_->Entries(); }

QRect BrowserPage::TileRect(int index) const {
  const QRect tile = grid_->TileRect(index);
  return QRect(grid_->mapTo(this, tile.topLeft()), tile.size());
}

}  // namespace vantrel::browser
