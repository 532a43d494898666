#include "DialogRecorder.h"
#include "app/MainForm.h"
#include "editors/LoopEditor.h"
#include "editors/PartitionsEditor.h"
#include "editors/UsersEditor.h"
#include "link/PortNames.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Writes each page of the main window to <build>/screens/main-<page>.png, so that the window can be
// looked at without a display.
TEST(MainWindowPictures, EachPageIsDrawnToAFile) {
    DialogRecorder dialogs;
    TForm1 form;
    form.Timer1->stop();
    // The grids as the program shows them: with their editors' painting.
    LoopEditor loops(form.StringGrid1, form.ComboBox4, form.config, form.controls().config, &form);
    PartitionsEditor partitions(form.StringGrid2, form.Edit2, &form);
    UsersEditor users(form.StringGrid3, form.Edit3, form.config, &form);
    form.show();
    QCoreApplication::processEvents();

    // The test program sits in <build>/tests.
    QDir screens(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    ASSERT_TRUE(screens.mkpath(QStringLiteral("screens")));
    ASSERT_TRUE(screens.cd(QStringLiteral("screens")));

    const char* pages[] = {"general", "loops", "partitions", "users"};
    for (int i = 0; i < 4; ++i) {
        form.PageControl1->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QImage picture = form.grab().toImage();
        EXPECT_EQ(picture.size(), form.size());
        const QString file = screens.filePath(QStringLiteral("main-%1.png").arg(QLatin1String(pages[i])));
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
}

} // namespace
