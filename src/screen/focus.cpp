#include "screen/focus.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

class FocusKeeper : public QObject {
 public:
  explicit FocusKeeper(QWidget* main) : QObject(main), main_(main) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      if (w->isWindow() && w != main_ && w->windowType() != Qt::Popup &&
          w->windowType() != Qt::ToolTip)
        // Queued: the window that closed must be gone from the modal stack.
        QTimer::singleShot(0, this, [this] { GiveBack(); });
    }
    return false;
  }

 private:
  void GiveBack() {
    QWidget* target = QApplication::activeModalWidget();
    if (!target) target = main_;
    if (!target || !target->isVisible()) return;
    target->activateWindow();
    target->raise();
    if (target == main_) main_->setFocus(Qt::ActiveWindowFocusReason);
  }
  QPointer<QWidget> main_;
};

}  // namespace

void KeepKeyboardOnMainWindow(QWidget* mainWindow) {
  if (!mainWindow || !QCoreApplication::instance()) return;
  QCoreApplication::instance()->installEventFilter(new FocusKeeper(mainWindow));
}
