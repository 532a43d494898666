// The windows at a display scaling of their own: every caption keeps within its place, in a face that
// scales (a bitmap face would be drawn as enlarged pixels).
//
//   tests_scaled --scale=FACTOR [GoogleTest options]
//
// The factor is taken as an argument, since wine hands a Windows program no QT_ variable.
#include "DialogRecorder.h"

#include "app/ProgramWindows.h"
#include "app/MainForm.h"
#include "journal/JournalWindow.h"
#include "journal/Recorder.h"
#include "keys/TMprogrammer.h"
#include "link/PortNames.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>

namespace {

double scale = 1.0;

// The room a caption needs: a push button's hint keeps the style's least width and a check box's
// has its box, so for a push button only the caption's own line counts.
QSize captionNeeds(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text().isEmpty() || label->wordWrap() ? QSize() : label->sizeHint();
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (!button || button->text().isEmpty()) return {};
    const QFontMetrics metrics = button->fontMetrics();
    return {qobject_cast<const QPushButton*>(button) ? metrics.horizontalAdvance(button->text()) + 8
                                                     : button->sizeHint().width(),
            metrics.height()};
}

// Every caption that does not fit its widget and every widget that reaches past its parent.
std::string cramped(const QWidget* window) {
    QStringList found;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window)) continue;
        const QSize needs = captionNeeds(widget);
        if (needs.width() > widget->width() || needs.height() > widget->height())
            found << QStringLiteral("%1: %2×%3 in %4×%5")
                         .arg(widget->objectName())
                         .arg(needs.width())
                         .arg(needs.height())
                         .arg(widget->width())
                         .arg(widget->height());
        if (!widget->parentWidget()->rect().contains(widget->geometry()))
            found << widget->objectName() + QStringLiteral(" reaches past its parent");
    }
    return found.join(u'\n').toStdString();
}

TEST(ScaledWindows, CaptionsKeepWithinTheirPlacesInAFaceThatScales) {
    ASSERT_DOUBLE_EQ(qApp->primaryScreen()->devicePixelRatio(), scale);
    DialogRecorder dialogs;
    ProgramWindows windows;
    Journal::Recorder recorder;
    Journal::JournalWindow journal(recorder);
    windows.main->Timer1->stop();
    QTabWidget* pages = windows.main->PageControl1;
    for (QWidget* window : {static_cast<QWidget*>(windows.main.get()), static_cast<QWidget*>(windows.keys.get()),
                            static_cast<QWidget*>(&journal)}) {
        window->show();
        const QString face = QFontInfo(window->font()).family();
        EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(face)) << face.toStdString();
        for (int page = 0; page < (window == windows.main.get() ? pages->count() : 1); ++page) {
            pages->setCurrentIndex(page);
            QCoreApplication::processEvents();
            EXPECT_EQ(cramped(window), "") << window->objectName().toStdString() << " page " << page;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--scale=", 8) == 0) scale = std::atof(argv[i] + 8);
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    setPortOpenCheck([](const QString&) { return false; }); // the windows' port lists find nothing of the machine's
    return RUN_ALL_TESTS();
}
