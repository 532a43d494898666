#pragma once
#include "compare/ConfigDiff.h"

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;

namespace Compare {

class DifferenceModel;

// What one comparison shows.
struct Result {
    QString title;       // "Сравнение с расширителем N", or with the file's name
    QString otherColumn; // "В расширителе" or "В файле"
    QString sameText;    // the line shown when nothing differs
    QString note;        // what was not compared (scopeNote)
    std::vector<Difference> rows;
    bool withDevice = false;                      // the device buttons apply
    QString ownColumn = QStringLiteral("В окне"); // the column of the side compared
};

// The comparison window: one row per difference, the line about what was not compared, and the
// buttons "Записать в расширитель" and "Сохранить как файл…" (shown for a comparison with the
// expander). Not modal; Ctrl+C copies the selected rows, or all of them, as tab-separated text.
class ComparisonWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ComparisonWindow(QWidget* parent);

    void showResult(Result result);
    const Result& result() const { return result_; }

    QTableView* table() const { return table_; }
    QLabel* summaryLine() const { return summary_; }
    QLabel* noteLine() const { return note_; }
    QPushButton* writeButton() const { return write_; }
    QPushButton* saveButton() const { return save_; }

    void copyRows();

  private:
    Result result_;
    DifferenceModel* model_;
    QTableView* table_;
    QLabel* summary_;
    QLabel* note_;
    QPushButton* write_;
    QPushButton* save_;
};

} // namespace Compare
