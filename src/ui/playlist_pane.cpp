#include "ui/playlist_pane.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "player/playlist.h"
#include "ui/visual_style.h"

namespace vantrel::ui {

std::vector<std::string> DroppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

PlaylistPane::PlaylistPane(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("PlayList"));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  setDragDropMode(QAbstractItemView::DropOnly);
  setUniformItemSizes(true);
}

void PlaylistPane::SetEntries(const std::vector<std::string>& paths) {
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& path : paths) {
    auto* line = new QListWidgetItem(QString::fromStdString(player::DisplayName(path)), this);
    line->setToolTip(QString::fromStdString(path));
  }
}

std::vector<std::int32_t> PlaylistPane::SelectedLines() const {
  std::vector<std::int32_t> lines;
  for (const QModelIndex& index : selectionModel()->selectedRows()) lines.push_back(index.row());
  std::sort(lines.begin(), lines.end());
  return lines;
}

void PlaylistPane::SelectLine(std::int32_t line) {
  clearSelection();
  if (line < 0 || line >= count()) return;
  setCurrentRow(line, QItemSelectionModel::ClearAndSelect);
}

void PlaylistPane::SetSkinColours(const ThemeColours* colours) {
  if (!colours) {
    setStyleSheet(QString());
    return;
  }
  const ThemeColours& c = *colours;
  // The same light-to-face gradient as the skin's control bar.
  const QColor top = MixColour(c.face, c.highlight, 150);
  const QColor bottom = c.face;
  const QColor text = ReadableTextColour(QColor(0x10, 0x10, 0x10), MixColour(top, bottom, 128));
  const QColor selected = MixColour(c.face, c.selection, 90);
  const QColor selectedText = ReadableTextColour(text, selected);
  const auto name = [](const QColor& colour) { return colour.name(QColor::HexRgb); };
  setStyleSheet(QStringLiteral(
                    "QListWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2);"
                    " color: %3; border: 1px solid %4; border-radius: 10px; padding: 6px 4px; }"
                    "QListWidget::item { border-radius: 4px; padding: 1px 3px; }"
                    "QListWidget::item:selected { background: %5; color: %6; }")
                    .arg(name(top), name(bottom), name(text), name(c.shadow), name(selected), name(selectedText)));
}

void PlaylistPane::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    if (onActivated) onActivated();
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void PlaylistPane::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  if (onActivated) onActivated();
}

void PlaylistPane::contextMenuEvent(QContextMenuEvent* event) {
  if (onContextMenu) onContextMenu(event->globalPos());
  event->accept();
}

void PlaylistPane::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlaylistPane::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlaylistPane::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  if (onFilesDropped) onFilesDropped(paths);
}

}  // namespace vantrel::ui
