#pragma once
#include <QPointer>
#include <QWidget>

class QTableView;

// Keeps row 0 of a grid, its fixed heading row, in view. While the grid is scrolled down, a strip
// over the top of its viewport draws row 0 the way the grid draws it (the grid's delegate, its grid
// lines); scrolled to the top, the grid shows row 0 itself. The strip takes the mouse over it, so the
// row it covers cannot be clicked; the wheel still scrolls the grid. The header row has no hint.
class HeadingRowStrip : public QWidget {
    Q_OBJECT
  public:
    explicit HeadingRowStrip(QTableView* grid);

    // Scrolls the grid up as far as needed for the row not to lie under the strip.
    void uncoverRow(int row);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void follow();

    QPointer<QTableView> grid_;
};
