#pragma once
#include <QString>

class QPoint;
class QWidget;

// Hints (tool tips) with the application-wide display time that each window sets when it is shown
// (45 s for the main window, 10 s for the key programmer window).
void setHintDisplayMs(int ms);
int hintDisplayMs();
// Shows a hint at once at the global position, for the application-wide display time.
void showHintAt(const QPoint& globalPos, const QString& text, QWidget* owner);
// Makes the ordinary hints of widgets (their toolTip) stay for the application-wide display time.
void installHintTime();
