#pragma once
#include <QStyledItemDelegate>

#include <functional>

// Paints the cells of one grid: data cells white, the header row and the caption column in the
// button-face colour, black text (on a button face too dark for it, the palette's button text) on
// one line, vertically centred and cut with an ellipsis. Text is
// centred horizontally, except in a left-aligned caption column. The cells of a code row show one
// "*" per character. Selection and focus leave the colours alone; the current cell of a focused
// grid gets a dotted frame in the text colour so that a keyboard user sees where he is. Every other
// colour (grid lines, edit boxes, lists) comes from the palette.
//
// The grid never edits in place unless a subclass creates an editor.
class GridCellDelegate : public QStyledItemDelegate {
  public:
    struct Look {
        bool captionsLeftAligned = false; // column 0 left-aligned without a margin
        int maskedRow = -1;               // code row: columns 1.. drawn as asterisks
    };

    GridCellDelegate(Look look, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

    // The text a cell shows: the code row masked.
    QString shownText(const QModelIndex& index) const;

    // The grid shows its hints on mouse moves; the view's own tool-tip request (the mouse resting on
    // a cell) asks this for the hint to keep on screen instead of hiding it.
    std::function<void(const QPoint& viewportPos, const QPoint& globalPos)> onHintRequest;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  private:
    Look look_;
};
