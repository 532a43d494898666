#include "app/MainForm.h"
#include "DialogRecorder.h"
#include "base/Clock.h"
#include "base/GridCells.h"
#include "base/Hints.h"
#include "config/LoopLayout.h"
#include "journal/JournalWindow.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "link/SerialLine.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Texts as they are written down, with \r, \n and \" standing for CR, LF and a straight quote;
// any other backslash is an ordinary character.
QString written(const char* text) {
    QString s = QString::fromUtf8(text);
    s.replace(QLatin1String("\\r"), QLatin1String("\r"));
    s.replace(QLatin1String("\\n"), QLatin1String("\n"));
    s.replace(QLatin1String("\\\""), QLatin1String("\""));
    return s;
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

class MainWindow : public testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        form_ = std::make_unique<TForm1>();
        form_->Timer1->stop(); // the tests drive the timer themselves
    }
    void TearDown() override {
        form_.reset();
        Link::ClosePort();
        Clock::setTerminating(false);
    }
    TForm1& form() { return *form_; }
    template <typename W> W* child(const char* name) { return form_->findChild<W*>(QLatin1String(name)); }

    // Shows the window with the given client width, whatever frame the platform draws around it.
    void showAtClientWidth(int client) {
        form().show();
        settle();
        form().resize(client, form().height());
        settle();
        ASSERT_EQ(form().width(), client);
    }

    DialogRecorder dialogs_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(MainWindow, StartsWithItsCaptionPlaceAndSize) {
    EXPECT_EQ(form().objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form().windowTitle(), QStringLiteral("Конфигуратор Ортекс V2.04"));
    EXPECT_EQ(form().pos(), QPoint(208, 114));
    EXPECT_EQ(form().centralWidget()->minimumSize(), QSize(688, 404));
    form().show();
    settle();
    EXPECT_EQ(form().centralWidget()->size(), QSize(688, 404));
    EXPECT_EQ(form().PageControl1->geometry(), QRect(0, 66, 688, 338));
    form().resize(form().width() - 50, form().height() - 50); // the least size holds
    settle();
    EXPECT_EQ(form().centralWidget()->size(), QSize(688, 404));
}

struct TextCase {
    const char* control;
    const char* text;
};

