// The program's own modal message window `frmMessage`: a picture, the message, one or
// two buttons, an optional help button and an optional "don't show again" box, in the
// program's look and language. ShowMessage fills it and returns which button closed it.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

#include "ui/visual_style.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace vantrel::ui {

class MessageWindow : public StyledDialog {
  Q_OBJECT

 public:
  explicit MessageWindow(QWidget* parent = nullptr);

  // Fills the window. icon names a picture of the images folder ("info", "folder");
  // an empty second caption leaves one button; an empty topic hides the help button;
  // a negative check hides the box, else ticks it when check is 1.
  void Fill(const std::string& text, const std::string& title, const std::string& icon, const std::string& first,
            const std::string& second, const std::string& topic, std::int16_t check);

  // False when the first button closed the window (also when it was closed otherwise),
  // true when the second did.
  bool Result() const { return result_; }
  // 0 unticked, 1 ticked.
  std::int16_t CheckValue() const;
  const QImage& Picture() const { return picture_; }

  QLabel* Prompt() const { return lblPrompt_; }
  QPushButton* FirstButton() const { return cbFirstButton_; }
  QPushButton* SecondButton() const { return cbSecondButton_; }
  QPushButton* HelpButton() const { return cbHelp_; }
  QCheckBox* Check() const { return chkCheck_; }

 private:
  QLabel* Image1_;
  QLabel* lblPrompt_;
  QPushButton* cbFirstButton_;
  QPushButton* cbSecondButton_;
  QPushButton* cbHelp_;
  QCheckBox* chkCheck_;
  QImage picture_;
  std::string topic_;
  bool result_ = false;
};

// Shows a message over owner (whose controls are disabled while it is open) and
// returns false when the first button closed it, true when the second did. check:
// negative hides the box and stays as it is; otherwise it receives the box's value
// (0 or 1).
bool ShowMessage(QWidget* owner, const std::string& text, const std::string& title, const std::string& icon,
                 const std::string& first, const std::string& second, const std::string& topic,
                 std::int16_t& check);

// The same without the box.
bool ShowMessage(QWidget* owner, const std::string& text, const std::string& title, const std::string& icon,
                 const std::string& first, const std::string& second = "", const std::string& topic = "");

// A picture of the images folder (name + ".png") read with the program's PNG reader;
// a null image when it does not load.
QImage LoadPicture(const std::string& name);

}  // namespace vantrel::ui
