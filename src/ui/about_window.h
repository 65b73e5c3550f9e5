// The about window `frmAbout` and the intro window `frmIntro`: the program's own pages
// (name, build, engine version; the feature overview), each with the product's web
// site as its one link ("GOWEB").
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "ui/visual_style.h"

class QLabel;

namespace vantrel::ui {

class PageWindow : public StyledDialog {
  Q_OBJECT

 public:
  // name: "frmAbout" or "frmIntro"; onWeb opens the product's web site.
  PageWindow(const char* name, QWidget* parent = nullptr);
  std::function<void()> onWeb;
  // The one command these pages accept: "GOWEB" (any letter case) opens the web site.
  // Returns whether the command was taken.
  bool Command(const std::string& command);

 protected:
  QLabel* body_;
  QLabel* heading_;
};

// The engine's reported version (major in the high 16 bits, minor in the low ones) as
// "32.0".
QString EngineVersionText(int flashVersion);

class AboutWindow : public PageWindow {
  Q_OBJECT

 public:
  // flashVersion: the engine's reported version.
  AboutWindow(int flashVersion, const std::string& webHost, QWidget* parent = nullptr);
};

class IntroWindow : public PageWindow {
  Q_OBJECT

 public:
  explicit IntroWindow(const std::string& webHost, QWidget* parent = nullptr);
};

}  // namespace vantrel::ui