TEST_F(MainWindow, ControlsCarryTheirTexts) {
    const TextCase labels[] = {
        {"Label2", "Порт"},
        {"Label3", "Текущий расширитель"},
        {"Label4", "Код доступа"},
        {"Label1", "Задержка на выход [6-8]"},
        {"Label5", ""},
    };
    for (const TextCase& c : labels) {
        auto* label = child<QLabel>(c.control);
        ASSERT_NE(label, nullptr) << c.control;
        EXPECT_EQ(label->text(), written(c.text)) << c.control;
    }
    const TextCase boxes[] = {
        {"CheckBox1", R"(Независимое  взятие общих ШС разных пользователей [1])"},
        {"CheckBox2", R"(Перевзятие через 10 мин для охранных ШС [2])"},
        {"CheckBox3", R"(Световое оповещение - строб лампа [3])"},
        {"CheckBox4", R"(Дверь на ШС1 [4])"},
        {"CheckBox5", R"(ПЦН3 режим вывода состояния ШС (взяты все ШС, снят любой) [5])"},
        {"CheckBox6", R"(Равные права пользователей  с равными списками [9])"},
        {"CheckBox7", R"(Сигнал ЗО при Взятии\Снятии [10])"},
        {"CheckBox8", R"(Разрешено изменение кодов пользователей [11])"},
        {"CheckBox9", R"(Независимое снятие общих ШС разных пользователей [12])"},
        {"CheckBox10", R"(Запрет режима "дверь" (дистанционное взятие\снятие)   [13])"},
        {"CheckBox11", R"(Длительность работы строб лампы ограничена 16 мин [14])"},
        {"CheckBox12", R"(ПЦН 4 системный [15])"},
        {"CheckBox13", R"(Разрешен сброс круглосуточных ШС без кода [16])"},
        {"CheckBox14", "код по умолчанию"},
    };
    for (const TextCase& c : boxes) {
        auto* box = child<QCheckBox>(c.control);
        ASSERT_NE(box, nullptr) << c.control;
        EXPECT_EQ(box->text(), QString::fromUtf8(c.text)) << c.control; // backslashes stay
        EXPECT_FALSE(box->isChecked()) << c.control;
    }
    EXPECT_EQ(form().Button1->text(), QStringLiteral("Записать в расширитель"));
    EXPECT_EQ(form().ComboBox3->count(), 8);
    EXPECT_EQ(form().ComboBox3->currentText(), QStringLiteral("0 сек."));
    EXPECT_EQ(form().ComboBox3->itemText(4), QStringLiteral("128 сек"));
    EXPECT_TRUE(form().Edit1->text().isEmpty());
    EXPECT_EQ(form().ComboBox2->count(), 0);

    const char* tabs[] = {"Общие свойства", "Свойства ШС", "Глобальные разделы", "Пользователи"};
    ASSERT_EQ(form().PageControl1->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(form().PageControl1->tabText(i), QString::fromUtf8(tabs[i]));
    EXPECT_EQ(form().PageControl1->currentWidget(), form().TabSheet4);
}

TEST_F(MainWindow, MenuHoldsItsItemsWithTheKeyProgrammerItemHidden) {
    const TextCase items[] = {
        {"N3", "Открыть"},
        {"N4", "Сохранить"},
        {"N9", "Отчёт…"},
        {"N5", "Выход"},
        {"N6", "Запрограммировать"},
        {"N7", "Прочитать"},
        {"N8", "БКУ"},
        {"CompareWithFile", "Сравнить с файлом…"},
        {"CompareWithDevice", "Сравнить с прибором"},
    };
    for (const TextCase& c : items) {
        auto* action = child<QAction>(c.control);
        ASSERT_NE(action, nullptr) << c.control;
        EXPECT_EQ(action->text(), QString::fromUtf8(c.text)) << c.control;
        const bool hidden = QLatin1String(c.control) == QLatin1String("N8");
        EXPECT_EQ(action->isVisible(), !hidden) << c.control;
        if (!hidden) // the toolkit counts a hidden item as disabled
            EXPECT_TRUE(action->isEnabled()) << c.control;
    }
    QAction* withFile = child<QAction>("CompareWithFile");
    EXPECT_EQ(form().FileMenu->actions(),
              QList<QAction*>({form().N3, withFile, form().N4, form().N9, form().N5}));
    EXPECT_EQ(form().ExpanderMenu->actions(),
              QList<QAction*>({form().N6, form().N7, child<QAction>("CompareWithDevice"),
                               child<QAction>("SaveAllExpanders"), child<QAction>("CompareWithFolder"),
                               child<QAction>("CompareFolders")}));
    const QList<QAction*> top = form().MainMenu1->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), QStringLiteral("Файл"));
    EXPECT_EQ(top[1]->text(), QStringLiteral("Расширитель"));
    EXPECT_EQ(top[2], form().N8);
    // The journal's menu comes last; its item opens the one journal window, which is not modal.
    EXPECT_EQ(top[3]->text(), QStringLiteral("Сервис"));
    auto* journal = child<QAction>("JournalAction");
    ASSERT_NE(journal, nullptr);
    EXPECT_EQ(journal->text(), QStringLiteral("Журнал обмена"));
    EXPECT_EQ(journal->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_J));
    journal->trigger();
    ASSERT_NE(Journal::journalWindow(), nullptr);
    EXPECT_TRUE(Journal::journalWindow()->isVisible());
    EXPECT_FALSE(Journal::journalWindow()->isModal());
    Journal::journalWindow()->close();
}

struct PlaceCase {
    const char* control;
    QRect place;
};

