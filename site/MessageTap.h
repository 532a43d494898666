#pragma once
#include "base/Dialogs.h"

#include <QStringList>

namespace Site {

// While it lives, keeps the program's messages instead of showing them; questions and file dialogs go on to
// the service it replaced, and the questions' texts are kept too.
class MessageTap : public DialogService {
  public:
    MessageTap() : previous_(installDialogs(this)) {}
    ~MessageTap() override { installDialogs(previous_); }
    MessageTap(const MessageTap&) = delete;
    MessageTap& operator=(const MessageTap&) = delete;

    void message(const QString&, const QString& text, MessageIcon) override { texts << text; }
    bool question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) override {
        questions << text;
        return service().question(caption, text, icon, defaultYes);
    }
    QString openFileName(const QString& filter, const QString& initialFolder) override {
        return service().openFileName(filter, initialFolder);
    }
    QString saveFileName(const QString& filter, const QString& initialFolder) override {
        return service().saveFileName(filter, initialFolder);
    }
    QString folderName(const QString& initialFolder, const QString& proposedName) override {
        return service().folderName(initialFolder, proposedName);
    }

    QStringList texts;
    QStringList questions;

  private:
    DialogService& service() {
        // The service in place before this one: the toolkit's when none other was installed.
        DialogService* self = installDialogs(previous_);
        DialogService& service = dialogs();
        installDialogs(self);
        return service;
    }

    DialogService* previous_;
};

} // namespace Site
