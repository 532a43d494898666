// The windows at a display scaling of their own: every caption keeps within its place, in a face that
// scales (a bitmap face would be drawn as enlarged pixels), and the journal fits its screen.
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
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>

namespace {

double scale = 1.0;

// What of a caption does not fit: the widget's caption, the room it needs and the room it has.
QStringList cramped(const QWidget* window) {
    QStringList found;
    const auto check = [&](const QWidget* widget, const QString& caption, QSize needed) {
        if (needed.width() > widget->width() || needed.height() > widget->height())
            found << QStringLiteral("%1 \"%2\": %3×%4 in %5×%6")
                         .arg(widget->objectName(), caption)
                         .arg(needed.width())
                         .arg(needed.height())
                         .arg(widget->width())
                         .arg(widget->height());
    };
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window)) continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (!label->text().isEmpty() && !label->wordWrap()) check(label, label->text(), label->sizeHint());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            // A push button's hint keeps the style's least width, a check box's has its box; the
            // caption's own line is what must fit.
            const QFontMetrics metrics = button->fontMetrics();
            const int width = qobject_cast<const QPushButton*>(button)
                                  ? metrics.horizontalAdvance(button->text()) + 8
                                  : button->sizeHint().width();
            const QSize needed(width, metrics.height());
            if (!button->text().isEmpty()) check(button, button->text(), needed);
        } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
            const QSize title(group->fontMetrics().horizontalAdvance(group->title()) + 16, 0);
            if (!group->title().isEmpty()) check(group, group->title(), title);
        }
        // The widget itself within its parent: nothing is cut off at an edge.
        const QWidget* parent = widget->parentWidget();
        if (parent && !widget->isWindow() && !parent->rect().contains(widget->geometry()))
            found << QStringLiteral("%1 reaches past %2").arg(widget->objectName(), parent->objectName());
    }
    return found;
}

TEST(ScaledWindows, CaptionsKeepWithinTheirPlacesInAFaceThatScales) {
    ASSERT_DOUBLE_EQ(qApp->primaryScreen()->devicePixelRatio(), scale);
    DialogRecorder dialogs;
    ProgramWindows windows;
    Journal::Recorder recorder;
    Journal::JournalWindow journal(recorder);
    TForm1& main = *windows.main;
    main.Timer1->stop();
    const std::pair<const char*, QWidget*> shown[] = {{"main", &main}, {"keys", windows.keys.get()}, {"journal", &journal}};
    for (const auto& [name, window] : shown) {
        window->show();
        QCoreApplication::processEvents();
        const QString face = QFontInfo(window->font()).family();
        EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(face)) << name << ": " << face.toStdString();
        if (window == &main) {
            for (int page = 0; page < main.PageControl1->count(); ++page) {
                main.PageControl1->setCurrentIndex(page);
                QCoreApplication::processEvents();
                const QStringList found = cramped(window);
                EXPECT_TRUE(found.isEmpty()) << name << " page " << page << ":\n" << found.join(u'\n').toStdString();
            }
        } else {
            const QStringList found = cramped(window);
            EXPECT_TRUE(found.isEmpty()) << name << ":\n" << found.join(u'\n').toStdString();
        }
    }
    // The journal opens within its screen, frame and title bar included.
    const QRect room = journal.screen()->availableGeometry();
    EXPECT_LE(journal.width() + 16, room.width());
    EXPECT_LE(journal.height() + 48, room.height());
}

bool refusePort(const QString&) {
    return false;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--scale=", 8) == 0) scale = std::atof(argv[i] + 8);
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    setPortOpenCheck(refusePort); // the windows' port lists find nothing of the machine's
    return RUN_ALL_TESTS();
}