TEST_F(MainWindow, ControlsSitInTheirPlaces) {
    form().show();
    settle();
    const PlaceCase sized[] = {
        {"ComboBox1", {41, 7, 145, 21}}, {"ComboBox2", {340, 6, 145, 21}},
        {"Button1", {512, 6, 137, 25}},  {"ProgressBar1", {40, 40, 150, 17}},
        {"Edit1", {342, 40, 137, 21}},   {"CheckBox14", {501, 43, 116, 17}},
    };
    for (const PlaceCase& c : sized)
        EXPECT_EQ(child<QWidget>(c.control)->geometry(), c.place) << c.control;
    const PlaceCase corners[] = {
        {"Label2", {8, 8, 0, 0}},       {"Label3", {216, 11, 0, 0}},     {"Label4", {265, 42, 0, 0}},
        {"CheckBox1", {11, 12, 0, 0}},  {"CheckBox13", {11, 43, 0, 0}},  {"CheckBox8", {12, 78, 0, 0}},
        {"CheckBox3", {11, 114, 0, 0}}, {"CheckBox11", {12, 150, 0, 0}}, {"CheckBox5", {12, 185, 0, 0}},
        {"CheckBox4", {11, 217, 0, 0}}, {"CheckBox2", {11, 249, 0, 0}},  {"CheckBox10", {12, 280, 0, 0}},
    };
    for (const PlaceCase& c : corners)
        EXPECT_EQ(child<QWidget>(c.control)->pos(), c.place.topLeft()) << c.control;

    // The right column keeps its distance from the right edge of the page, also when it widens.
    const PlaceCase right[] = {
        {"CheckBox9", {350, 12, 0, 0}},  {"CheckBox6", {351, 47, 0, 0}}, {"CheckBox12", {351, 79, 0, 0}},
        {"CheckBox7", {352, 111, 0, 0}}, {"Label1", {358, 217, 0, 0}},   {"ComboBox3", {499, 212, 70, 21}},
    };
    for (int widen : {0, 120}) {
        form().resize(form().minimumWidth() + widen, form().height());
        settle();
        const int shift = form().TabSheet1->width() - 680;
        for (const PlaceCase& c : right)
            EXPECT_EQ(child<QWidget>(c.control)->pos(), c.place.topLeft() + QPoint(shift, 0)) << c.control;
        EXPECT_EQ(form().CheckBox1->pos(), QPoint(11, 12));
        EXPECT_EQ(form().ComboBox3->width(), 70);
    }
}

// True when the accessibility layer reports label as the label of control (what a screen reader
// reads with it).
bool labelledBy(QWidget* control, QWidget* label) {
    const auto relations = QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label);
    return std::any_of(relations.begin(), relations.end(),
                       [label](const auto& relation) { return relation.first->object() == label; });
}

// The window's font must be narrow enough for the drawn places: no caption runs into its
// neighbour or out of its control.
TEST_F(MainWindow, CaptionsFitTheirPlaces) {
    form().show();
    settle();
    const std::pair<QWidget*, QWidget*> labelled[] = {
        {form().Label2, form().ComboBox1},
        {form().Label3, form().ComboBox2},
        {form().Label4, form().Edit1},
        {form().Label1, form().ComboBox3},
    };
    for (const auto& [label, control] : labelled) {
        EXPECT_LT(label->geometry().right(), control->x()) << label->objectName().toStdString();
        // A screen reader names the control by its caption: the caption labels it.
        EXPECT_TRUE(labelledBy(control, label)) << label->objectName().toStdString();
    }

    EXPECT_LE(form().CheckBox14->sizeHint().width(), form().CheckBox14->width());
    EXPECT_LE(form().Button1->fontMetrics().horizontalAdvance(form().Button1->text()) + 8,
              form().Button1->width());

    QList<QWidget*> rightColumn = {form().CheckBox9, form().CheckBox6, form().CheckBox12,
                                   form().CheckBox7, form().Label1,    form().ComboBox3};
    const QList<QCheckBox*> boxes = form().TabSheet1->findChildren<QCheckBox*>();
    ASSERT_EQ(boxes.size(), 13);
    for (QCheckBox* box : boxes) {
        const QRect needed(box->pos(), QSize(box->sizeHint().width(), box->height()));
        EXPECT_LE(needed.right(), form().TabSheet1->width()) << box->objectName().toStdString();
        if (rightColumn.contains(box)) continue;
        for (QWidget* right : rightColumn)
            EXPECT_FALSE(needed.intersects(right->geometry()))
                << box->objectName().toStdString() << " runs into " << right->objectName().toStdString();
    }
}

