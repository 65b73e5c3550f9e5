#include "ui/qt_dialogs.h"

#include "ui/message_window.h"
#include "ui/presentation.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "core/paths.h"

namespace vantrel::ui {

QString FilterText(const std::vector<player::FileFilter>& filters) {
  QStringList entries;
  for (const player::FileFilter& filter : filters) {
    QString patterns = QString::fromStdString(filter.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    entries << QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.name).trimmed(), patterns);
  }
  return entries.join(QStringLiteral(";;"));
}

std::vector<std::string> QtDialogs::OpenFiles(const std::string& title, const std::vector<player::FileFilter>& filters,
                                              const std::string& defaultExtension, const std::string& startFolder,
                                              bool multiple) {
  QFileDialog dialog(parent_, QString::fromStdString(title), QString::fromStdString(startFolder), FilterText(filters));
  dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
  return chosen;
}

std::string QtDialogs::SaveFile(const std::string& title, const std::vector<player::FileFilter>& filters,
                                const std::string& startFolder) {
  return QFileDialog::getSaveFileName(parent_, QString::fromStdString(title), QString::fromStdString(startFolder),
                                      FilterText(filters))
      .toStdString();
}

std::string QtDialogs::ChooseFolder(const std::string& prompt, const std::string& startFolder) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent_, QString::fromStdString(prompt), QString::fromStdString(startFolder));
  return folder.isEmpty() ? std::string() : core::AddSlash(folder.toStdString());
}

int QtDialogs::ShowMessage(const std::string& text, const std::string& title, const std::vector<std::string>& buttons,
                           const std::string& picture) {
  // Every question of the player goes through the program's own message window; more
  // than two buttons never occur, so the first two carry the answer.
  const std::string first = buttons.empty() ? UiText("Shared/OK", "OK") : buttons[0];
  const std::string second = buttons.size() > 1 ? buttons[1] : std::string();
  return ui::ShowMessage(parent_, text, title, picture.empty() ? "info" : picture, first, second) ? 1 : 0;
}

}  // namespace vantrel::ui
