#pragma once
#include <QString>
#include <QStringList>
#include <memory>

class QFileDialog;
class QMessageBox;
class QWidget;

// Every message box and file dialog of the program goes through this service, so that tests can
// record the messages in order and answer questions and file dialogs from a script.
enum class MessageIcon { None, Information, Warning, Error };

class DialogService {
  public:
    virtual ~DialogService() = default;
    // A message with an OK button.
    virtual void message(const QString& caption, const QString& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes. defaultYes chooses the button that Enter presses.
    virtual bool question(const QString& caption, const QString& text, MessageIcon icon, bool defaultYes) = 0;
    // The chosen file, or an empty text when the dialog was cancelled. filter is given as
    // "Description (*.ext)|*.ext". The open dialog accepts only existing files; the save dialog
    // asks before replacing one.
    virtual QString openFileName(const QString& filter, const QString& initialFolder) = 0;
    virtual QString saveFileName(const QString& filter, const QString& initialFolder) = 0;
    // A folder to write files into, the dialog starting in initialFolder with proposedName (a folder
    // that need not exist yet) filled in; an empty text when the dialog was cancelled.
    virtual QString folderName(const QString& initialFolder, const QString& proposedName) = 0;
};

DialogService& dialogs();

// The boxes and dialogs that the toolkit's service shows, built in this one place so that a test can
// look at what the program shows without showing it: a message with an OK button, the Yes/No
// question, and the open or save dialog.
std::unique_ptr<QMessageBox> makeMessageBox(const QString& caption, const QString& text, MessageIcon icon);
std::unique_ptr<QMessageBox> makeQuestionBox(const QString& caption, const QString& text, MessageIcon icon,
                                             bool defaultYes);
std::unique_ptr<QFileDialog> makeFileDialog(const QString& filter, const QString& initialFolder, bool save);
// Installs a service; nullptr restores the toolkit's. Returns the previous one.
DialogService* installDialogs(DialogService* service);

// The application title, the caption of the program's plain message dialog.
QString applicationTitle();

// The program's plain message dialog: application title as caption, OK button.
void showPlainMessage(const QString& text);
// A platform message box with an empty caption and an OK button.
void showBareMessage(const QString& text);

// The save dialog for a file whose name ends with one of suffixes ({".pdf"}): a name chosen without
// any gets the first. When that names an existing file, the user is asked, as the dialog asks for a
// name chosen in full, whether to replace it; No shows the dialog again. Empty when the dialog was
// cancelled.
QString saveFileNameWithSuffix(const QString& filter, const QString& initialFolder,
                               const QStringList& suffixes);

// The folder in which the open and save dialogs start: the program's own folder where the user may
// write there, else the user's documents folder, or the home folder when there is none.
QString dialogStartFolder();
