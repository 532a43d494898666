// The program's serial path end to end, built for Windows and for Linux alike, against the simulated
// control unit on COM1 and key-programming device on COM2 (tests/windows/SimulatedDevices.cpp): the
// port list, the read of expander 1 that choosing COM1 starts and a key written on COM2, all through
// the program's own windows.
//
//   serial_e2e_driver VIEW-FILE [--port-folder FOLDER] [--refused COMn]
//
// VIEW-FILE receives what the windows show afterwards (UTF-8), for comparing the two systems' runs.
// FOLDER holds the devices' links on Linux. --refused names a port whose open the system answers with
// "access denied", which is what Windows answers for a port that another program holds: it must be
// listed greyed out as held. Exit status 0 when every step worked.
#include "DialogRecorder.h"
#include "GridInput.h"

#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "base/GridCells.h"
#include "keys/TMprogrammer.h"
#include "link/Link.h"
#include "link/PortNames.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cstdio>

namespace {

constexpr int kStepMs = 10000;

int failed(const QString& step, const DialogRecorder& dialogs) {
    std::fprintf(stderr, "serial_e2e_driver: %s; messages: %s\n", step.toUtf8().constData(),
                 dialogs.texts().join(QStringLiteral(" | ")).toUtf8().constData());
    return 1;
}

void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index); // what a user's pick delivers
}

// The items of a port list with their state and hints, the first `count` of them.
QString listed(const QComboBox* box, int count = -1) {
    QStringList items;
    for (int i = 0; i < (count < 0 ? box->count() : count); ++i) {
        const bool enabled = box->model()->flags(box->model()->index(i, 0)) & Qt::ItemIsEnabled;
        items << QStringLiteral("%1 %2 %3")
                     .arg(box->itemText(i), enabled ? QStringLiteral("+") : QStringLiteral("-"),
                          box->itemData(i, Qt::ToolTipRole).toString());
    }
    return items.join(u'\n');
}

QString grid(const QTableWidget* table) {
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << cellText(table, c, r);
        rows << cells.join(u'\t');
    }
    return rows.join(u'\n');
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString refused;
    for (int i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == QStringLiteral("--port-folder"))
            setPortFolder(args[i + 1]);
        else if (args[i] == QStringLiteral("--refused"))
            refused = args[i + 1];
        else
            args.clear();
    }
    if (args.size() < 2 || args.size() % 2) {
        std::fputs("usage: serial_e2e_driver VIEW-FILE [--port-folder FOLDER] [--refused COMn]\n", stderr);
        return 2;
    }
    DialogRecorder dialogs;
    ProgramWindows windows;
    TForm1* main = windows.main.get();
    TTMwriteForm* keys = windows.keys.get();
    main->show();
    QStringList view;

    // Both ports listed as the system names them; a port the system refuses as held is greyed out.
    if (main->ComboBox1->count() < 2 || main->ComboBox1->itemText(0) != QStringLiteral("COM1") ||
        main->ComboBox1->itemText(1) != QStringLiteral("COM2"))
        return failed(QStringLiteral("the port list is not COM1, COM2: ") + listed(main->ComboBox1), dialogs);
    view << listed(main->ComboBox1, 2)
                .replace(devicePathOf(QStringLiteral("COM1")), QStringLiteral("COM1"))
                .replace(devicePathOf(QStringLiteral("COM2")), QStringLiteral("COM2"));
    if (!refused.isEmpty()) {
        const int item = main->ComboBox1->findText(refused);
        const bool greyed =
            item >= 0 &&
            !(main->ComboBox1->model()->flags(main->ComboBox1->model()->index(item, 0)) & Qt::ItemIsEnabled);
        if (!greyed || main->ComboBox1->itemData(item, Qt::ToolTipRole).toString() !=
                           devicePathOf(refused) + QStringLiteral(" занят другой программой"))
            return failed(refused + QStringLiteral(" is not listed as held: ") + listed(main->ComboBox1),
                          dialogs);
    }

    // COM1: the access step, the expander list and the read of expander 1.
    QTest::keyClicks(main->Edit1, QStringLiteral("12345678"));
    choose(main->ComboBox1, 0);
    if (main->ComboBox2->count() != 3) return failed(QStringLiteral("no expander list on COM1"), dialogs);
    // A description the control unit keeps as its own text, in code page 1251.
    if (cellText(main->StringGrid1, 2, 20) != QStringLiteral("Гостиная окна"))
        return failed(QStringLiteral("expander 1 not read: ") + cellText(main->StringGrid1, 2, 20), dialogs);
    view << grid(main->StringGrid1) << grid(main->StringGrid2) << grid(main->StringGrid3);
    for (const QCheckBox* box : main->findChildren<QCheckBox*>())
        view << box->objectName() + (box->isChecked() ? QStringLiteral(" +") : QStringLiteral(" -"));

    // COM2: the key-programming device answers the access step and the key window takes over; key 2
    // of user 3 of expander 2 is written.
    choose(main->ComboBox1, 1);
    if (!input::waitFor([&] { return keys->isVisible() && cellText(keys->StringGrid1, 1, 1) == "Есть"; },
                        kStepMs))
        return failed(QStringLiteral("the key window did not read its table on COM2"), dialogs);
    input::clickCell(keys->StringGrid1, 5, 3);
    QTest::mouseClick(keys->Button3, Qt::LeftButton);
    if (!input::waitFor([&] { return keys->Label6->text() == TTMwriteForm::kKeyWrittenText; }, kStepMs))
        return failed(QStringLiteral("the key was not written: ") + keys->Label6->text(), dialogs);
    if (!input::waitFor([&] { return cellText(keys->StringGrid1, 5, 3) == "Есть"; }, kStepMs))
        return failed(QStringLiteral("the written key is not in the table"), dialogs);
    view << grid(keys->StringGrid1);
    Link::ClosePort();

    if (!dialogs.entries.empty()) return failed(QStringLiteral("messages were shown"), dialogs);
    QFile out(args[1]);
    if (!out.open(QIODevice::WriteOnly) || out.write((view.join(u'\n') + u'\n').toUtf8()) < 0)
        return failed(QStringLiteral("cannot write ") + args[1], dialogs);
    return 0;
}
