// The baseline of the start-up benchmark: a bare Qt window of the demo movie's size
// that paints two colours, started and shown the plainest way Qt allows.
#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {
class Bare : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(11, 16, 38));
    painter.fillRect(QRect(width() / 3, height() / 3, width() / 3, height() / 3), QColor(255, 170, 40));
  }
};
}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Bare window;
  window.setWindowTitle(QStringLiteral("Bare Qt window"));
  window.resize(480, 360);
  window.show();
  return QApplication::exec();
}
