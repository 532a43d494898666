#include "editors/HeadingRowStrip.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QWheelEvent>

HeadingRowStrip::HeadingRowStrip(QTableView* grid) : QWidget(grid), grid_(grid) {
    setObjectName(grid->objectName() + QStringLiteral("Headings"));
    setAttribute(Qt::WA_NoMousePropagation);
    setMouseTracking(true);
    grid->viewport()->installEventFilter(this);
    connect(grid->verticalScrollBar(), &QScrollBar::valueChanged, this, &HeadingRowStrip::follow);
    connect(grid->horizontalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, qOverload<>(&QWidget::update));
    connect(grid->verticalHeader(), &QHeaderView::sectionResized, this, &HeadingRowStrip::follow);
    connect(grid->model(), &QAbstractItemModel::dataChanged, this, qOverload<>(&QWidget::update));
    follow();
}

void HeadingRowStrip::follow() {
    if (!grid_) return;
    const QRect viewport = grid_->viewport()->geometry();
    setGeometry(viewport.left(), viewport.top(), viewport.width(),
                std::min(grid_->rowHeight(0), viewport.height()));
    setVisible(grid_->model()->rowCount() > 0 && grid_->verticalScrollBar()->value() > 0);
    raise();
    update();
}

void HeadingRowStrip::uncoverRow(int row) {
    if (!grid_ || row < 1) return;
    QScrollBar* bar = grid_->verticalScrollBar();
    while (bar->value() > 0 && grid_->rowViewportPosition(row) < grid_->rowHeight(0))
        bar->setValue(bar->value() - 1);
}

bool HeadingRowStrip::event(QEvent* event) {
    // Not passed on to the grid, which would show the hint of the last cell under the mouse.
    if (event->type() == QEvent::ToolTip) return true;
    return QWidget::event(event);
}

void HeadingRowStrip::paintEvent(QPaintEvent*) {
    if (!grid_) return;
    QPainter painter(this);
    // The strip lies at the viewport's top-left corner: viewport positions are strip positions.
    const QWidget* viewport = grid_->viewport();
    painter.fillRect(rect(), viewport->palette().brush(viewport->backgroundRole()));

    QStyleOptionViewItem option;
    option.initFrom(grid_);
    option.font = grid_->font();
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver); // never the current cell
    const int line = grid_->showGrid() ? 1 : 0;
    const int height = grid_->rowHeight(0);
    const QAbstractItemModel* model = grid_->model();
    QAbstractItemDelegate* delegate = grid_->itemDelegateForRow(0);
    if (!delegate) delegate = grid_->itemDelegate();

    int right = -1;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (grid_->isColumnHidden(column)) continue;
        const int x = grid_->columnViewportPosition(column);
        const int width = grid_->columnWidth(column);
        option.rect = QRect(x, 0, width - line, height - line);
        delegate->paint(&painter, option, model->index(0, column));
        right = std::max(right, x + width - 1);
    }
    if (!line) return;
    // The grid lines as the grid draws them: right of every cell and below the row.
    const int hint = grid_->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, grid_);
    painter.setPen(QPen(QColor::fromRgba(static_cast<QRgb>(hint)), 1, grid_->gridStyle()));
    for (int column = 0; column < model->columnCount(); ++column) {
        if (grid_->isColumnHidden(column)) continue;
        const int x = grid_->columnViewportPosition(column) + grid_->columnWidth(column) - 1;
        painter.drawLine(x, 0, x, height - 1);
    }
    painter.drawLine(0, height - 1, right, height - 1);
}

void HeadingRowStrip::wheelEvent(QWheelEvent* event) {
    if (grid_) QCoreApplication::sendEvent(grid_->viewport(), event);
}

bool HeadingRowStrip::eventFilter(QObject* watched, QEvent* event) {
    // Scroll bars that come and go change the viewport's size.
    if (grid_ && watched == grid_->viewport() && event->type() == QEvent::Resize) follow();
    return false;
}
