// The tip panel: a numbered title, the tip's text, an optional link and an icon, laid
// over the bottom of the movie area until it is closed or the tip timer runs out.
#pragma once

#include <QFrame>
#include <QTimer>
#include <functional>
#include <vector>

#include "ui/tips.h"

class QLabel;

namespace vantrel::ui {

class TipPanel : public QFrame {
  Q_OBJECT

 public:
  // parent: the widget the panel lies over; mediaPath: where the icons are.
  TipPanel(QWidget* parent, std::string mediaPath);

  void SetTips(std::vector<Tip> tips) { tips_ = std::move(tips); }
  const std::vector<Tip>& Tips() const { return tips_; }
  // Shows tip index (0-based) with the number index + 1; nothing when out of range.
  void ShowTip(int index);
  // Shows a tip chosen at random; false when there are none.
  bool ShowRandomTip();
  // Shows the tip whose help or action is key; false when there is none.
  bool ShowTipFor(const std::string& key);
  int Shown() const { return shown_; }

  QLabel* Title() const { return lblTipTitle_; }
  QLabel* Link() const { return lblTipLink_; }

  std::function<void(const Tip& tip)> onLink;
  // The height at the bottom of the parent the panel keeps clear (the skin's control
  // bar); unset: none.
  std::function<int()> reservedBottom;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  // Lays the panel out again over its parent (the control bar may have come or gone).
  void Place();

 private:

  std::string mediaPath_;
  std::vector<Tip> tips_;
  int shown_ = -1;
  QLabel* icon_;
  QLabel* lblTipTitle_;
  QLabel* lblTipText_;
  QLabel* lblTipLink_;
  QTimer tmrTip_;
};

}  // namespace vantrel::ui
