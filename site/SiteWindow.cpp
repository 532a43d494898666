#include "site/SiteWindow.h"

#include "compare/ComparisonWindow.h"

#include <QDir>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Site {

SiteWindow::SiteWindow(QWidget* parent) : QWidget(parent, Qt::Window), table_(new QTableWidget(0, 2, this)) {
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
    // activated: a double-click, or Enter on the current row.
    connect(table_, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { openRow(index.row()); });
    resize(480, 320);
}

void SiteWindow::showRows(const QString& folder, std::vector<SiteRow> rows) {
    rows_ = std::move(rows);
    setWindowTitle(QStringLiteral("Сравнение с папкой ") + QDir::toNativeSeparators(folder));
    table_->setRowCount(int(rows_.size()));
    for (int r = 0; r < int(rows_.size()); ++r) {
        table_->setItem(r, 0,
                        new QTableWidgetItem(QStringLiteral("Расширитель %1").arg(rows_[size_t(r)].address)));
        table_->setItem(r, 1, new QTableWidgetItem(rows_[size_t(r)].status));
    }
    if (!rows_.empty()) table_->setCurrentCell(0, 0);
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
