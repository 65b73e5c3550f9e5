// The media browser page: the program's own browse movie runs as this native page. It
// reads "browse.xml", draws the grid of thumbnails with their names, and answers
// through the same commands the movie would send (SHOTCLICK, SHOTOVER, BROWSESCROLL,
// MEOWSEARCH, MEOWUP). The address bar and the thumbnail progress strip (`frmShot`)
// sit above and below the grid.
#pragma once

#include <QComboBox>
#include <QHash>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace vantrel::browser {

// One entry as the page knows it from browse.xml.
struct PageEntry {
  QString thumb;   // file name in the thumbnail folder
  QString name;    // first line of the title
  QString detail;  // the size or date after the line break
  int type = 0;
};

class ThumbGrid;

class BrowserPage : public QWidget {
  Q_OBJECT

 public:
  explicit BrowserPage(QWidget* parent = nullptr);

  // Reads the page file; false (page unchanged) when it cannot be parsed.
  bool LoadXml(const QString& path);
  // A thumbnail of entry index (0-based) was written: its picture is read again.
  void ThumbnailReady(int index);
  // Entry index is no whole movie (its thumbnail failed for reason): its tile carries a
  // mark, and the reason shows as its tool tip.
  void MarkDamaged(int index, const QString& reason);
  // The address bar's history and its selected entry.
  void SetHistory(const std::vector<std::string>& folders, int selected);
  // The progress strip of thumbnail making; hidden by HideProgress.
  void ShowProgress(int done, int total, const QString& text, const QString& path);
  void HideProgress();

  const std::vector<PageEntry>& Entries() const;
  const QString& Folder() const { return folder_; }
  const QString& ErrorText() const { return error_; }
  // The tile rectangle of entry index in page coordinates (for tests and drivers).
  QRect TileRect(int index) const;
  ThumbGrid* Grid() const { return grid_; }

  // A command the browse movie would send (name, argument).
  std::function<void(const std::string& command, const std::string& argument)> onCommand;
  // A menu item of the player's browser menus ("mnuBrowseBack", "mnuBrowseForward").
  std::function<void(const std::string& name)> onMenu;
  // Right click on entry index (0-based; -1 on empty space) at a screen position.
  std::function<void(int index, QPoint globalPos)> onItemMenu;
  // The cancel button of the progress strip.
  std::function<void()> onCancelShots;

 private:
  void Go();

  QToolButton* back_;
  QToolButton* forward_;
  QToolButton* up_;
  QComboBox* address_;
  QPushButton* go_;
  QScrollArea* scroll_;
  ThumbGrid* grid_;
  QLabel* found_;
  QLabel* error_label_;
  QWidget* shot_;
  QLabel* shotStatus_;
  QLabel* shotPath_;
  QProgressBar* progress_;
  QString folder_;
  QString error_;
  bool settingHistory_ = false;
};

// The grid itself: paints only the tiles in view and reads their pictures on demand.
class ThumbGrid : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTileWidth = 150;
  static constexpr int kTileHeight = 132;
  static constexpr int kPictureWidth = 120;
  static constexpr int kPictureHeight = 90;

  explicit ThumbGrid(QWidget* parent = nullptr);

  void SetEntries(std::vector<PageEntry> entries, const QString& thumbFolder);
  void Reload(int index);
  void MarkDamaged(int index, const QString& reason);
  // Why entry index is marked damaged; empty when it is not.
  QString Damage(int index) const { return damaged_.value(index); }
  const std::vector<PageEntry>& Entries() const { return entries_; }
  int Columns() const;
  QRect TileRect(int index) const;
  int IndexAt(QPoint at) const;
  // Tiles painted and pictures read since the entries were set (for the timing tests).
  int PicturesRead() const { return picturesRead_; }

  std::function<void(int index)> onClick;   // 0-based
  std::function<void(int index)> onHover;   // 0-based, -1 for none
  std::function<void(int index, QPoint globalPos)> onMenu;

  QSize sizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  const QImage& Picture(int index);

  std::vector<PageEntry> entries_;
  QString thumbFolder_;
  QHash<int, QImage> pictures_;
  QHash<int, QString> damaged_;
  int hovered_ = -1;
  int picturesRead_ = 0;
};

}  // namespace vantrel::browser
