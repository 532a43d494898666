#include "link/PortList.h"

#include "link/PortNames.h"

#include <QComboBox>

void fillPortList(QComboBox* list) {
    list->clear();
    for (const QString& name : scanPorts()) {
        list->addItem(name);
        list->setItemData(list->count() - 1, devicePathOf(name), Qt::ToolTipRole);
    }
    list->setCurrentIndex(-1);
}
