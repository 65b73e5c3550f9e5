// frmFavorites: the list of favourite folders with add, remove, move up and down.
#pragma once

#include <string>
#include <vector>

#include "ui/visual_style.h"

class QListWidget;

namespace vantrel::core {
class Languages;
}
namespace vantrel::player {
class DialogPort;
}

namespace vantrel::browser {

class FavoritesDialog : public ui::StyledDialog {
  Q_OBJECT

 public:
  // startFolder: where "Add..." begins to look (the user's Flash folder).
  FavoritesDialog(const std::vector<std::string>& folders, player::DialogPort* dialogs,
                  const core::Languages* languages, const std::string& startFolder, QWidget* parent = nullptr);
  // The list as it stands (every folder ends with "/").
  std::vector<std::string> Folders() const;

 private:
  void Move(int delta);
  QListWidget* list_;
};

}  // namespace vantrel::browser
