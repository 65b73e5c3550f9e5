#include "ui/message_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "browser/png_reader.h"
#include "ui/languages_ui.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {
constexpr int kPictureSize = 48;
constexpr int kBandHeight = 84;
}  // namespace

QImage LoadPicture(const std::string& name) {
  if (name.empty() || CurrentPresentation().imagesPath.empty()) return {};
  browser::cPNG png;
  if (png.LoadPNGFile(CurrentPresentation().imagesPath + name + ".png") != browser::kPngLoaded) return {};
  const std::vector<std::uint8_t> rgba = png.ToRGBA();
  if (rgba.empty()) return {};
  const int width = static_cast<int>(png.Width());
  const int height = static_cast<int>(png.Height());
  QImage image(width, height, QImage::Format_RGBA8888);
  for (int y = 0; y < height; ++y) {
    std::memcpy(image.scanLine(y), rgba.data() + static_cast<std::size_t>(y) * width * 4,
                static_cast<std::size_t>(width) * 4);
  }
  return image;
}

MessageWindow::MessageWindow(QWidget* parent) : StyledDialog(parent) {
  setObjectName(QStringLiteral("frmMessage"));
  setWindowTitle(QStringLiteral("Message Box"));
  setModal(true);

  Image1_ = new QLabel(this);
  Image1_->setObjectName(QStringLiteral("Image1"));
  Image1_->setFixedSize(kPictureSize, kPictureSize);
  Image1_->setAlignment(Qt::AlignCenter);
  lblPrompt_ = new QLabel(QStringLiteral("Message Text"), this);
  lblPrompt_->setObjectName(QStringLiteral("lblPrompt"));
  lblPrompt_->setWordWrap(true);
  lblPrompt_->setMinimumWidth(300);
  lblPrompt_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  cbFirstButton_ = new QPushButton(QStringLiteral("First"), this);
  cbFirstButton_->setObjectName(QStringLiteral("cbFirstButton"));
  cbSecondButton_ = new QPushButton(QStringLiteral("Second"), this);
  cbSecondButton_->setObjectName(QStringLiteral("cbSecondButton"));
  cbHelp_ = new QPushButton(QStringLiteral("Help"), this);
  cbHelp_->setObjectName(QStringLiteral("cbHelp"));
  cbHelp_->setAutoDefault(false);
  chkCheck_ = new QCheckBox(QStringLiteral("Hide this feature, I don't need it"), this);
  chkCheck_->setObjectName(QStringLiteral("chkCheck"));

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(Image1_, 0, Qt::AlignTop);
  top->addWidget(lblPrompt_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbHelp_);
  buttons->addWidget(chkCheck_);
  buttons->addStretch(1);
  buttons->addWidget(cbFirstButton_);
  buttons->addWidget(cbSecondButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 18, 18, 12);
  layout->addLayout(top);
  layout->addStretch(1);
  layout->addSpacing(14);
  layout->addLayout(buttons);

  connect(cbFirstButton_, &QPushButton::clicked, this, [this] {
    result_ = false;
    accept();
  });
  connect(cbSecondButton_, &QPushButton::clicked, this, [this] {
    result_ = true;
    accept();
  });
  connect(cbHelp_, &QPushButton::clicked, this, [this] { OpenHelp(topic_); });

  if (CurrentPresentation().languages) ApplyLanguage(this, *CurrentPresentation().languages);
}

void MessageWindow::Fill(const std::string& text, const std::string& title, const std::string& icon,
                         const std::string& first, const std::string& second, const std::string& topic,
                         std::int16_t check) {
  lblPrompt_->setText(QString::fromStdString(text));
  setWindowTitle(QString::fromStdString(title));
  cbFirstButton_->setText(QString::fromStdString(first));
  cbSecondButton_->setText(QString::fromStdString(second));
  topic_ = topic;
  cbHelp_->setVisible(!topic.empty());
  chkCheck_->setVisible(check >= 0);
  chkCheck_->setChecked(check == 1);
  cbSecondButton_->setVisible(!second.empty());
  // With one button Enter and Escape both press it; with two, Enter presses the first.
  cbFirstButton_->setDefault(true);
  cbFirstButton_->setAutoDefault(true);
  cbSecondButton_->setAutoDefault(false);
  picture_ = LoadPicture(icon);
  Image1_->setPixmap(picture_.isNull() ? QPixmap() : QPixmap::fromImage(picture_.scaled(
      kPictureSize, kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  Image1_->setVisible(!picture_.isNull());
  // The band runs behind the picture and the text; a long text makes both taller.
  adjustSize();
  SetVisual(std::max(kBandHeight, lblPrompt_->sizeHint().height() + 36));
  adjustSize();
}

std::int16_t MessageWindow::CheckValue() const { return chkCheck_->isChecked() ? 1 : 0; }

bool ShowMessage(QWidget* owner, const std::string& text, const std::string& title, const std::string& icon,
                 const std::string& first, const std::string& second, const std::string& topic,
                 std::int16_t& check) {
  QPointer<QWidget> window = owner ? owner->window() : nullptr;
  MessageWindow message(window);
  message.Fill(text, title, icon, first, second, topic, check);

  // The owner's own controls go grey while the message is up.
  std::vector<QPointer<QWidget>> disabled;
  if (window) {
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->isWindow() || !child->isEnabled()) continue;
      child->setEnabled(false);
      disabled.emplace_back(child);
    }
  }
  message.exec();
  for (const QPointer<QWidget>& child : disabled) {
    if (child) child->setEnabled(true);
  }
  if (check >= 0) check = message.CheckValue();
  return message.Result();
}

bool ShowMessage(QWidget* owner, const std::string& text, const std::string& title, const std::string& icon,
                 const std::string& first, const std::string& second, const std::string& topic) {
  std::int16_t check = -1;
  return ShowMessage(owner, text, title, icon, first, second, topic, check);
}

}  // namespace vantrel::ui
