#include "editors/GridCellDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>

namespace {

// Black, as on every light palette. Only a button face too dark for black text (a dark palette)
// takes the palette's own button text colour, so that captions stay readable.
QColor textColour(const QPalette& palette, bool onButtonFace) {
    if (onButtonFace && qGray(palette.color(QPalette::Button).rgb()) < 128)
        return palette.color(QPalette::ButtonText);
    return QColor(Qt::black);
}

} // namespace

GridCellDelegate::GridCellDelegate(Look look, QObject* parent) : QStyledItemDelegate(parent), look_(look) {}

QString GridCellDelegate::shownText(const QModelIndex& index) const {
    QString text = index.data(Qt::DisplayRole).toString();
    if (index.row() == look_.maskedRow && index.column() > 0) return QString(text.size(), u'*');
    // One line: line breaks loaded from a file are drawn as blanks.
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const bool fixedCell = index.row() == 0 || index.column() == 0;
    const QColor fill = fixedCell ? option.palette.color(QPalette::Button) : QColor(Qt::white);
    painter->save();
    painter->fillRect(option.rect, fill);

    const QFontMetrics metrics(option.font);
    const QString text = metrics.elidedText(shownText(index), Qt::ElideRight, option.rect.width());
    const bool leftAligned = look_.captionsLeftAligned && index.column() == 0;
    const Qt::Alignment alignment = Qt::AlignVCenter | (leftAligned ? Qt::AlignLeft : Qt::AlignHCenter);
    painter->setFont(option.font);
    painter->setPen(textColour(option.palette, fixedCell));
    painter->drawText(option.rect, int(alignment) | Qt::TextSingleLine, text);

    if (option.state & QStyle::State_HasFocus) {
        // A dotted frame in the text colour marks the current cell of a focused grid; the fill and
        // the text keep their colours.
        painter->setPen(QPen(QColor(Qt::black), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
    }
    painter->restore();
}

QWidget* GridCellDelegate::createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const {
    return nullptr;
}

bool GridCellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (onHintRequest) onHintRequest(event->pos(), event->globalPos());
    return true;
}