TEST_F(MainWindow, GridsFollowTheirPages) {
    struct GridPlace {
        QTableWidget* grid;
        QRect drawn; // on a page of 680 x 310
    };
    const GridPlace places[] = {
        {form().StringGrid1, {0, 0, 680, 310}},
        {form().StringGrid2, {8, 8, 657, 281}},
        {form().StringGrid3, {0, 0, 680, 257}},
    };
    form().show();
    for (int grow : {0, 100}) {
        form().resize(form().minimumWidth() + grow, form().minimumHeight() + grow);
        for (const GridPlace& p : places) {
            form().PageControl1->setCurrentWidget(p.grid->parentWidget());
            settle();
            const QSize extra = p.grid->parentWidget()->size() - QSize(680, 310);
            EXPECT_EQ(p.grid->geometry(), p.drawn.adjusted(0, 0, extra.width(), extra.height()))
                << p.grid->objectName().toStdString() << " grown by " << grow;
        }
    }
}

TEST_F(MainWindow, HintsAreExactAndStayLong) {
    const TextCase hints[] = {
        {"ComboBox1", R"hint(Выберите последовательный порт)hint"},
        {"ComboBox2", R"hint(Выберите расширитель для редактирования параметров)hint"},
        {"Edit1",
         R"hint(Введите код доступа и код инженера в одну строку без пробелов\r\nили код пульта при подключении по ЛСЛ)hint"},
        {"Button1", R"hint(Записать параметры в текущий расширитель)hint"},
        {"CheckBox1",
         R"hint(Определяет тактику взятия ШС, включенного в списки нескольких пользователей.\r\nЕсли не установлен флажок взятие будет осуществляться - только при взятии\r\nвсеми пользователями. Если установлен - при взятии любым из пользователей.)hint"},
        {"CheckBox9",
         R"hint(Определяет тактику снятия ШС, включенного в список пользователя и глобальный раздел.\r\nЕсли не установлен флажок снятие будет осуществляться - только при снятии\r\nпользователя и раздела. Если установлен - при снятии пользователя или раздела.)hint"},
        {"CheckBox13",
         R"hint(Если флажок установлен, разрешен сброс круглосуточных ШС\r\nбез кода,например кнопкой \"сброс\" с ПУ. Если не установлен -\r\nсброс круглосуточных ШС осуществляется командой снятия\r\nпользователя или раздела.)hint"},
        {"CheckBox3",
         R"hint(Определяет тактику работы светового оповещения\r\nесли флажок установлен (режим \"Строб-лампа):\r\n    - в дежурном режиме выключено\r\n    - в режиме \"Тревога\" включено;\r\nесли флажок не установлен(режим \"Лампа\"):\r\n    - в режиме \"СНЯТ\" выключено\r\n    - в режиме \"ВЗЯТ\" включено\r\n    - в режиме \"ТРЕВОГА\" включается на 1 секунду с периодом 2 секунды)hint"},
        {"CheckBox5",
         R"hint(Если флажок установлен, на реле ПЦН3 передается состояние\r\nвзятия всех связанных с ним ШС расширителя. Если флажок\r\nне установлен, реле ПЦН3 срабатывает в обычном режиме,\r\nв зависимости от запрограммированых ШС.)hint"},
        {"CheckBox6",
         R"hint(  При совместной тактике управления ШС\r\n(взятие только всеми пользователями),\r\nесли флажок установлен, для пользователей\r\nу которых одинаковые списки ШС, взятие\r\nвсеми пользователями не требуется.)hint"},
        {"CheckBox12",
         R"hint(Если флажок установлен, на реле ПЦН4\r\nвыводится только наличие неисправности\r\n расширителя, если не установлен - реле\r\nПЦН4 срабатывает в обычном режиме, в\r\nзависимосити от запрограммированых ШС.)hint"},
        {"CheckBox10",
         R"hint(Если флажок установлен, режим дверь на ШС1\r\nне работает при взятии ШС в составе раздела\r\n(по сигнальной линиии), работает при взятии\r\nсписка пользователя (по локальной линии).)hint"},
        {"CheckBox11",
         R"hint(Если флажок установлен, строб лампа работает 16 минут,\n\rна выходах ЗО и СО расширителя объединяется информация\n\rо срабатывынии реле ЗО,СО и ПЦН со всех расширителей системы.\n\rЕсли флажок не установлен, строб лампа работает неограничено.)hint"},
        {"CheckBox8",
         R"hint(Если флажок установлен, пользователь сам может изменить\n\rсвой код доступа не прибегая к программированию свойств\n\rрасширителя.)hint"},
        {"CheckBox7",
         R"hint(Если флажок установлен, ЗО включается при взятии\снятии;\n\rпри взятии формируется одиночный кратковременный сигнал,\n\rа при снятии или сбросе тревог формируется двойной сигнал\n\r(режим целесообразно применять при управлении прибором\n\rвнешними устройствами и отсутствии световой сигнализации\n\rо режиме работы прибора).)hint"},
        {"CheckBox4", R"hint(Если флажок установлен, ШС1 работает\n\rпо тактике с входной дверью.)hint"},
        {"CheckBox2",
         R"hint(Если установлен флажок, затревоженные охранные ШС\n\rавтоматически переходят в состояние взят через 10\n\rминут после нарушения.)hint"},
        {"ComboBox3",
         R"hint(Величина задержки на выход(взятие) для\r\nохранных ШС. Задержка на вход(снятие)\r\nравна половине задержки на выход.)hint"},
        {"Label1",
         R"hint(Величина задержки на выход(взятие) для\r\nохранных ШС. Задержка на вход(снятие)\r\nравна половине задержки на выход.)hint"},
    };
    for (const TextCase& c : hints) {
        auto* control = child<QWidget>(c.control);
        ASSERT_NE(control, nullptr) << c.control;
        EXPECT_EQ(control->toolTip(), written(c.text)) << c.control;
    }
    // Controls without a hint.
    for (QWidget* quiet :
         std::initializer_list<QWidget*>{form().CheckBox14, form().TabSheet1, form().TabSheet2,
                                         form().TabSheet3, form().TabSheet4, form().Label2})
        EXPECT_TRUE(quiet->toolTip().isEmpty()) << quiet->objectName().toStdString();

    setHintDisplayMs(10000); // as the key programmer window leaves it
    form().show();
    EXPECT_EQ(hintDisplayMs(), 45000);
}

