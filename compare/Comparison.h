#pragma once
#include "compare/ComparisonWindow.h"
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

class ExpanderSession;
class QAction;
class QMenu;

namespace Compare {

// What the main window lends the comparison: its menus, its controls, its record and its session,
// and the run of its button "Записать в расширитель".
struct Host {
    QWidget* window = nullptr;
    QMenu* fileMenu = nullptr;
    QAction* fileItemBefore = nullptr; // "Сравнить с файлом…" goes right after this item
    QMenu* expanderMenu = nullptr;     // "Сравнить с прибором" goes last
    MainControls controls;
    const ExpanderConfig* record = nullptr;
    ExpanderSession* session = nullptr;
    std::function<void()> program;
};

// "Расширитель" → "Сравнить с прибором" and "Файл" → "Сравнить с файлом…": the window's
// configuration beside the chosen expander's, read apart from the record, or beside a file's. The
// results go to the one comparison window.
class Comparison : public QObject {
    Q_OBJECT

  public:
    explicit Comparison(Host host);

    // False when the read did not deliver every item, after its message: nothing is compared then.
    bool compareWithDevice();
    void compareWithFile();
    // The comparison window's buttons: the main window's programming run and then the comparison
    // again; the compared expander saved as a configuration file.
    void writeAndCompareAgain();
    void saveCompared();

    // Empty until the first comparison.
    ComparisonWindow* window() const { return window_; }

  protected:
    // The comparison window goes when the main window hands over to the key programmer window: its
    // buttons act on the main window's port.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::optional<CollectedConfig> collectWindow() const;
    void present(Result result);

    Host host_;
    QPointer<ComparisonWindow> window_;
    int comparedAddress_ = -1; // the expander the window shows; -1 for a file
    CollectedConfig compared_;
    uint8_t unreadDescriptions_ = 0; // loops whose description the compared read did not deliver
};

// Adds the two menu items to the main window; the comparison lives as long as the window.
void attach(const Host& host);

} // namespace Compare
