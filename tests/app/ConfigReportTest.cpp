#include "DialogRecorder.h"
#include "FileSizeLimit.h"
#include "TestPorts.h"
#include "app/MainForm.h"
#include "base/GridCells.h"
#include "config/Codes.h"
#include "config/ConfigFile.h"
#include "config/ConfigView.h"
#include "config/LoopLayout.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "tests/config/ConfigControlsFixture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What a reader of the PDF can search and copy (poppler's pdftotext), in the order it was drawn: cell
// by cell, so that a text wrapped inside its cell stays together.
QString pdfText(const QString& path) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return QStringLiteral("<pdftotext failed>");
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// pdffonts lists one line per font after two heading lines; the column "emb" says "yes" when the font
// is embedded.
QStringList pdfFonts(const QString& path) {
    QProcess tool;
    tool.start(QStringLiteral("pdffonts"), {path});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return {QStringLiteral("<pdffonts failed>")};
    return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).mid(2);
}

// The line of the text whose first word is `caption` (the partitions table's loop rows).
QString lineStartingWith(const QString& text, const QString& caption) {
    for (const QString& line : text.split(u'\n'))
        if (line.trimmed().section(u' ', 0, 0) == caption) return line;
    return QString();
}

class ConfigReport : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ports_.isValid());
        ASSERT_TRUE(dir_.isValid());
        setPortFolder(ports_.path());
        form_ = std::make_unique<TForm1>();
        form_->Timer1->stop();
    }
    void TearDown() override {
        form_.reset();
        Link::ClosePort();
        setPortFolder(EmptyPortFolder());
    }
    TForm1& form() { return *form_; }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // The report through the menu, saved under the chosen name; the text of the file written.
    QString report(const QString& chosen, const QString& written) {
        dialogs_.clear();
        dialogs_.fileNames = {path(chosen)};
        form().N9->trigger();
        EXPECT_TRUE(dialogs_.texts().isEmpty()) << dialogs_.texts().join(u'|').toStdString();
        return pdfText(path(written));
    }

    DialogRecorder dialogs_;
    QTemporaryDir ports_;
    QTemporaryDir dir_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(ConfigReport, ShowsTheConfigurationAsTheWindowDoesWithEveryCodeMasked) {
    const QString empty = report(QStringLiteral("пусто"), QStringLiteral("пусто.pdf"));
    EXPECT_TRUE(empty.contains(QStringLiteral("не прочитан"))) << empty.toStdString();

    const ExpanderConfig sample = sampleConfig();
    QFile file(path(QStringLiteral("объект.okf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeConfigFile(collectedOf(sample), 0x1234));
    file.close();
    dialogs_.fileNames = {file.fileName()};
    form().N3->trigger();

    const QString text = report(QStringLiteral("отчёт"), QStringLiteral("отчёт.pdf"));
    const QString flat = text.simplified();
    EXPECT_TRUE(flat.contains(QStringLiteral("Конфигурация расширителя")));
    EXPECT_TRUE(flat.contains(QStringLiteral("объект.okf")));
    EXPECT_FALSE(flat.contains(QStringLiteral("не прочитан")));
    // Box 1 ticked, box 13 clear, exit delay 5: parameter bytes 0xA5, 0x3C.
    EXPECT_TRUE(flat.contains(generalPropertyCaption(1).simplified() + QStringLiteral(" да")));
    EXPECT_TRUE(flat.contains(generalPropertyCaption(13) + QStringLiteral(" нет")));
    EXPECT_TRUE(flat.contains(exitDelayCaption() + QStringLiteral(" 160 сек.")));
    for (int n = 1; n <= kLoopCount; ++n) {
        EXPECT_TRUE(flat.contains(loopTypeNames()[LoopTypeOf(sample.parameters[2 * n])])) << n;
        EXPECT_TRUE(flat.contains(sample.loopDescriptions[n - 1])) << n;
    }
    // Partition p holds loop p and loop 8.
    EXPECT_EQ(lineStartingWith(text, QStringLiteral("ШС3")).count(u'+'), 1);
    EXPECT_EQ(lineStartingWith(text, QStringLiteral("ШС8")).count(u'+'), kPartitionCount);
    EXPECT_TRUE(text.contains(QStringLiteral("****")));
    EXPECT_TRUE(text.contains(QStringLiteral("—")));
    for (const UserEntry& user : sample.users)
        if (user.code != kEmptyCode)
            EXPECT_FALSE(text.contains(formatCode(user.code))) << formatCode(user.code).toStdString();
    for (const PartitionEntry& partition : sample.globalPartitions)
        EXPECT_FALSE(text.contains(formatCode(partition.code))) << formatCode(partition.code).toStdString();

    const QStringList fonts = pdfFonts(path(QStringLiteral("отчёт.pdf")));
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& font : fonts)
        EXPECT_TRUE(font.contains(
            QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+$"))))
            << font.toStdString();

    // After a read the heading names the expander, not the file.
    form().ComboBox2->addItem(QStringLiteral("Расширитель 5"));
    form().ComboBox2->setCurrentIndex(0);
    form().config.address = 5;
    form().config.loadedFromFile = false;
    // Over the local line the partitions page is hidden, and so are the partitions in the report.
    form().PageControl1->setTabVisible(form().PageControl1->indexOf(form().TabSheet3), false);
    const QString read = report(QStringLiteral("read.PDF"), QStringLiteral("read.PDF")).simplified();
    EXPECT_FALSE(read.contains(QStringLiteral("объект.okf")));
    EXPECT_TRUE(read.contains(QStringLiteral("Расширитель 5"))) << read.toStdString();
    EXPECT_FALSE(read.contains(QStringLiteral("Глобальные разделы")));
    EXPECT_TRUE(read.contains(QStringLiteral("Пользователи")));

    // A cancelled "Открыть" now shows the expander's record again: no file name describes it.
    dialogs_.clear();
    form().N3->trigger();
    const QString cancelled =
        report(QStringLiteral("cancelled"), QStringLiteral("cancelled.pdf")).simplified();
    EXPECT_FALSE(cancelled.contains(QStringLiteral("объект.okf")));
    EXPECT_TRUE(cancelled.contains(QStringLiteral("Расширитель 5")));
}

TEST_F(ConfigReport, WritesNothingOnAConversionErrorAndKeepsTheOldFileOnAFailedWrite) {
    ShowConfig(sampleConfig(), form().controls().config, true);
    QTableWidget* loops = form().StringGrid1;
    setCellText(loops, 2, kLoopTypeRow, QStringLiteral("Дымовой пожарный"));
    setCellText(loops, 2, kPairNumberRow, QStringLiteral("x"));
    dialogs_.fileNames = {path(QStringLiteral("never"))};
    form().N9->trigger();
    EXPECT_EQ(dialogs_.texts(), QStringList{QStringLiteral("'x' is not a valid integer value")});
    ASSERT_EQ(dialogs_.entries.size(), 1u); // no file dialog
    EXPECT_TRUE(QDir(dir_.path()).isEmpty());

    setCellText(loops, 2, kPairNumberRow, QStringLiteral("3"));
    const QByteArray old("an earlier report");
    QFile file(path(QStringLiteral("keep.pdf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(old);
    file.close();
    dialogs_.clear();
    dialogs_.fileNames = {path(QStringLiteral("keep.pdf"))};
    {
        FileSizeLimit limit(1024);
        form().N9->trigger();
    }
    ASSERT_EQ(dialogs_.entries.size(), 2u);
    EXPECT_EQ(dialogs_.entries[0].text, QStringLiteral("Отчёт PDF (*.pdf)|*.pdf"));
    EXPECT_EQ(dialogs_.entries[0].folder, dialogStartFolder());
    EXPECT_EQ(dialogs_.entries[1].text, QStringLiteral("Ошибка записи"));
    EXPECT_EQ(readAll(path(QStringLiteral("keep.pdf"))), old);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.pdf")});

    // Without the limit the report replaces the old file; a description of a megabyte (a damaged
    // file can hold one) is cut short instead of filling thousands of pages.
    setCellText(loops, 4, kDescriptionRow, QString(1 << 20, u'Ж'));
    const QString text = report(QStringLiteral("keep.pdf"), QStringLiteral("keep.pdf"));
    EXPECT_TRUE(text.contains(QStringLiteral("ЖЖЖ…"))) << text.left(2000).toStdString();
}

// A name typed without ".pdf" where that report exists: the question is about the file that will be
// written. No shows the dialog again and keeps the old report; Yes replaces it.
TEST_F(ConfigReport, AnExistingReportIsReplacedOnlyWhenTheUserAgrees) {
    const QByteArray old("an earlier report");
    QFile file(path(QStringLiteral("отчёт.pdf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(old);
    file.close();
    for (const bool agree : {false, true}) {
        dialogs_.clear();
        dialogs_.fileNames = {path(QStringLiteral("отчёт"))};
        dialogs_.answers = {agree};
        form().N9->trigger();
        ASSERT_EQ(dialogs_.texts().size(), 1) << agree;
        EXPECT_TRUE(dialogs_.texts()[0].contains(QStringLiteral("отчёт.pdf")))
            << dialogs_.texts()[0].toStdString();
        EXPECT_EQ(dialogs_.entries.size(), agree ? 2u : 3u); // No shows the save dialog again
        EXPECT_EQ(readAll(path(QStringLiteral("отчёт.pdf"))).startsWith("%PDF"), agree);
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("отчёт.pdf")});
}

} // namespace
