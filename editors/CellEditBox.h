#pragma once
#include "editors/GridActions.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

#include <QLineEdit>
#include <QTableWidget>

// A one-line edit box laid over a grid cell to type a value in clear. It is committed by Enter or
// by losing the focus (not to a pop-up menu of its own, nor when the whole window is deactivated);
// the value always goes to the cell for which the box was opened.
class CellEditBox : public QObject {
    Q_OBJECT
  public:
    struct Behaviour {
        bool selectAllOnFocus = false; // typing replaces the text shown
        bool escapeCancels = false;    // Escape closes the box and keeps the cell's text
        QPoint offset;                 // the box's top-left corner from the cell's top-left corner
    };

    CellEditBox(QTableWidget* grid, QLineEdit* box, QWidget* window, Behaviour behaviour);
    ~CellEditBox() override;

    // Shows the box over the cell with the cell's text; it gets the focus when the window is visible.
    void open(int column, int row);
    bool isOpen() const { return cell_.valid(); }
    GridCell cell() const { return cell_; }
    // Hides the box and hands its text to onCommit. The grid gets the focus back when the box had it.
    void commit();
    // Hides the box without committing; the grid gets the focus back.
    void cancel();

    // Puts the committed text into the cell (the rule is the grid's).
    std::function<void(const GridCell& cell, const QString& text)> onCommit;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void close();

    QPointer<QTableWidget> grid_;
    QPointer<QLineEdit> box_;
    QPointer<QWidget> window_;
    Behaviour behaviour_;
    GridCell cell_;
};
