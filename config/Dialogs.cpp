#include "config/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// "Description (*.ext)|*.ext" becomes the toolkit's "Description (*.ext)".
QString qtFilter(const QString& filter) { return filter.section(u'|', 0, 0); }

class QtDialogs : public DialogService {
public:
    void message(const QString& caption, const QString& text, MessageIcon icon) override {
        QMessageBox box(toQtIcon(icon), caption, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
    bool question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) override {
        QMessageBox box(toQtIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No,
                        QApplication::activeWindow());
        box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    QString openFileName(const QString& filter, const QString& initialFolder) override {
        QFileDialog dialog(QApplication::activeWindow(), QString(), initialFolder, qtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    }
    QString saveFileName(const QString& filter, const QString& initialFolder) override {
        QFileDialog dialog(QApplication::activeWindow(), QString(), initialFolder, qtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    }
};

QtDialogs& qtDialogs() {
    static QtDialogs service;
    return service;
}

DialogService* current = nullptr;

} // namespace

DialogService& dialogs() { return current ? *current : qtDialogs(); }

DialogService* installDialogs(DialogService* service) {
    DialogService* previous = current;
    current = service;
    return previous;
}

QString applicationTitle() { return QStringLiteral("Конфигуратор \"Ортекс\""); }

void showPlainMessage(const QString& text) { dialogs().message(applicationTitle(), text, MessageIcon::None); }

void showBareMessage(const QString& text) { dialogs().message(QString(), text, MessageIcon::None); }

QString dialogStartFolder() {
    const QString own = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!own.isEmpty() && QFileInfo(own).isWritable())
        return own;
    return QDir::homePath();
}
