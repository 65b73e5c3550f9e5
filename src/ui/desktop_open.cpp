#include "ui/desktop_open.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <memory>

#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {
// An opener that runs a program in the foreground (a browser started by xdg-open
// without a desktop) ends when that program ends; only an answer within this time is
// the opener's own.
constexpr qint64 kOpenerAnswerMs = 15000;
}  // namespace

void ShowCannotOpen(const std::string& target, QWidget* owner) {
  if (CurrentPresentation().cannotOpen) {
    CurrentPresentation().cannotOpen(target);
    return;
  }
  const std::string text =
      UiText("Shared/strNoOpener", "Nothing on this computer opened it. You can open it by hand:") + "\r\n\r\n" + target;
  const bool copy = ShowMessage(owner, text, "Vantrel", "info", UiText("Shared/Close", "Close"),
                                UiText("Shared/Copy", "Copy"));
  if (copy) QApplication::clipboard()->setText(QString::fromStdString(target));
}

void OpenOnDesktop(const std::string& target, QWidget* owner) {
  if (target.empty()) return;
  auto* process = new QProcess(QCoreApplication::instance());
  process->setProgram(QStringLiteral("xdg-open"));
  process->setArguments({QString::fromStdString(target)});
  // The opener's output (and that of what it starts) goes nowhere: no pipe can fill up.
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  const QPointer<QWidget> shown(owner);
  QObject::connect(process, &QProcess::finished, process,
                   [process, target, shown, started](int code, QProcess::ExitStatus status) {
                     process->deleteLater();
                     if (status == QProcess::NormalExit && code == 0) return;
                     if (started->elapsed() < kOpenerAnswerMs) ShowCannotOpen(target, shown);
                   });
  QObject::connect(process, &QProcess::errorOccurred, process, [process, target, shown](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    process->deleteLater();
    ShowCannotOpen(target, shown);
  });
  process->start();
}

bool DesktopShell::Open(const std::string& target) {
  if (target.empty()) return false;
  OpenOnDesktop(target, owner_);
  return true;
}

}  // namespace vantrel::ui
