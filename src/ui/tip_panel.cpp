#include "ui/tip_panel.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

#include "browser/png_reader.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {
constexpr int kTipMilliseconds = 45000;

QImage ReadPng(const std::string& path) {
  browser::cPNG png;
  if (png.LoadPNGFile(path) != browser::kPngLoaded) return {};
  const std::vector<std::uint8_t> rgba = png.ToRGBA();
  if (rgba.empty()) return {};
  return QImage(rgba.data(), static_cast<int>(png.Width()), static_cast<int>(png.Height()), QImage::Format_RGBA8888)
      .copy();
}
}  // namespace

TipPanel::TipPanel(QWidget* parent, std::string mediaPath) : QFrame(parent), mediaPath_(std::move(mediaPath)) {
  setObjectName(QStringLiteral("picTip"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  icon_ = new QLabel(this);
  icon_->setObjectName(QStringLiteral("imgTip"));
  icon_->setFixedSize(48, 48);
  lblTipTitle_ = new QLabel(this);
  lblTipTitle_->setObjectName(QStringLiteral("lblTipTitle"));
  QFont bold = lblTipTitle_->font();
  bold.setBold(true);
  lblTipTitle_->setFont(bold);
  lblTipText_ = new QLabel(this);
  lblTipText_->setObjectName(QStringLiteral("lblTipText"));
  lblTipText_->setWordWrap(true);
  lblTipLink_ = new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(QString::fromStdString(UiText("Player/strTipLink", "More..."))), this);
  lblTipLink_->setObjectName(QStringLiteral("lblTipLink"));
  connect(lblTipLink_, &QLabel::linkActivated, this, [this] {
    if (onLink && shown_ >= 0 && shown_ < static_cast<int>(tips_.size())) onLink(tips_[static_cast<std::size_t>(shown_)]);
  });
  auto* next = new QPushButton(QStringLiteral(">"), this);
  next->setObjectName(QStringLiteral("cbTipNext"));
  next->setFixedWidth(28);
  next->setToolTip(QString::fromStdString(UiText("Player/strNextTip", "Next Tip")));
  connect(next, &QPushButton::clicked, this, [this] { ShowTip(shown_ + 1 < static_cast<int>(tips_.size()) ? shown_ + 1 : 0); });
  auto* close = new QPushButton(QStringLiteral("×"), this);
  close->setObjectName(QStringLiteral("cbTipClose"));
  close->setFixedWidth(28);
  connect(close, &QPushButton::clicked, this, &QWidget::hide);

  // The panel never takes the keyboard: the player's keys keep working while it shows.
  setFocusPolicy(Qt::NoFocus);
  for (QWidget* child : findChildren<QWidget*>()) child->setFocusPolicy(Qt::NoFocus);
  lblTipLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 6, 6, 6);
  layout->addWidget(icon_, 0, 0, 3, 1, Qt::AlignTop);
  layout->addWidget(lblTipTitle_, 0, 1);
  layout->addWidget(next, 0, 2);
  layout->addWidget(close, 0, 3);
  layout->addWidget(lblTipText_, 1, 1, 1, 3);
  layout->addWidget(lblTipLink_, 2, 1, 1, 3);
  layout->setColumnStretch(1, 1);

  tmrTip_.setObjectName(QStringLiteral("tmrTip"));
  tmrTip_.setSingleShot(true);
  tmrTip_.setInterval(kTipMilliseconds);
  connect(&tmrTip_, &QTimer::timeout, this, &QWidget::hide);
  if (parent) parent->installEventFilter(this);
  hide();
}

void TipPanel::ShowTip(int index) {
  if (index < 0 || index >= static_cast<int>(tips_.size())) return;
  const Tip& tip = tips_[static_cast<std::size_t>(index)];
  shown_ = index;
  lblTipTitle_->setText(QString::number(index + 1) + QStringLiteral(". ") + QString::fromStdString(tip.Title));
  lblTipText_->setText(QString::fromStdString(tip.Text));
  lblTipLink_->setVisible(!tip.Link.empty());
  const QImage picture = ReadPng(mediaPath_ + tip.Icon + ".png");
  icon_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  Place();
  show();
  raise();
  tmrTip_.start();
}

bool TipPanel::ShowRandomTip() {
  if (tips_.empty()) return false;
  ShowTip(static_cast<int>(QRandomGenerator::global()->bounded(static_cast<quint32>(tips_.size()))));
  return true;
}

bool TipPanel::ShowTipFor(const std::string& key) {
  for (std::size_t i = 0; i < tips_.size(); ++i) {
    if (tips_[i].Help == key || tips_[i].Action == key) {
      ShowTip(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

void TipPanel::Place() {
  QWidget* over = parentWidget();
  if (!over) return;
  // Above the control bar, never over it.
  const int bottom = over->height() - (reservedBottom ? std::max(0, reservedBottom()) : 0);
  const int width = std::min(over->width() - 16, 460);
  const int height = std::min(heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height(), bottom - 16);
  setGeometry(8, bottom - std::max(0, height) - 8, std::max(0, width), std::max(0, height));
}

bool TipPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible()) Place();
  return QFrame::eventFilter(watched, event);
}

}  // namespace vantrel::ui
