#include "base/Dialogs.h"

#include "base/WritableFolder.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "Description (*.ext)|*.ext" becomes the toolkit's "Description (*.ext)".
QString qtFilter(const QString& filter) {
    return filter.section(u'|', 0, 0);
}

class QtDialogs : public DialogService {
  public:
    void message(const QString& caption, const QString& text, MessageIcon icon) override {
        makeMessageBox(caption, text, icon)->exec();
    }
    bool question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) override {
        return makeQuestionBox(caption, text, icon, defaultYes)->exec() == QMessageBox::Yes;
    }
    QString openFileName(const QString& filter, const QString& initialFolder) override {
        return chosenFile(*makeFileDialog(filter, initialFolder, false));
    }
    QString saveFileName(const QString& filter, const QString& initialFolder) override {
        return chosenFile(*makeFileDialog(filter, initialFolder, true));
    }
    QString folderName(const QString& initialFolder, const QString& proposedName) override {
        // A folder dialog takes only a folder that exists: the proposed one is made before it shows,
        // so that Enter takes it as it stands, and removed again when it was not chosen and is
        // still empty.
        const QDir start(initialFolder);
        const bool made = !proposedName.isEmpty() && !start.exists(proposedName) && start.mkdir(proposedName);
        QFileDialog dialog(QApplication::activeWindow(), QString(), initialFolder);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.selectFile(made ? start.filePath(proposedName) : proposedName);
        const QString chosen = chosenFile(dialog);
        if (made && QFileInfo(chosen) != QFileInfo(start.filePath(proposedName))) start.rmdir(proposedName);
        return chosen;
    }

  private:
    static QString chosenFile(QFileDialog& dialog) {
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    }
};

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(const QString& caption, const QString& text, MessageIcon icon) {
    return std::make_unique<QMessageBox>(toQtIcon(icon), caption, text, QMessageBox::Ok,
                                         QApplication::activeWindow());
}

std::unique_ptr<QMessageBox> makeQuestionBox(const QString& caption, const QString& text, MessageIcon icon,
                                             bool defaultYes) {
    auto box = std::make_unique<QMessageBox>(
        toQtIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box->setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return box;
}

std::unique_ptr<QFileDialog> makeFileDialog(const QString& filter, const QString& initialFolder, bool save) {
    auto dialog = std::make_unique<QFileDialog>(QApplication::activeWindow(), QString(), initialFolder,
                                                qtFilter(filter));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    return dialog;
}

namespace {

QtDialogs& qtDialogs() {
    static QtDialogs service;
    return service;
}

DialogService* current = nullptr;

} // namespace

DialogService& dialogs() {
    return current ? *current : qtDialogs();
}

DialogService* installDialogs(DialogService* service) {
    DialogService* previous = current;
    current = service;
    return previous;
}

QString applicationTitle() {
    return QStringLiteral("Конфигуратор \"Ортекс\"");
}

void showPlainMessage(const QString& text) {
    dialogs().message(applicationTitle(), text, MessageIcon::None);
}

void showBareMessage(const QString& text) {
    dialogs().message(QString(), text, MessageIcon::None);
}

QString saveFileNameWithSuffix(const QString& filter, const QString& initialFolder,
                               const QStringList& suffixes) {
    for (;;) {
        const QString chosen = dialogs().saveFileName(filter, initialFolder);
        if (chosen.isEmpty()) return chosen;
        // A name chosen in full was asked about by the dialog itself.
        for (const QString& suffix : suffixes)
            if (chosen.endsWith(suffix, Qt::CaseInsensitive)) return chosen;
        const QString file = chosen + suffixes.value(0);
        if (!QFileInfo::exists(file)) return file;
        // The dialog's own question, in the toolkit's words and language.
        const QString question =
            QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
                .arg(QFileInfo(file).fileName());
        if (dialogs().question(QCoreApplication::translate("QFileDialog", "Save As"), question,
                               MessageIcon::Warning, false))
            return file;
    }
}

QString dialogStartFolder() {
    const QString own = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!own.isEmpty() && userMayWriteIn(own)) return own;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}