struct GridCase {
    const char* grid;
    int columns;
    int rows;
    int rowHeight;
};

TEST_F(MainWindow, GridsHaveTheirShapeAndFixedTexts) {
    const GridCase shapes[] = {
        {"StringGrid1", 9, 21, 18}, {"StringGrid2", 9, 11, 24}, {"StringGrid3", 32, 10, 24}};
    for (const GridCase& c : shapes) {
        auto* grid = child<QTableWidget>(c.grid);
        ASSERT_NE(grid, nullptr) << c.grid;
        EXPECT_EQ(grid->columnCount(), c.columns) << c.grid;
        EXPECT_EQ(grid->rowCount(), c.rows) << c.grid;
        EXPECT_FALSE(grid->horizontalHeader()->isVisibleTo(grid)) << c.grid;
        EXPECT_FALSE(grid->verticalHeader()->isVisibleTo(grid)) << c.grid;
        for (int r = 0; r < c.rows; ++r)
            EXPECT_EQ(grid->rowHeight(r), c.rowHeight) << c.grid << " row " << r;
    }
    EXPECT_EQ(loopGridRows(form().StringGrid1), 21);

    // Column 0 holds the loop layout's captions, double spaces included.
    QTableWidget* loops = form().StringGrid1;
    EXPECT_EQ(cellText(loops, 0, 0), QString());
    for (int r = 1; r <= 20; ++r)
        EXPECT_EQ(cellText(loops, 0, r), loopRowCaptions().value(r - 1)) << "loop row " << r;
    const std::pair<int, const char*> spots[] = {
        {1, "Тип [7-8]"}, {3, "Реле СО  [16]"}, {8, "Номер пары (пожарный)  [1-3]"}, {20, "Описание"}};
    for (const auto& [row, caption] : spots)
        EXPECT_EQ(cellText(loops, 0, row), QString::fromUtf8(caption));
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(cellText(loops, n, 0), QStringLiteral("ШС%1").arg(n));
        for (int r = 1; r <= 20; ++r)
            EXPECT_TRUE(cellText(loops, n, r).isEmpty()) << "loop " << n << " row " << r;
    }

    QTableWidget* partitions = form().StringGrid2;
    EXPECT_EQ(cellText(partitions, 0, 0), QString());
    EXPECT_EQ(cellText(partitions, 0, 1), QStringLiteral("Глобальный номер"));
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(cellText(partitions, 0, k + 1), QStringLiteral("ШС%1").arg(k));
    EXPECT_EQ(cellText(partitions, 0, 10), QStringLiteral("Код доступа"));
    for (int p = 1; p <= 8; ++p)
        EXPECT_EQ(cellText(partitions, p, 0), QStringLiteral("Раздел%1").arg(p));

    QTableWidget* users = form().StringGrid3;
    EXPECT_EQ(cellText(users, 0, 0), QString());
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(cellText(users, 0, k), QStringLiteral("ШС%1").arg(k));
    EXPECT_EQ(cellText(users, 0, 9), QStringLiteral("Код"));
    for (int u = 0; u <= 30; ++u)
        EXPECT_EQ(cellText(users, u + 1, 0), QString::number(u));
}

