#include "net/net_context.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include "core/language.h"
#include "core/log.h"

namespace vantrel::net {

int ShowNetMessage(QWidget* parent, const QString& text, const QString& title, const QStringList& buttons,
                   const QString& picture) {
  QMessageBox box(parent);
  box.setObjectName(QStringLiteral("frmMessage"));
  box.setWindowTitle(title);
  box.setText(text);
  if (picture == QLatin1String("question")) box.setIcon(QMessageBox::Question);
  else if (picture == QLatin1String("error")) box.setIcon(QMessageBox::Critical);
  else if (picture == QLatin1String("warning")) box.setIcon(QMessageBox::Warning);
  else box.setIcon(QMessageBox::Information);
  std::vector<QAbstractButton*> added;
  const QStringList labels = buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : buttons;
  for (const QString& label : labels) added.push_back(box.addButton(label, QMessageBox::AcceptRole));
  box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i)
    if (box.clickedButton() == added[i]) return static_cast<int>(i);
  return static_cast<int>(added.size()) - 1;  // closed by its title bar: the last choice
}

std::string NetContext::LangText(const std::string& key, const std::string& defaultText) const {
  return languages ? languages->LangText(key, defaultText) : defaultText;
}

void NetContext::Log(const std::string& line) const {
  if (log) log->WriteLog(line);
}

int NetContext::Message(QWidget* parent, const QString& text, const QString& title, const QStringList& buttons,
                        const QString& picture) const {
  return showMessage ? showMessage(parent, text, title, buttons, picture)
                     : ShowNetMessage(parent, text, title, buttons, picture);
}

bool NetContext::Open(const QUrl& url) const { return openUrl ? openUrl(url) : QDesktopServices::openUrl(url); }

std::chrono::sys_days NetContext::Today() const {
  if (today) return today();
  return std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
}

}  // namespace vantrel::net
