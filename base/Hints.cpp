#include "base/Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace {

int displayMs = 45000;

class HintTimeFilter : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->toolTip().isEmpty()) return false;
        auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), displayMs);
        return true;
    }
};

} // namespace

void setHintDisplayMs(int ms) {
    displayMs = ms;
}
int hintDisplayMs() {
    return displayMs;
}

void showHintAt(const QPoint& globalPos, const QString& text, QWidget* owner) {
    QToolTip::showText(globalPos, text, owner, QRect(), displayMs);
}

void installHintTime() {
    static HintTimeFilter* filter = nullptr;
    if (!filter && qApp) {
        filter = new HintTimeFilter(qApp);
        qApp->installEventFilter(filter);
    }
}
