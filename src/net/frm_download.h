// `frmDownload`: fetches a movie from a web address into the cache with
// `DownloaderControl` and reports where it landed.
#pragma once


#include "net/net_context.h"
#include "ui/visual_style.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantrel::net {

class DownloaderControl;

class frmDownload : public ui::StyledDialog {
  Q_OBJECT

 public:
  explicit frmDownload(NetContext context, QWidget* parent = nullptr);
  ~frmDownload() override;

  DownloaderControl* Downloader() const { return downloader_; }
  // The status line shown last ("Downloading... :: ...").
  QString StatusLine() const;

 private:
  void Go();
  void CancelClicked();
  void OnProgress(qint64 bytesRead, qint64 bytesTotal, int statusCode, const QString& statusText);
  void OnComplete();
  void OnFailed(const QString& reason);
  void RestoreButtons();
  void SetCaption(const QString& line);

  NetContext context_;
  DownloaderControl* downloader_;
  QLineEdit* txtSource_;
  QProgressBar* progress_;
  QPushButton* cbGo_;
  QPushButton* cbCancel_;
  QPushButton* cbDone_;
  QString statusLine_;
};

}  // namespace vantrel::net
