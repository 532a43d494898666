#pragma once
#include <QComboBox>
#include <QString>

struct ScannedPort;

// Fills a window's port list with the ports the scan finds and leaves nothing chosen.
void fillPortList(QComboBox* list);
// Brings a window's port list up to date: ports that appeared are added in number order, ports that
// vanished are removed, the chosen port stays chosen. The port this program holds open counts as
// present and is not tried again. Opens no port for use, chooses nothing and runs no handler.
void refreshPortList(QComboBox* list);
// Gives `to` the items of `from`, so that an item index means the same port in both lists.
void copyPortList(const QComboBox* from, QComboBox* to);

// How a scanned port is listed: a port that opens can be chosen and shows its device as its hint,
// with what the system calls it where it says;
// a port that the user may not open, that another program holds, or that does not open for another
// reason is greyed out and its hint says why. A port that another program held when the user chose
// it (Windows, where the list opens no port) can be chosen again, and its hint says so.
struct PortItemLook {
    bool enabled;
    QString hint;
};
PortItemLook portItemLook(const ScannedPort& port);

// A port list that brings itself up to date each time it drops down. A click in the dropped-down
// list that is not on a port that can be chosen chooses nothing.
class PortComboBox : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
    void showPopup() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
