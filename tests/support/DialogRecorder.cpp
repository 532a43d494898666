#include "DialogRecorder.h"

DialogRecorder::DialogRecorder() : previous_(installDialogs(this)) {}

DialogRecorder::~DialogRecorder() { installDialogs(previous_); }

void DialogRecorder::message(const QString& caption, const QString& text, MessageIcon icon) {
    entries.push_back({Kind::Message, caption, text, icon, false, {}});
    if (onEntry)
        onEntry(entries.back());
}

bool DialogRecorder::question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) {
    entries.push_back({Kind::Question, caption, text, icon, defaultYes, {}});
    if (onEntry)
        onEntry(entries.back());
    if (answers.empty())
        return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

QString DialogRecorder::openFileName(const QString& filter, const QString& initialFolder) {
    return nameAsked({Kind::OpenFile, {}, filter, MessageIcon::None, false, initialFolder});
}

QString DialogRecorder::saveFileName(const QString& filter, const QString& initialFolder) {
    return nameAsked({Kind::SaveFile, {}, filter, MessageIcon::None, false, initialFolder});
}

QString DialogRecorder::folderName(const QString& initialFolder, const QString& proposedName) {
    return nameAsked({Kind::Folder, {}, proposedName, MessageIcon::None, false, initialFolder});
}

// Records a file or folder dialog and answers it with the next of fileNames (none: cancelled).
QString DialogRecorder::nameAsked(const Entry& entry) {
    entries.push_back(entry);
    if (onEntry)
        onEntry(entries.back());
    if (fileNames.empty())
        return {};
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

QStringList DialogRecorder::texts() const {
    QStringList out;
    for (const Entry& e : entries)
        if (e.kind == Kind::Message || e.kind == Kind::Question)
            out << e.text;
    return out;
}
