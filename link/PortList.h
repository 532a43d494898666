#pragma once

class QComboBox;

// Fills a window's port list with the ports the scan finds, each with its device path as the item's
// hint, and leaves nothing chosen.
void fillPortList(QComboBox* list);
