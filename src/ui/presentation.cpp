#include "ui/presentation.h"

#include <QApplication>
#include <QUrl>
#include <filesystem>

#include "core/language.h"
#include "player/player.h"
#include "ui/desktop_open.h"

namespace vantrel::ui {

Presentation& CurrentPresentation() {
  static Presentation presentation;
  return presentation;
}

ScopedPresentation::ScopedPresentation(Presentation presentation) : saved_(std::move(CurrentPresentation())) {
  CurrentPresentation() = std::move(presentation);
}

ScopedPresentation::~ScopedPresentation() { CurrentPresentation() = std::move(saved_); }

std::string UiText(const std::string& key, const std::string& defaultText) {
  const core::Languages* languages = CurrentPresentation().languages;
  return languages ? languages->LangText(key, defaultText) : defaultText;
}

std::string HelpAddress(const std::string& topic) {
  const std::string& folder = CurrentPresentation().helpPath;
  if (!folder.empty()) {
    const std::string page = folder + (topic.empty() ? std::string("index") : topic) + ".html";
    std::error_code error;
    if (std::filesystem::is_regular_file(page, error)) return QUrl::fromLocalFile(QString::fromStdString(page)).toString().toStdString();
  }
  std::string address = "http://" + player::ProductWebHost(CurrentPresentation().languages) + "/help/" + topic;
  if (!topic.empty()) address += ".html";
  return address;
}

void OpenHelp(const std::string& topic) { OpenAddress(HelpAddress(topic)); }

void OpenAddress(const std::string& address) {
  if (CurrentPresentation().openAddress) {
    CurrentPresentation().openAddress(address);
    return;
  }
  OpenOnDesktop(address, QApplication::activeWindow());
}

}  // namespace vantrel::ui
