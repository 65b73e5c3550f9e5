// What the network windows work with: the options, languages and log of the running
// program, its cache folder, and the desktop functions tests replace.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <string>

class QWidget;

namespace vantrel::core {
class ExecutionLog;
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::net {

// Shows a message with buttons (the first is the default) and a picture ("info",
// "question", "error"); returns the index of the button that closed it.
using MessageFunction = std::function<int(QWidget* parent, const QString& text, const QString& title,
                                          const QStringList& buttons, const QString& picture)>;

// The network windows' messages, all through this one function (a plain message box).
int ShowNetMessage(QWidget* parent, const QString& text, const QString& title, const QStringList& buttons,
                   const QString& picture);

struct NetContext {
  core::OptionsStore* options = nullptr;          // required
  const core::Languages* languages = nullptr;     // null: every text is its default
  core::ExecutionLog* log = nullptr;              // null: no log lines
  std::string cachePath;                          // downloads land here
  std::string imagesPath;                         // the program's pictures ("update.png")
  std::function<void(QWidget*)> applyLanguage;    // translates a dialog's captions; may be unset
  MessageFunction showMessage;                    // unset: ShowNetMessage
  std::function<bool(const QUrl&)> openUrl;       // unset: QDesktopServices
  std::function<std::chrono::sys_days()> today;   // unset: the system's date (UTC)

  std::string LangText(const std::string& key, const std::string& defaultText) const;
  void Log(const std::string& line) const;
  int Message(QWidget* parent, const QString& text, const QString& title, const QStringList& buttons,
              const QString& picture) const;
  bool Open(const QUrl& url) const;
  std::chrono::sys_days Today() const;
};

}  // namespace vantrel::net
