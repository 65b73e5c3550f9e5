// frmInfo: the facts of one movie, video or projector from its media record (the file
// itself is never read), with its thumbnail on the Summary page.
#pragma once

#include <functional>
#include <string>

#include "media/media_record.h"
#include "media/movie_facts.h"
#include "ui/visual_style.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;

namespace vantrel::browser {

class InfoDialog : public ui::StyledDialog {
  Q_OBJECT

 public:
  // thumbPath is where the record's thumbnail lives; makeThumbnail writes it there when
  // it is missing (and again on a double-click on the Summary page).
  InfoDialog(const media::MediaRecord& record, const media::TextLookup& lookup, std::string thumbPath,
             std::function<void()> makeThumbnail, QWidget* parent = nullptr);

  // The text of the value label named name ("TypeValue", "lblNone", ...).
  QString Value(const char* name) const;
  void ShowPage(int page);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowThumbnail(bool remake);

  media::MediaRecord record_;
  std::string thumbPath_;
  std::function<void()> makeThumbnail_;
  QListWidget* pages_;
  QStackedWidget* stack_;
  QLabel* picture_;
  QLabel* where_;
  QLineEdit* webSite_;
};

}  // namespace vantrel::browser
