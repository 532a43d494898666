#pragma once
#include "site/FolderComparison.h"

#include <QPointer>
#include <QWidget>
#include <vector>

class QPushButton;
class QTableWidget;

namespace Compare {
class ComparisonWindow;
}

namespace Site {

// The site beside a folder, or two folders of a site side by side: one row per address with what the
// comparison found; a double-click or Enter on a compared row opens its differences in a comparison
// window. Beside a folder, an expander the control unit lists, with a file that reads, has a check
// box (none checked at first; a screen reader is told so); "Записать в расширители…" writes the
// checked ones from their files. Not modal.
class SiteWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SiteWindow(const Host& host);

    // The rows of a comparison with a folder: writes offered.
    void showRows(const QString& folder, std::vector<SiteRow> rows);
    // The rows of two folders compared: nothing to write.
    void showFolders(const QString& title, std::vector<SiteRow> rows);
    // The differences of the row's expander; nothing for a row that was not compared.
    void openRow(int row);

    void writeChosen();

    QTableWidget* table() const { return table_; }
    QPushButton* writeButton() const { return write_; }
    Compare::ComparisonWindow* details() const { return details_; }

  protected:
    // The window goes when the main window hands over to the key programmer window: its writes act
    // on the main window's port.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void present(const QString& title, const QString& column, std::vector<SiteRow> rows, bool writes);
    void fillRows();
    void tellCheckState(int row);

    Host host_;
    std::vector<SiteRow> rows_;
    QTableWidget* table_;
    QPushButton* write_;
    QPointer<Compare::ComparisonWindow> details_;
};

} // namespace Site
