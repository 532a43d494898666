#include "compare/Comparison.h"

#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "compare/DeviceSide.h"
#include "config/ConfigFile.h"
#include "config/ConfigView.h"
#include "device/ExpanderFrames.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

namespace Compare {

Comparison::Comparison(Host host) : QObject(host.window), host_(std::move(host)) {
    host_.window->installEventFilter(this);
}

bool Comparison::eventFilter(QObject* watched, QEvent* event) {
    if (watched == host_.window && event->type() == QEvent::Hide && window_) window_->hide();
    return false;
}

std::optional<CollectedConfig> Comparison::collectWindow() const {
    try {
        return CollectConfig(host_.controls.config);
    } catch (const ConversionError& error) {
        showConversionError(error);
        return std::nullopt;
    }
}

bool Comparison::compareWithDevice() {
    const std::optional<DeviceSide> device = readDeviceSide(*host_.session, host_.controls);
    if (!device) return false;
    std::optional<CollectedConfig> shown = collectWindow();
    if (!shown) return true;
    // Programming writes user 0 with its fixed code, whatever the code cell holds, and of a
    // description the first 21 characters, which is all the control unit keeps.
    shown->users[0].code = kUserZeroCode;
    for (QString& text : shown->loopDescriptions)
        text = descriptionToWrite(text);
    comparedAddress_ = device->address;
    compared_ = device->config;
    unreadDescriptions_ = device->scope.unreadDescriptions;
    const QString number = QString::number(device->address);
    present({QStringLiteral("Сравнение с расширителем ") + number, QStringLiteral("В расширителе"),
             QStringLiteral("Конфигурация в окне совпадает с расширителем %1.").arg(number),
             scopeNote(device->scope), differences(*shown, compared_, device->scope), true});
    return true;
}

void Comparison::compareWithFile() {
    const std::optional<ChosenConfigFile> file = chooseConfigFile();
    if (!file) return;
    const std::optional<CollectedConfig> shown = collectWindow();
    if (!shown) return;
    Scope scope;
    scope.descriptions = hasDescriptionRow(host_.controls.config.loopGrid);
    QTabWidget* pages = host_.controls.pages;
    scope.partitions = pages->isTabVisible(pages->indexOf(host_.controls.globalPartitionsPage));
    comparedAddress_ = -1;
    compared_ = file->config;
    const QString name = QFileInfo(file->path).fileName();
    present({QStringLiteral("Сравнение с файлом ") + name, QStringLiteral("В файле"),
             QStringLiteral("Конфигурация в окне совпадает с файлом %1.").arg(name), scopeNote(scope),
             differences(*shown, compared_, scope), false});
}

void Comparison::writeAndCompareAgain() {
    if (comparedAddress_ < 0) return;
    // Programming writes to the expander last read in the main window; the list may have moved on
    // since this comparison.
    const QComboBox* expanders = host_.controls.expanders;
    const std::optional<int> chosen =
        expanders->currentIndex() < 0 ? std::nullopt : expanderAddressOf(expanders->currentText());
    if (chosen != comparedAddress_ || host_.record->address != comparedAddress_) {
        showPlainMessage(
            QStringLiteral("Сравнение было с расширителем %1, а выбран другой расширитель. Сравните ещё раз.")
                .arg(comparedAddress_));
        return;
    }
    host_.program();
    if (compareWithDevice()) return;
    // The rows from before the write no longer say anything about the expander.
    const QString number = QString::number(comparedAddress_);
    comparedAddress_ = -1;
    present({QStringLiteral("Сравнение с расширителем ") + number, QStringLiteral("В расширителе"),
             QStringLiteral("Сравнение после записи не удалось повторить: расширитель %1 не прочитан.").arg(number),
             QString(), {}, false});
}

void Comparison::saveCompared() {
    if (comparedAddress_ < 0) return;
    // A file holds every description; one the read did not deliver would be saved empty, and writing
    // the file back would erase the text the control unit still holds.
    if (unreadDescriptions_ != 0) {
        QStringList loops;
        for (int n = 1; n <= kLoopCount; ++n)
            if (unreadDescriptions_ & (1u << (n - 1))) loops << QString::number(n);
        showPlainMessage(QStringLiteral("Описания ШС %1 не прочитаны: файл стёр бы их при записи в расширитель. "
                                        "Сравните с прибором ещё раз.")
                             .arg(loops.join(QStringLiteral(", "))));
        return;
    }
    SaveConfigAs(compared_);
}

void Comparison::present(Result result) {
    if (!window_) {
        window_ = new ComparisonWindow(host_.window);
        connect(window_->writeButton(), &QPushButton::clicked, this, [this] { writeAndCompareAgain(); });
        connect(window_->saveButton(), &QPushButton::clicked, this, [this] { saveCompared(); });
    }
    window_->showResult(std::move(result));
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void attach(const Host& host) {
    auto* comparison = new Comparison(host);
    const QList<QAction*> fileItems = host.fileMenu->actions();
    const qsizetype after = fileItems.indexOf(host.fileItemBefore);
    QAction* withFile = new QAction(QStringLiteral("Сравнить с файлом…"), host.fileMenu);
    withFile->setObjectName(QStringLiteral("CompareWithFile"));
    host.fileMenu->insertAction(after >= 0 && after + 1 < fileItems.size() ? fileItems[after + 1] : nullptr,
                                withFile);
    QAction* withDevice = host.expanderMenu->addAction(QStringLiteral("Сравнить с прибором"));
    withDevice->setObjectName(QStringLiteral("CompareWithDevice"));
    QObject::connect(withFile, &QAction::triggered, comparison,
                     [comparison] { comparison->compareWithFile(); });
    QObject::connect(withDevice, &QAction::triggered, comparison,
                     [comparison] { comparison->compareWithDevice(); });
}

} // namespace Compare
