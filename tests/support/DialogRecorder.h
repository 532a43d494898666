#pragma once
#include "base/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

// Installs itself as the dialog service while it lives: keeps every message and question in order
// and answers questions and file dialogs from a script. Nothing ever blocks on a modal dialog.
class DialogRecorder : public DialogService {
  public:
    enum class Kind { Message, Question, OpenFile, SaveFile, Folder };
    struct Entry {
        Kind kind;
        QString caption;
        QString text; // message or question text; filter for file dialogs; a folder's proposed name
        MessageIcon icon = MessageIcon::None;
        bool defaultYes = false;
        QString folder; // initial folder of file dialogs
    };

    DialogRecorder();
    ~DialogRecorder() override;

    void message(const QString& caption, const QString& text, MessageIcon icon) override;
    bool question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) override;
    QString openFileName(const QString& filter, const QString& initialFolder) override;
    QString saveFileName(const QString& filter, const QString& initialFolder) override;
    // Recorded with the proposed name as its text; answered from fileNames.
    QString folderName(const QString& initialFolder, const QString& proposedName) override;

    // Scripted answers, used in order; without one a question answers No and a file dialog is
    // cancelled.
    std::deque<bool> answers;
    std::deque<QString> fileNames;
    // Called after each entry is recorded (for example to act while a message is "on screen").
    std::function<void(const Entry&)> onEntry;

    std::vector<Entry> entries;
    // The texts of the messages and questions, in order.
    QStringList texts() const;
    void clear() { entries.clear(); }

  private:
    QString nameAsked(const Entry& entry);
    DialogService* previous_;
};
