#include "link/PortList.h"

#include "link/Link.h"
#include "link/PortNames.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {

void setItemEnabled(QComboBox* list, int index, bool enabled) {
    if (auto* model = qobject_cast<QStandardItemModel*>(list->model())) {
        if (QStandardItem* item = model->item(index)) item->setEnabled(enabled);
    }
}

bool itemEnabled(const QComboBox* list, int index) {
    return list->model()->flags(list->model()->index(index, list->modelColumn())) & Qt::ItemIsEnabled;
}

} // namespace

PortItemLook portItemLook(const ScannedPort& port) {
    const QString device = devicePathOf(port.name);
    switch (port.access) {
    case PortAccess::NoPermission:
        return {false, QStringLiteral("Нет доступа к %1: добавьте пользователя в группу dialout и войдите в "
                                      "систему заново")
                           .arg(device)};
    case PortAccess::Busy:
        return {false, QStringLiteral("%1 занят другой программой").arg(device)};
    case PortAccess::Unavailable:
        return {false, QStringLiteral("Не удалось открыть %1: %2").arg(device, port.reason)};
    case PortAccess::HeldWhenChosen: // only choosing it tries it again
        return {true, QStringLiteral("%1 был занят другой программой: выберите его снова, когда она его "
                                     "отпустит")
                          .arg(device)};
    case PortAccess::Usable:
    case PortAccess::Missing:
        break;
    }
    if (port.description.isEmpty()) return {true, device};
    return {true, device + QStringLiteral(" — ") + port.description};
}

void fillPortList(QComboBox* list) {
    {
        const QSignalBlocker quiet(list);
        list->clear();
    }
    refreshPortList(list);
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(-1);
}

void refreshPortList(QComboBox* list) {
    const QString held = Link::heldPortName();
    const QList<ScannedPort> ports = scanPortAccess(held);
    const QString chosen = list->currentIndex() >= 0 ? list->currentText() : QString();

    // Item changes move the current index; the handlers run only on the user's choice (activated),
    // and with the signals held back nothing else hears of it either.
    const QSignalBlocker quiet(list);
    QStringList names;
    for (const ScannedPort& port : ports)
        names.append(port.name);
    for (int i = list->count() - 1; i >= 0; --i) {
        if (!names.contains(list->itemText(i))) list->removeItem(i);
    }
    for (int i = 0; i < ports.size(); ++i) {
        if (i >= list->count() || list->itemText(i) != ports[i].name) list->insertItem(i, ports[i].name);
        const PortItemLook look = portItemLook(ports[i]);
        list->setItemData(i, look.hint, Qt::ToolTipRole);
        setItemEnabled(list, i, look.enabled);
    }
    list->setCurrentIndex(chosen.isEmpty() ? -1 : list->findText(chosen));
}

void copyPortList(const QComboBox* from, QComboBox* to) {
    if (from == to) return;
    const QSignalBlocker quiet(to);
    to->clear();
    for (int i = 0; i < from->count(); ++i) {
        to->addItem(from->itemText(i));
        to->setItemData(i, from->itemData(i, Qt::ToolTipRole), Qt::ToolTipRole);
        setItemEnabled(to, i, itemEnabled(from, i));
    }
}

void PortComboBox::showPopup() {
    refreshPortList(this);
    view()->viewport()->installEventFilter(this); // ahead of the list's own filter
    QComboBox::showPopup();
}

bool PortComboBox::eventFilter(QObject* watched, QEvent* event) {
    // The toolkit's list takes a release anywhere in it for its current item, and a greyed item
    // never becomes current: a click on one would choose the port the mouse passed over last.
    if (event->type() == QEvent::MouseButtonRelease && watched == view()->viewport()) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!(view()->indexAt(at).flags() & Qt::ItemIsEnabled)) return true;
    }
    return QComboBox::eventFilter(watched, event);
}
