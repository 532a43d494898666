// The program's serial path end to end, built for Windows and for Linux alike, against the simulated
// control unit on COM1 and key-programming device on COM2 (SimulatedDevices.cpp): the port list, the
// read of expander 1 that choosing COM1 starts and a key written on COM2, through the program's own
// windows.
//
//   serial_e2e_driver VIEW-FILE [--port-folder FOLDER] [--refused COMn] [--listed-unopened yes]
//
// VIEW-FILE receives what the windows show afterwards (UTF-8), for comparing the systems' runs.
// FOLDER holds the devices' links on Linux. --refused names a port whose open the system answers with
// "access denied", as Windows answers for a port that another program holds, where the list tries no
// port: choosing it must try it once, and the list show it as held without trying it again.
// --listed-unopened: filling the windows' port lists must open no port (Windows lists the system's
// ports). Exit status 0 when every step worked.
#include "DialogRecorder.h"
#include "GridInput.h"

#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "base/GridCells.h"
#include "keys/TMprogrammer.h"
#include "link/Link.h"
#include "link/PortList.h"
#include "link/PortNames.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cstdio>

namespace {

// A port list's item: its name, "+" or "-" for whether it can be chosen, and its hint.
QString item(const QComboBox* box, int i) {
    const bool enabled = box->model()->flags(box->model()->index(i, 0)) & Qt::ItemIsEnabled;
    return box->itemText(i) + (enabled ? " + " : " - ") + box->itemData(i, Qt::ToolTipRole).toString();
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

void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index); // what a user's pick delivers
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString refused;
    bool listedUnopened = false;
    for (int i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == "--port-folder")
            setPortFolder(args[i + 1]);
        else if (args[i] == "--refused")
            refused = args[i + 1];
        else if (args[i] == "--listed-unopened")
            listedUnopened = args[i + 1] == "yes";
        else
            args.clear();
    }
    if (args.size() < 2 || args.size() % 2) {
        std::fputs("usage: serial_e2e_driver VIEW-FILE [--port-folder FOLDER] [--refused COMn] "
                   "[--listed-unopened yes]\n",
                   stderr);
        return 2;
    }
    static int opens = 0; // every open of a port, by a scan or for use, asks this check first
    setPortOpenCheck([](const QString&) { return ++opens > 0; });
    DialogRecorder dialogs;
    QElapsedTimer made;
    made.start();
    ProgramWindows windows;
    const qint64 windowsMs = made.elapsed();
    TForm1* main = windows.main.get();
    TTMwriteForm* keys = windows.keys.get();
    main->show();
    QStringList view;
    const auto failed = [&](const QString& step) {
        std::fprintf(stderr, "serial_e2e_driver: %s; messages: %s\n", step.toUtf8().constData(),
                     dialogs.texts().join(" | ").toUtf8().constData());
        return 1;
    };

    // Both ports as the system names them; the refused one greyed out as held by another program.
    QComboBox* ports = main->ComboBox1;
    made.restart();
    refreshPortList(ports); // what each drop-down does
    std::printf("both windows made in %lld ms; the port list brought up to date in %lld ms\n",
                static_cast<long long>(windowsMs), static_cast<long long>(made.elapsed()));
    if (ports->count() < 2 || !item(ports, 0).startsWith("COM1 + ") || !item(ports, 1).startsWith("COM2 + "))
        return failed("the port list does not begin with COM1 and COM2 to choose: " + item(ports, 0));
    view << "COM1 +"
         << "COM2 +";
    // The access code, typed before any port is chosen: an access step with none takes the default.
    QTest::keyClicks(main->Edit1, "12345678");
    if (listedUnopened && opens != 0) return failed(QString::number(opens) + " ports were opened to list them");
    if (!refused.isEmpty()) {
        // Not tried by the list: choosing it tries it once and finds it held (the access step that
        // follows finds no answer). The list says so from then on without trying it at a drop-down,
        // and it can be chosen again.
        const int at = ports->findText(refused);
        if (at < 0) return failed(refused + " is not listed");
        const int before = opens;
        choose(ports, at);
        if (dialogs.texts() != QStringList{"Not open " + refused, "Нет ответа"})
            return failed("choosing " + refused);
        dialogs.clear();
        refreshPortList(ports);
        if (opens - before != 1)
            return failed(QString::number(opens - before) + " opens for one choice of " + refused +
                          " and a drop-down");
        const QString held = refused + " + " + portItemLook({refused, PortAccess::HeldWhenChosen}).hint;
        if (item(ports, at) != held)
            return failed(refused + " is not listed as held by another program: " + item(ports, at));
    }

    // COM1: the access step, the expander list and the read of expander 1, with a description that
    // the control unit keeps as its own text in code page 1251.
    choose(ports, 0);
    if (main->ComboBox2->count() != 3 || cellText(main->StringGrid1, 2, 20) != "Гостиная окна")
        return failed("expander 1 was not read: " + cellText(main->StringGrid1, 2, 20));
    view << grid(main->StringGrid1) << grid(main->StringGrid2) << grid(main->StringGrid3);
    for (const QCheckBox* box : main->findChildren<QCheckBox*>())
        view << box->objectName() + (box->isChecked() ? " +" : " -");

    // COM2: the key-programming device answers the access step and the key window takes over; key 2
    // of user 3 of expander 2 is written.
    choose(ports, 1);
    if (!input::waitFor([&] { return keys->isVisible() && cellText(keys->StringGrid1, 1, 1) == "Есть"; },
                        10000))
        return failed("the key window did not read its table on COM2");
    input::clickCell(keys->StringGrid1, 5, 3);
    QTest::mouseClick(keys->Button3, Qt::LeftButton);
    if (!input::waitFor([&] { return cellText(keys->StringGrid1, 5, 3) == "Есть"; }, 10000))
        return failed("the key was not written: " + keys->Label6->text());
    view << grid(keys->StringGrid1);
    Link::ClosePort();

    if (!dialogs.entries.empty()) return failed("messages were shown");
    QFile out(args[1]);
    if (!out.open(QIODevice::WriteOnly) || out.write((view.join(u'\n') + u'\n').toUtf8()) < 0)
        return failed("cannot write " + args[1]);
    return 0;
}
