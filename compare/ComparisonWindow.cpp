#include "compare/ComparisonWindow.h"

#include "config/LoopLayout.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <set>

namespace Compare {

// The rows of the last comparison, read where they are kept.
class DifferenceModel : public QAbstractTableModel {
  public:
    DifferenceModel(const Result& result, QObject* parent) : QAbstractTableModel(parent), result_(result) {}

    void beginChange() { beginResetModel(); }
    void endChange() { endResetModel(); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(result_.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || size_t(index.row()) >= result_.rows.size()) return {};
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        const Difference& row = result_.rows[size_t(index.row())];
        switch (index.column()) {
        case 0:
            return row.page;
        case 1:
            return row.item;
        case 2:
            return row.window;
        default:
            return row.other;
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
        case 0:
            return QStringLiteral("Страница");
        case 1:
            return QStringLiteral("Параметр");
        case 2:
            return result_.ownColumn;
        default:
            return result_.otherColumn;
        }
    }

  private:
    const Result& result_;
};

namespace {

// Widths from a sample of each column's texts: the view never measures its rows.
int sampleWidth(const QWidget* widget, const char* sample) {
    return widget->fontMetrics().horizontalAdvance(QString::fromUtf8(sample)) + 16;
}

} // namespace

ComparisonWindow::ComparisonWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ComparisonWindow"));
    setAttribute(Qt::WA_QuitOnClose, false);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("ComparisonSummary"));
    model_ = new DifferenceModel(result_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("ComparisonTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* columns = table_->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    table_->setColumnWidth(0, sampleWidth(this, "Глобальные разделы"));
    // The longest caption the window names an item by.
    table_->setColumnWidth(1, fontMetrics().horizontalAdvance(generalPropertyCaption(5)) + 16);
    table_->setColumnWidth(2, sampleWidth(this, "Тепловой пожарный"));
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("ComparisonNote"));
    note_->setWordWrap(true);
    write_ = new QPushButton(QStringLiteral("Записать в расширитель"), this);
    write_->setObjectName(QStringLiteral("ComparisonWrite"));
    save_ = new QPushButton(QStringLiteral("Сохранить как файл…"), this);
    save_->setObjectName(QStringLiteral("ComparisonSave"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(write_);
    buttons->addWidget(save_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addWidget(note_);
    layout->addLayout(buttons);

    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WindowShortcut);
    connect(copy, &QAction::triggered, this, [this] { copyRows(); });
    addAction(copy);

    resize(table_->columnWidth(0) + table_->columnWidth(1) + 2 * table_->columnWidth(2) + 60, 440);
}

void ComparisonWindow::showResult(Result result) {
    model_->beginChange();
    result_ = std::move(result);
    model_->endChange();
    setWindowTitle(result_.title);
    summary_->setText(result_.rows.empty() ? result_.sameText
                                           : QStringLiteral("Различий: %1").arg(result_.rows.size()));
    note_->setText(result_.note);
    note_->setVisible(!result_.note.isEmpty());
    write_->setVisible(result_.withDevice);
    save_->setVisible(result_.withDevice);
}

void ComparisonWindow::copyRows() {
    std::set<size_t> chosen;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        chosen.insert(size_t(index.row()));
    std::vector<Difference> rows;
    if (chosen.empty())
        rows = result_.rows;
    else
        for (size_t row : chosen)
            rows.push_back(result_.rows[row]);
    QApplication::clipboard()->setText(rowsText(rows));
}

} // namespace Compare