TEST_F(MainWindow, CellEditorsWaitHiddenOnTheGridPages) {
    EXPECT_TRUE(form().ComboBox4->isHidden());
    EXPECT_TRUE(form().Edit2->isHidden());
    EXPECT_TRUE(form().Edit3->isHidden());
    EXPECT_TRUE(form().Label5->isHidden());
    EXPECT_TRUE(form().ProgressBar1->isHidden());
    EXPECT_EQ(form().ComboBox4->parentWidget(), form().TabSheet2);
    EXPECT_EQ(form().Edit2->parentWidget(), form().TabSheet3);
    EXPECT_EQ(form().Edit3->parentWidget(), form().TabSheet4);
    EXPECT_EQ(form().Label5->parentWidget(), form().TabSheet1);
    EXPECT_EQ(form().Edit2->size(), QSize(68, 26));
    EXPECT_EQ(form().Edit3->size(), QSize(41, 21));
    EXPECT_EQ(form().Edit3->maxLength(), 4);
    EXPECT_EQ(form().ProgressBar1->minimum(), 0);
    EXPECT_EQ(form().ProgressBar1->maximum(), 120);
    EXPECT_FALSE(form().ComboBox1->isEditable());
    EXPECT_FALSE(form().ComboBox2->isEditable());
    EXPECT_FALSE(form().ComboBox3->isEditable());
    EXPECT_FALSE(form().ComboBox4->isEditable());
}

struct WidthCase {
    int client; // the outer width counts the drawn frame of 8 pixels on top
    int loopColumn;
    int partitionColumn;
    int userColumn;
};

TEST_F(MainWindow, ColumnsFollowTheWindowWidth) {
    // The least window (client 688, outer 696) has the columns of the drawn layout.
    const WidthCase cases[] = {{688, 60, 63, 19}, {992, 98, 101, 29}, {769, 70, 73, 22}};
    for (const WidthCase& c : cases) {
        showAtClientWidth(c.client);
        SCOPED_TRACE(c.client);
        EXPECT_EQ(form().StringGrid1->columnWidth(0), 160);
        EXPECT_EQ(form().StringGrid2->columnWidth(0), 140);
        EXPECT_EQ(form().StringGrid3->columnWidth(0), 35);
        for (int col = 1; col <= 8; ++col) {
            EXPECT_EQ(form().StringGrid1->columnWidth(col), c.loopColumn);
            EXPECT_EQ(form().StringGrid2->columnWidth(col), c.partitionColumn);
        }
        for (int col = 1; col <= 31; ++col)
            EXPECT_EQ(form().StringGrid3->columnWidth(col), c.userColumn);
        EXPECT_EQ(form().ComboBox4->width(), c.loopColumn);
        EXPECT_EQ(form().Edit2->width(), c.partitionColumn);
    }
}

struct AccessCodeCase {
    const char* before; // accepted text already in the field
    int caret;          // where typing starts
    const char* typed;  // \b is Backspace
    const char* after;
    int caretAfter; // -1: at the end
};

