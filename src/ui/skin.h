// The skin `Skin`: reads skin.xml into the skin control table, creates one control per
// element inside a host widget (views, sub-views, buttons, labels, images), paints the
// state pictures with their cross-fades, shows one view at a time and gives the window
// its outline from the sub-views' window masks. The shipped skin's arrangement code
// places its elements by table index.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/skin_rules.h"

class QTimer;

namespace vantrel::core {
class ExecutionLog;
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::ui {

// Element kinds, as the skin control table keeps them.
enum SkinKind : int { kSkinView = 0, kSkinSubView = 1, kSkinButton = 2, kSkinLabel = 3, kSkinImage = 4, kSkinButtonLite = 5 };

// One element of the skin: what the file said and what was made of it.
struct SkinControl {
  std::string Name = "| no |";
  QPointer<QWidget> Control;
  int ViewIndex = 0;
  int Kind = 0;
  std::string Left = "0", Top = "0", Width = "10", Height = "10";
  bool HasNormal = false, HasDown = false, HasOver = false, HasDisabled = false;
  bool Stretch = true;
  int State = 1;
  QImage PicNormal, PicOver, PicDown, PicDisabled;
  QImage FadeSurface;
  QTimer* FadeTimer = nullptr;
  int FadePos = 0;
  int FadeStep = 0;
  int FadeSteps = 20;
};

// A picture box or image control of the skin: paints its picture stretched over itself
// and, during a fade, the target picture over it at the fade's alpha.
class SkinElement : public QWidget {
  Q_OBJECT

 public:
  SkinElement(int index, QWidget* parent);
  int Index() const { return index_; }
  void SetPicture(const QImage& picture);
  void SetFade(const QImage& target, int alpha);
  const QImage& Picture() const { return picture_; }

  std::function<void(int index, int state)> onState;  // 1 normal, 2 hover, 3 pressed
  std::function<void(int index)> onClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int index_;
  QImage picture_;
  QImage fade_;
  int fadeAlpha_ = 0;
};

class Skin : public QObject {
  Q_OBJECT

 public:
  struct Services {
    std::string skinPath;      // the shipped skin: skin.xml and the bitmap parts
    std::string userSkinPath;  // the drawn state pictures
    core::OptionsStore* options = nullptr;
    const core::Languages* languages = nullptr;  // may be null
    core::ExecutionLog* log = nullptr;           // may be null
  };

  // host: the widget the skin's views fill.
  Skin(QWidget* host, Services services);
  ~Skin() override;

  // Draws the generated pictures when the theme changed, reads skin.xml and creates
  // every control. False (and nothing left behind) when the file is missing or broken;
  // LastError() says why.
  bool LoadSkin();
  // Removes every control the skin made.
  void Unload();
  bool Loaded() const { return loaded_; }
  const std::string& LastError() const { return lastError_; }

  // Shows the view of that name (letter case ignored); false when there is none.
  bool SetSkinView(const std::string& name);
  int CurrentView() const { return currentView_; }
  QWidget* CurrentViewWidget() const;

  // Paints entry index in state (0: repaint at its state, 1..4), fading unless 0.
  void SetSkinState(int index, int& state);
  // The application became active or not: the shown view's elements are enabled or
  // not and take their disabled pictures.
  void ActivateApp(bool active);

  // Gives entry index the four state pictures of another image name (the play button
  // that becomes a pause button); false when its normal picture does not load.
  bool SetImage(int index, const std::string& image);
  // The control of a 1-based table index, or nullptr.
  QWidget* xObj(int index) const;
  const std::vector<SkinControl>& Table() const { return table_; }
  int MinWidth() const { return minWidth_; }
  int MinHeight() const { return minHeight_; }
  bool HidesMenu() const { return hidesMenu_; }

  // The window-mask holes in the host's coordinates.
  std::vector<WindowHole> Holes() const;

  // A button of the skin was clicked: its name (the shipped skin names buttons after
  // the menu items they click).
  std::function<void(const std::string& name)> onClick;

 private:
  void ReadElement(const void* node, QWidget* container);
  int CreateElement(const void* node, int kind, QWidget* container);
  int CreateView(const void* node);
  QImage LoadState(const std::string& folder, const std::string& image) const;
  void FadeTick(int index);
  void Log(const std::string& line) const;

  QPointer<QWidget> host_;
  Services services_;
  std::vector<SkinControl> table_;  // index 0 unused: the table is 1-based
  struct Mask {
    QRegion region;
    QPointer<QWidget> control;
  };
  std::vector<Mask> masks_;
  bool loaded_ = false;
  int currentView_ = 0;
  int readingView_ = 0;
  int minWidth_ = 0;
  int minHeight_ = 0;
  bool hidesMenu_ = false;
  std::string lastError_;
};

}  // namespace vantrel::ui
