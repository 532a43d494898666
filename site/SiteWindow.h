#pragma once
#include "site/FolderComparison.h"

#include <QPointer>
#include <QWidget>
#include <vector>

class QTableWidget;

namespace Compare {
class ComparisonWindow;
}

namespace Site {

// The site beside a folder: one row per address with what the comparison found; a double-click or
// Enter on a compared row opens its differences in a comparison window. Not modal.
class SiteWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SiteWindow(QWidget* parent);

    void showRows(const QString& folder, std::vector<SiteRow> rows);
    // The differences of the row's expander; nothing for a row that was not compared.
    void openRow(int row);

    QTableWidget* table() const { return table_; }
    Compare::ComparisonWindow* details() const { return details_; }

  private:
    std::vector<SiteRow> rows_;
    QTableWidget* table_;
    QPointer<Compare::ComparisonWindow> details_;
};

} // namespace Site