TEST_F(MainWindow, AccessCodeTakesOnlyIntegerTexts) {
    EXPECT_EQ(form().Edit1->maxLength(), 8);
    EXPECT_EQ(form().Edit1->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form().Edit1->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, form().Edit1),
              '*');
    form().show();
    const AccessCodeCase cases[] = {
        {"5", 1, "2a", "52", -1},
        {"5", 1, "23456789", "52345678", -1}, // no ninth character
        {"1234", 1, "z", "1234", -1},         // refused in the middle: the caret goes to the end
        {"5", 1, "-", "5", -1},               // a sign after the digits
        {"5", 0, "-", "-5", 1},               // a sign before them
        {"0", 1, "x1", "01", -1},             // a bare hexadecimal prefix does not convert
        {"7", 0, " ", " 7", 1},               // leading blanks are skipped
        {"7", 1, " ", "7", -1},               // trailing ones are not
        {"77", 2, "\b\b", "", -1},            // emptying is allowed
        {"12", 2, "\b\bz1234", "1234", -1},   // ... and a refused change then keeps it empty
        {"99999999", 8, "\b0", "99999990", -1},
    };
    for (const AccessCodeCase& c : cases) {
        SCOPED_TRACE(c.typed);
        form().Edit1->setText(QLatin1String(c.before));
        form().Edit1->setCursorPosition(c.caret);
        QTest::keyClicks(form().Edit1, QLatin1String(c.typed));
        EXPECT_EQ(form().Edit1->text(), QLatin1String(c.after));
        EXPECT_EQ(form().Edit1->cursorPosition(),
                  c.caretAfter < 0 ? form().Edit1->text().size() : c.caretAfter);
    }
    // A Cyrillic letter is refused like a Latin one.
    form().Edit1->setText(QStringLiteral("5"));
    QTest::sendKeyEvent(QTest::Click, form().Edit1, Qt::Key_unknown, QStringLiteral("ж"), Qt::NoModifier);
    EXPECT_EQ(form().Edit1->text(), QStringLiteral("5"));
}

struct PastedCase {
    const char* pasted;
    const char* after;
};

TEST_F(MainWindow, AccessCodeRefusesTheValueThatMarksFailure) {
    const PastedCase cases[] = {
        {"$5F5E100", "3"}, // 100000000 in hexadecimal: refused like a text that does not convert
        {"$5F5E0FF", "$5F5E0FF"},
        {"+100", "+100"},
        {"4294967296", "42949672"}, // cut to eight characters, which convert
    };
    for (const PastedCase& c : cases) {
        form().Edit1->setText(QStringLiteral("3"));
        form().Edit1->selectAll();
        form().Edit1->insert(QLatin1String(c.pasted));
        EXPECT_EQ(form().Edit1->text(), QLatin1String(c.after)) << c.pasted;
    }
}

