// The playlist pane `PlayList`: one line per entry (tooltip: the full path), several
// lines selectable, Enter or a double-click to play, a right click for its pop-up, and
// files dropped on it appended.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/skin_rules.h"

namespace vantrel::ui {

class PlaylistPane : public QListWidget {
  Q_OBJECT

 public:
  explicit PlaylistPane(QWidget* parent = nullptr);

  // Shows entries (full paths) with their display names.
  void SetEntries(const std::vector<std::string>& paths);
  // Selected line numbers, lowest first.
  std::vector<std::int32_t> SelectedLines() const;
  // Selects exactly line (none when it is outside the list).
  void SelectLine(std::int32_t line);
  // Draws the list in the skin's colours: the bar's gradient behind the lines, rounded
  // corners, the selection in the skin's selection colour and text that stays readable.
  // Null gives the plain list back.
  void SetSkinColours(const ThemeColours* colours);

  std::function<void()> onActivated;                      // Enter or double-click
  std::function<void(QPoint globalPos)> onContextMenu;    // right click
  std::function<void(const std::vector<std::string>&)> onFilesDropped;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

// The local file paths a drop carries (other addresses are left out).
std::vector<std::string> DroppedPaths(const class QMimeData* data);

}  // namespace vantrel::ui
