// The player's questions as Qt dialogs: file and folder choosers and messages.
#pragma once

#include <QPointer>
#include <QWidget>

#include "player/dialog_port.h"

namespace vantrel::ui {

// "Name (*.swf *.exe)" entries joined by ";;", as Qt's file dialogs take them.
QString FilterText(const std::vector<player::FileFilter>& filters);

class QtDialogs : public player::DialogPort {
 public:
  // parent: the window the dialogs belong to (may be null).
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  std::vector<std::string> OpenFiles(const std::string& title, const std::vector<player::FileFilter>& filters,
                                     const std::string& defaultExtension, const std::string& startFolder,
                                     bool multiple) override;
  std::string SaveFile(const std::string& title, const std::vector<player::FileFilter>& filters,
                       const std::string& startFolder) override;
  std::string ChooseFolder(const std::string& prompt, const std::string& startFolder) override;
  int ShowMessage(const std::string& text, const std::string& title, const std::vector<std::string>& buttons,
                  const std::string& picture) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vantrel::ui
