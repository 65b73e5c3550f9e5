// `frmUpdate`: asks the program's web site whether a newer build exists. A manual check
// shows the dialog at once; an automatic one stays hidden unless an update is found,
// and otherwise unloads itself without a word.
#pragma once

#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>

#include "net/net_context.h"
#include "ui/visual_style.h"

class QCheckBox;
class QLabel;
class QNetworkAccessManager;
class QPlainTextEdit;
class QPushButton;

namespace vantrel::net {

class Transfer;

class frmUpdate : public ui::StyledDialog {
  Q_OBJECT

 public:
  frmUpdate(NetContext context, bool automatic, QWidget* parent = nullptr);
  ~frmUpdate() override;

  // Starts loading the feed (the dialog's load step).
  void StartCheck();

  bool Automatic() const { return automatic_; }
  bool UpdateFound() const { return updateFound_; }
  std::int32_t KnownBuild() const { return knownBuild_; }
  std::int32_t BestBuild() const { return bestBuild_; }
  const QString& DownloadAddress() const { return downloadAddress_; }
  // True once the feed was answered or failed.
  bool Finished() const { return finished_; }

  // The site base ("http://host/") and the feed's address.
  static QString SiteBase(const NetContext& context);
  static QString FeedAddress(const NetContext& context);

 signals:
  // The check ended (found, not found or failed), before an automatic check unloads.
  void CheckEnded();

 protected:
  void done(int result) override;

 private:
  void OnFeed(const QString& error);
  void ShowFailure(const QString& reason);
  void SetStatus(const std::string& suffix, const std::string& defaultText);
  void SetNote(const std::string& suffix, const std::string& defaultText);
  void ToggleDetails();
  void CancelClicked();
  void Unload();

  NetContext context_;
  bool automatic_;
  std::int32_t knownBuild_ = 0;
  std::int32_t bestBuild_ = 0;
  bool updateFound_ = false;
  bool finished_ = false;
  bool unloading_ = false;
  QString downloadAddress_;
  QByteArray feed_;
  std::unique_ptr<QNetworkAccessManager> manager_;
  QPointer<Transfer> transfer_;

  QLabel* imgIcon_;
  QLabel* lblStatus_;
  QLabel* lblNote_;
  QLabel* lblSize_;
  QPlainTextEdit* txtDetails_;
  QCheckBox* chkAuto_;
  QPushButton* cbUpdate_;
  QPushButton* cbDetails_;
  QPushButton* cbCancel_;
};

// The update check as the player starts it: writes its log line, decides whether an
// automatic check is due (at most once in seven days) and loads the dialog, shown for a
// manual check, hidden for an automatic one. Returns the dialog, or null when no check
// runs. The dialog deletes itself when it is unloaded.
frmUpdate* WebUpdate(bool automatic, const NetContext& context, QWidget* parent);

}  // namespace vantrel::net
