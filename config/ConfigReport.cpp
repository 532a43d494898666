#include "config/ConfigReport.h"

#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "config/Codes.h"
#include "config/ConfigFile.h"
#include "config/ConfigView.h"
#include "config/LoopLayout.h"
#include "config/MainControls.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace {

constexpr int kBoxesBeforeExitDelay = 5; // the boxes of bits [1]..[5] come before the delay [6-8]
// Widths of the caption column: of the heading, of the general properties and of the grids' tables.
constexpr qreal kHeadingCaptionPercent = 20;
constexpr qreal kGeneralCaptionPercent = 80;
constexpr qreal kGridCaptionPercent = 20;
constexpr qreal kHeadingPoints = 14;
constexpr qreal kTitlePoints = 10;
constexpr qreal kTextPoints = 8;
constexpr qreal kGridPoints = 7; // nine columns across the page: "Тревожный" fits whole
constexpr qreal kCellPadding = 2;
constexpr qreal kTableGap = 8;
// A cell shows at most this many characters: a description opened from a damaged file can be megabytes
// long, and laying it out would take thousands of pages.
constexpr int kMaxCellLength = 200;

QString yesNo(bool set) {
    return set ? QStringLiteral("да") : QStringLiteral("нет");
}

// A grid text as a cell of the report: control characters as spaces, cut short with "…" when too long.
QString cellOf(QString text) {
    if (text.size() > kMaxCellLength) text = text.left(kMaxCellLength - 1) + u'…';
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control) c = u' ';
    return text;
}

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("—") : text;
}

ReportTable loopTable(const ConfigControls& controls) {
    ReportTable table{QStringLiteral("Свойства ШС"), {QString()}, {}};
    for (int n = 1; n <= kLoopCount; ++n)
        table.columnHeaders << loopColumnHeader(n);
    const int lastRow = hasDescriptionRow(controls.loopGrid) ? kDescriptionRow : kLastPropertyRow;
    for (int row = 1; row <= lastRow; ++row) {
        QStringList cells{loopRowCaptions()[row - 1]};
        for (int n = 1; n <= kLoopCount; ++n)
            cells << cellOf(cellText(controls.loopGrid, n, row));
        table.rows << cells;
    }
    return table;
}

ReportTable partitionsTable(const ConfigControls& controls, const CollectedConfig& collected) {
    ReportTable table{QStringLiteral("Глобальные разделы"), {QString()}, {}};
    for (int p = 1; p <= kPartitionCount; ++p)
        table.columnHeaders << partitionColumnHeader(p);
    const QStringList& captions = partitionRowCaptions();
    for (int row = kGlobalNumberRow; row <= kPartitionCodeRow; ++row) {
        QStringList cells{captions[row - 1]};
        for (int p = 1; p <= kPartitionCount; ++p)
            cells << (row == kPartitionCodeRow ? maskedCode(collected.globalPartitions[p - 1].code)
                                               : cellOf(cellText(controls.partitionsGrid, p, row)));
        table.rows << cells;
    }
    return table;
}

// One row per user: 31 columns would not fit across a page.
ReportTable usersTable(const ConfigControls& controls, const CollectedConfig& collected) {
    ReportTable table{QStringLiteral("Пользователи"), {QStringLiteral("Пользователь")}, {}};
    table.columnHeaders << userRowCaptions();
    for (int u = 0; u < kUserCount; ++u) {
        QStringList cells{userColumnHeader(u)};
        for (int row = 1; row < kUserCodeRow; ++row)
            cells << cellOf(cellText(controls.usersGrid, u + 1, row));
        cells << maskedCode(collected.users[u].code);
        table.rows << cells;
    }
    return table;
}

QTextCharFormat textFormat(qreal points, bool bold) {
    QTextCharFormat format;
    format.setFontPointSize(points);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    return format;
}