TEST_F(MainWindow, DefaultCodeBoxGreysTheAccessCode) {
    form().show();
    settle();
    form().Edit1->setText(QStringLiteral("1234"));
    const QPoint box(8, form().CheckBox14->height() / 2);
    QTest::mouseClick(form().CheckBox14, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_TRUE(form().CheckBox14->isChecked());
    EXPECT_FALSE(form().Edit1->isEnabled());
    QTest::mouseClick(form().CheckBox14, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_FALSE(form().CheckBox14->isChecked());
    EXPECT_TRUE(form().Edit1->isEnabled());
    EXPECT_EQ(form().Edit1->text(), QStringLiteral("1234"));
    // The device procedures tick the box themselves when the field is empty.
    form().CheckBox14->setChecked(true);
    EXPECT_FALSE(form().Edit1->isEnabled());
}

struct ProgressCase {
    int step;
    int ticksToHide;
};

TEST_F(MainWindow, ProgressBarFillsByTimeAndHidesWhenFull) {
    const ProgressCase cases[] = {{3, 40}, {8, 15}, {7, 18}, {1, 120}, {200, 1}};
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(c.step);
        form().progressStep = static_cast<uint8_t>(c.step);
        form().ProgressBar1->setValue(0);
        form().ProgressBar1->show();
        for (int tick = 1; tick < c.ticksToHide; ++tick) {
            form().Timer1Timer();
            EXPECT_EQ(form().ProgressBar1->value(), tick * c.step);
            ASSERT_FALSE(form().ProgressBar1->isHidden()) << "tick " << tick;
        }
        form().Timer1Timer();
        EXPECT_EQ(form().ProgressBar1->value(), 120);
        EXPECT_TRUE(form().ProgressBar1->isHidden());
        form().Timer1Timer(); // a hidden bar stays as it is
        EXPECT_EQ(form().ProgressBar1->value(), 120);
    }
    EXPECT_EQ(form().Timer1->interval(), 100);
}

// A line that is always there, to see whether ending the program lets go of it.
class QuietLine : public SerialLine {
  public:
    int read(uint8_t*, int) override { return 0; }
    bool write(const uint8_t*, int) override { return true; }
    void purgeInput() override {}
    void purgeOutput() override {}
};

TEST_F(MainWindow, ClosingOrExitEndsTheProgramAndFreesThePort) {
    const std::function<void(TForm1&)> ends[] = {
        [](TForm1& f) { f.close(); },
        [](TForm1& f) { f.N5->trigger(); },
    };
    for (const auto& end : ends) {
        form_ = std::make_unique<TForm1>();
        form().show();
        settle();
        Clock::setTerminating(false);
        Link::adoptPort(new QuietLine);
        QTimer::singleShot(0, form_.get(), [&] { end(form()); });
        QTimer guard; // ends a loop that the program failed to end
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        guard.start(5000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(form().isVisible());
        EXPECT_FALSE(Link::portOpen());
        EXPECT_TRUE(Clock::terminating());
    }
    EXPECT_TRUE(dialogs_.entries.empty());
}

TEST_F(MainWindow, ListsRunTheirProceduresOnlyWhenTheUserPicks) {
    form().show();
    form().ComboBox2->addItems({QStringLiteral("Расширитель 1"), QStringLiteral("Расширитель 2")});
    form().ComboBox2->setCurrentIndex(0); // chosen by the program: nothing runs
    form().ComboBox1->addItem(QStringLiteral("COM9"));
    form().ComboBox1->setCurrentIndex(0);
    EXPECT_TRUE(dialogs_.entries.empty());
    // Picked by the user: the read starts, and without a port its access step fails at once.
    QTest::keyClick(form().ComboBox2, Qt::Key_Down);
    EXPECT_FALSE(dialogs_.entries.empty());
}

TEST_F(MainWindow, HandsOverAndCommitsThroughWhatTheOwnerJoins) {
    int handOvers = 0;
    int commits = 0;
    form().N8Click(); // nothing joined yet: nothing happens
    form().MainMenu1Change();
    form().handOverToKeyProgrammer = [&] { ++handOvers; };
    form().commitUserCodeEdit = [&] { ++commits; };
    form().N8->trigger();
    form().session.onKeyDeviceFound();
    EXPECT_EQ(handOvers, 2);
    for (QMenu* menu : {form().FileMenu, form().ExpanderMenu})
        QMetaObject::invokeMethod(menu, "aboutToShow");
    EXPECT_EQ(commits, 2);
}

TEST_F(MainWindow, LinkDiagnosticsGoToTheHiddenLabel) {
    form().Label5->setText(QStringLiteral("left over"));
    Link::FetchReply(0x55); // starts a fresh trace; without a port it ends there
    EXPECT_TRUE(form().Label5->text().isEmpty());
    EXPECT_TRUE(form().Label5->isHidden());
}

TEST_F(MainWindow, FileItemsAskForAConfigurationFile) {
    form().N3->trigger(); // cancelled: nothing changes
    ASSERT_EQ(dialogs_.entries.size(), 1u);
    EXPECT_EQ(dialogs_.entries[0].kind, DialogRecorder::Kind::OpenFile);
    EXPECT_FALSE(form().config.loadedFromFile);
    form().N4->trigger();
    ASSERT_EQ(dialogs_.entries.size(), 2u);
    EXPECT_EQ(dialogs_.entries[1].kind, DialogRecorder::Kind::SaveFile);
    EXPECT_EQ(dialogs_.entries[1].text, QStringLiteral("Файлы конфигурации расширителя (*.okf)|*.okf"));
}

} // namespace
