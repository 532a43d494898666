// The toolkit's own texts (standard buttons, file dialogs) in Russian, and English where the
// translation is missing.
#include "app/ToolkitTranslation.h"
#include "base/Dialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A button's text without its mnemonic marker.
QString plain(const QAbstractButton* button) {
    return button ? QString(button->text()).remove(u'&') : QStringLiteral("(no button)");
}

std::unique_ptr<QMessageBox> repeatQuestion() {
    // The question that programming asks when an item was not confirmed, with No as the default.
    return makeQuestionBox(QStringLiteral("Ошибка"),
                           QStringLiteral("Ошибка записи параметров\r\n   Повторить запись?"),
                           MessageIcon::Warning, false);
}

TEST(ToolkitTranslation, StandardButtonsAndTheSaveDialogSpeakRussian) {
    std::unique_ptr<QTranslator> translator(installToolkitTranslation());
    if (!translator)
        GTEST_SKIP() << "qtbase_ru is missing from " << toolkitTranslationsFolder().toStdString()
                     << " (Debian package qt6-translations-l10n)";

    const auto box = repeatQuestion();
    EXPECT_EQ(plain(box->button(QMessageBox::Yes)), QStringLiteral("Да"));
    EXPECT_EQ(plain(box->button(QMessageBox::No)), QStringLiteral("Нет"));
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    EXPECT_EQ(plain(makeMessageBox(QString(), QStringLiteral("Нет ответа"), MessageIcon::None)
                        ->button(QMessageBox::Ok)),
              QStringLiteral("OK"));

    const auto dialog =
        makeFileDialog(QStringLiteral("Файлы конфигурации (*.okf)|*.okf"), QDir::tempPath(), true);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(plain(buttons->button(QDialogButtonBox::Save)), QStringLiteral("Сохранить"));
    EXPECT_EQ(plain(buttons->button(QDialogButtonBox::Cancel)), QStringLiteral("Отмена"));
}

TEST(ToolkitTranslation, WithoutTheTranslationTheToolkitKeepsItsEnglishTexts) {
    QTemporaryDir emptyFolder;
    EXPECT_EQ(installToolkitTranslation(emptyFolder.path()), nullptr);
    const auto box = repeatQuestion();
    EXPECT_EQ(plain(box->button(QMessageBox::Yes)), QStringLiteral("Yes"));
    EXPECT_EQ(plain(box->button(QMessageBox::No)), QStringLiteral("No"));
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
}

} // namespace