// A table across the page under a title row that, like the column headers, repeats on every page the
// table reaches, so a title never stands alone at the foot of a page. The caption column takes
// captionPercent of the width, the other columns share the rest.
void insertTable(QTextCursor& cursor, const QString& title, const QStringList& headers,
                 const QList<QStringList>& rows, qreal captionPercent, qreal points = kTextPoints) {
    const int columns = int(rows.isEmpty() ? headers.size() : rows.first().size());
    const int headerRows = 1 + (headers.isEmpty() ? 0 : 1);
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderBrush(Qt::gray);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderCollapse(true);
    format.setCellPadding(kCellPadding);
    format.setCellSpacing(0);
    format.setTopMargin(kTableGap);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setHeaderRowCount(headerRows);
    QList<QTextLength> widths{QTextLength(QTextLength::PercentageLength, captionPercent)};
    for (int c = 1; c < columns; ++c)
        widths << QTextLength(QTextLength::PercentageLength, (100 - captionPercent) / (columns - 1));
    format.setColumnWidthConstraints(widths);

    QTextTable* table = cursor.insertTable(int(rows.size()) + headerRows, columns, format);
    table->mergeCells(0, 0, 1, columns);
    QTextCharFormat band = textFormat(kTitlePoints, true);
    band.setBackground(QColor(0xE8, 0xE8, 0xE8));
    QTextTableCell titleCell = table->cellAt(0, 0);
    titleCell.setFormat(band);
    titleCell.firstCursorPosition().insertText(title, textFormat(kTitlePoints, true));

    const QTextCharFormat plain = textFormat(points, false);
    const QTextCharFormat bold = textFormat(points, true);
    for (int c = 0; c < headers.size() && c < columns; ++c)
        table->cellAt(1, c).firstCursorPosition().insertText(headers[c], bold);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < columns; ++c)
            table->cellAt(r + headerRows, c)
                .firstCursorPosition()
                .insertText(rows[r][c], c == 0 ? bold : plain);
    cursor.movePosition(QTextCursor::End);
}

} // namespace

QString reportExpanderText(const QString& openedFile, int address) {
    if (!openedFile.isEmpty()) return QFileInfo(openedFile).fileName();
    if (address >= 0) return QString::number(address);
    return QStringLiteral("не прочитан");
}

QString maskedCode(uint16_t code) {
    return code == kEmptyCode ? QStringLiteral("—") : QStringLiteral("****");
}

ReportTexts reportTexts(const ConfigControls& controls, const CollectedConfig& collected,
                        const ReportContext& context) {
    ReportTexts texts;
    texts.expander = context.expander;
    texts.port = orDash(context.port);
    texts.madeAt = context.madeAt.toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    for (int i = 0; i < int(controls.checkBoxes.size()); ++i) {
        if (i == kBoxesBeforeExitDelay)
            texts.general.append({context.exitDelayCaption, controls.exitDelay->currentText()});
        const QCheckBox* box = controls.checkBoxes[i];
        texts.general.append({box->text(), yesNo(box->isChecked())});
    }
    texts.tables << loopTable(controls);
    if (context.withPartitions) texts.tables << partitionsTable(controls, collected);
    texts.tables << usersTable(controls, collected);
    return texts;
}

std::unique_ptr<QTextDocument> reportDocument(const ReportTexts& texts) {
    auto document = std::make_unique<QTextDocument>();
    QFont font(QStringLiteral("DejaVu Sans"), int(kTextPoints));
    font.setStyleHint(QFont::SansSerif);
    document->setDefaultFont(font);
    QTextCursor cursor(document.get());
    cursor.setCharFormat(textFormat(kHeadingPoints, true));
    cursor.insertText(QStringLiteral("Конфигурация расширителя"));

    insertTable(cursor, QStringLiteral("Отчёт"), {},
                {{QStringLiteral("Расширитель"), texts.expander},
                 {QStringLiteral("Порт"), texts.port},
                 {QStringLiteral("Дата отчёта"), texts.madeAt}},
                kHeadingCaptionPercent);
    QList<QStringList> general;
    for (const auto& [caption, value] : texts.general)
        general << QStringList{caption, value};
    insertTable(cursor, QStringLiteral("Общие свойства"), {}, general, kGeneralCaptionPercent);
    for (const ReportTable& table : texts.tables)
        insertTable(cursor, table.title, table.columnHeaders, table.rows, kGridCaptionPercent, kGridPoints);
    return document;
}

QByteArray reportPdf(const ReportTexts& texts) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        // Printing the document puts 2 cm margins of its own inside the writer's page.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Конфигурация расширителя"));
        writer.setCreator(applicationTitle());
        reportDocument(texts)->print(&writer);
    }
    return buffer.data();
}

QString reportFileFilter() {
    return QStringLiteral("Отчёт PDF (*.pdf)|*.pdf");
}

void SaveReport(const ConfigControls& controls, const ReportContext& context) {
    // Collected, named and written as the configuration file is: an old report survives a failure.
    const auto chooseFile = [] {
        return saveFileNameWithSuffix(reportFileFilter(), dialogStartFolder(), {QStringLiteral(".pdf")});
    };
    saveCollected(controls, chooseFile, [&](const CollectedConfig& collected) {
        return reportPdf(reportTexts(controls, collected, context));
    });
}
