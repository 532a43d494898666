#include "site/SiteWindow.h"

#include "compare/ComparisonWindow.h"
#include "site/Restore.h"

#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Site {

SiteWindow::SiteWindow(const Host& host)
    : QWidget(host.controls.window, Qt::Window), host_(host), table_(new QTableWidget(0, 2, this)),
      write_(new QPushButton(QStringLiteral("Записать в расширители…"), this)) {
    setObjectName(QStringLiteral("SiteWindow"));
    setAttribute(Qt::WA_QuitOnClose, false);
    table_->setObjectName(QStringLiteral("SiteTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Расширитель"), QStringLiteral("Сравнение с файлом")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(0, fontMetrics().horizontalAdvance(QStringLiteral("Расширитель 63")) + 24);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(write_, 0, Qt::AlignLeft);
    write_->setObjectName(QStringLiteral("SiteWrite"));
    connect(write_, &QPushButton::clicked, this, [this] { writeChosen(); });
    // activated: a double-click, or Enter on the current row.
    connect(table_, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { openRow(index.row()); });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 0) tellCheckState(item->row());
    });
    resize(480, 320);
    host_.controls.window->installEventFilter(this);
}

bool SiteWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == host_.controls.window && event->type() == QEvent::Hide) hide();
    return false;
}

void SiteWindow::showRows(const QString& folder, std::vector<SiteRow> rows) {
    present(QStringLiteral("Сравнение с папкой ") + QDir::toNativeSeparators(folder),
         QStringLiteral("Сравнение с файлом"), std::move(rows), true);
}

void SiteWindow::showFolders(const QString& title, std::vector<SiteRow> rows) {
    present(title, QStringLiteral("Сравнение"), std::move(rows), false);
}

void SiteWindow::present(const QString& title, const QString& column, std::vector<SiteRow> rows, bool writes) {
    rows_ = std::move(rows);
    if (!writes)
        for (SiteRow& row : rows_)
            row.writable = false;
    setWindowTitle(title);
    table_->setHorizontalHeaderItem(1, new QTableWidgetItem(column));
    write_->setVisible(writes);
    table_->setRowCount(0);
    table_->setRowCount(int(rows_.size()));
    for (int r = 0; r < int(rows_.size()); ++r) {
        auto* name = new QTableWidgetItem(QStringLiteral("Расширитель %1").arg(rows_[size_t(r)].address));
        // An item is checkable unless told otherwise.
        if (rows_[size_t(r)].writable)
            name->setCheckState(Qt::Unchecked);
        else
            name->setFlags(name->flags() & ~Qt::ItemIsUserCheckable);
        table_->setItem(r, 0, name);
        tellCheckState(r);
    }
    fillRows();
    if (!rows_.empty()) table_->setCurrentCell(0, 0);
    QWidget::show();
    raise();
    activateWindow();
}

// The toolkit tells a screen reader whether a cell is checked but not, in every version, that it
// has a check box at all: the cell's description says so.
void SiteWindow::tellCheckState(int row) {
    QTableWidgetItem* item = table_->item(row, 0);
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable)) return;
    const QSignalBlocker quiet(table_);
    item->setData(Qt::AccessibleDescriptionRole, item->checkState() == Qt::Checked
                                                     ? QStringLiteral("флажок, отмечен")
                                                     : QStringLiteral("флажок, не отмечен"));
}

void SiteWindow::fillRows() {
    for (int r = 0; r < int(rows_.size()); ++r)
        table_->setItem(r, 1, new QTableWidgetItem(rows_[size_t(r)].status));
}

void SiteWindow::writeChosen() {
    std::vector<size_t> chosen;
    for (int r = 0; r < int(rows_.size()); ++r)
        if (rows_[size_t(r)].writable && table_->item(r, 0)->checkState() == Qt::Checked)
            chosen.push_back(size_t(r));
    restoreExpanders(host_, rows_, chosen);
    fillRows();
    // Its rows may be from before the write.
    if (details_) details_->hide();
}

void SiteWindow::openRow(int row) {
    if (row < 0 || size_t(row) >= rows_.size() || !rows_[size_t(row)].comparison) return;
    if (!details_) details_ = new Compare::ComparisonWindow(this);
    details_->showResult(*rows_[size_t(row)].comparison);
    details_->show();
    details_->raise();
    details_->activateWindow();
}

} // namespace Site
