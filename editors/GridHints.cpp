#include "editors/GridHints.h"

namespace {

// Rows 2..20 of the loop grid ([r - 2] = row r); row 1 depends on the type in the cell.
const char16_t* const kLoopRowHints[] = {
    u"Если отмечено, реле ЗО срабатывает\r\nпри тревоге ШС на 4 минуты, при\r\nпожаре ШС неограничено.",
    u"Если отмечено, реле СО срабатывает\r\nпри неисправности, тревоге и пожаре ШС",
    u"Если отмечено, реле ПЦН срабатывает при тревоге,\r\nвнимании, пожаре и неисправности ШС.",
    u"Если отмечено, реле ПЦН срабатывает при тревоге,\r\nвнимании, пожаре и неисправности ШС.",
    u"Если отмечено, реле ПЦН срабатывает при тревоге,\r\nвнимании, пожаре и неисправности ШС.",
    u"Если отмечено, реле ПЦН срабатывает при тревоге,\r\nвнимании, пожаре и неисправности ШС.",
    u"   Только для пожарных ШС.\r\nЕсли номер пары совпадает с номером ШС\r\nизвещение \"Пожар\" "
    u"формируется при \r\nсрабатывании одного ШС.\r\nЕсли парными выбраны два разных ШС, при\r\nсрабатывании "
    u"одного из них формируется\r\nизвещение \"Внимание\", при срабатывании\r\nобоих извещение \"Пожар\".",
    u"Если отмечено, при первой пожарной тревоге сброс\r\nпитания ШС и ожидание повторения тревоги в "
    u"течение\r\n30 секунд для формирования извещения пожар по ШС.",
    u"Только для пожарных ШС, если отмечено, на ПЦН4\r\nвыводятся только неисправности ШС, ПЦН4 "
    u"должен\r\nбыть запрограммирован для этого ШС.",
    u"Только для пожарных ШС, если отмечено, ШС показывает\r\nтекущее состояние неисправности и "
    u"автоматически\r\nсбрасывает это состояние при его пропадании.",
    u"Если отмечено - задержка по ШС включаться\r\nне будет.\r\nЕсли не отмечено, по ШС будет "
    u"включаться\r\nзадержка одновременно с задержкой по ШС1\r\n(на вход и выход).",
    u"Если отмечено, при снятии ШС реле ПЦН разомкнуты, а при взятии замкнуты.\r\nЕсли не отмечено, реле ПЦН "
    u"всегда замкнуты и размыкаются только по тревоге.",
    u"Если отмечено, при снятии ШС с охраны с него снимается питание.",
    u"Если отмечено, для охранных ШС в снятом состоянии\r\nконтролирутся неисправность, если ШС нарушен - "
    u"\r\nвыдается неисправность.",
    u"Время реакции ШС. Короткое время\r\nреакции рекомендуется использовать\r\nтолько для тревожной "
    u"сигнализации.",
    u"Если отмечено, тревога ШС не индицируется\r\nна ПУ, ЗО и СО, а выдается только на реле ПЦН.",
    u"Если отмечено, можно брать под охрану разделы и пользователей\r\nв списках ШС которых есть "
    u"неисправности (ШС с неисправностями\r\nпод охрану не берутся).",
    u"Если отмечено, при снятии ШС выдается\r\nкоманда на устройство управления замком.",
    u"Введите краткое описание ШС (максимальная длина 20 символов).\r\nОписание будет выводиться при "
    u"просмотре состояния ШС на ПУ\r\nв верхней строке ЖКИ.",
};

struct TypeHint {
    const char16_t* type;
    const char16_t* hint;
};
const TypeHint kTypeHints[] = {
    {u"Охранный", u"Охранный ШС (снимается с охраны)"},
    {u"Тревожный",
     u"Охранный круглосуточный ШС\r\nне снимается с охраны, работает \r\nв режиме тревожной сигнализации"},
    {u"Дымовой пожарный", u"Пожарный ШС с регистрацией срабатывания\r\nтолько активных пожарных "
                          u"извещателей\r\nформирующих извещение о пожаре увеличением\r\nпотребляемого тока "
                          u"или извещателей с\r\nнормально разомкнутой выходной цепью."},
    {u"Тепловой пожарный",
     u"Пожарный ШС с регистрацией срабатывания только\r\nизвещателей с нормально замкнутой выходной "
     u"цепью\r\nформирующих извещение о пожаре размыканием\r\nвыходной цепи (в таком режиме в конце ШС "
     u"должен\r\nбыть установлен резистрор сопротивлением 2,2 кОм)."},
};
const char16_t* const kNoTypeHint = u"Установите тип ШС";

const char16_t* const kPartitionLoopsHint = u"Выберите ШС, входящие в состав раздела";
const char16_t* const kPartitionHeaderHint = u"Инвертировать выбор всех ШС входящих в раздел";
const char16_t* const kPartitionCaptionStart = u"Инвертировать выбор ШС";
const char16_t* const kPartitionCaptionEnd = u" во всех разделах";
const char16_t* const kGlobalNumberHint = u"Введите глобальный номер раздела от 0 до 255";
const char16_t* const kPartitionCodeHint =
    u"Задайте код доступа для взятия и снятия раздела\r\n{при считывании свойств расширителя был установлен "
    u"код по умолчанию\r\nкоторый будет записан если изменениялся состав или номер раздела}";
const char16_t* const kUserLoopsHint = u"Выберите ШС, входящие в список пользователя";
const char16_t* const kUserHeaderHint = u"Инвертировать выбор всех ШС, входящих в список пользователя";
const char16_t* const kUserCaptionStart = u"Инвертировать выбор ШС";
const char16_t* const kUserCaptionEnd = u" в списках всех пользователей";
const char16_t* const kUserCodeReadHint = u"Задайте код доступа для взятия и снятия списка ШС "
                                          u"пользователя\r\n(коды пользователей были прочтены из расширтеля)";
const char16_t* const kUserCodeDefaultHint =
    u"Задайте код доступа для взятия и снятия списка ШС пользователя\r\n{при считывании свойств расширителя "
    u"был установлен код по умолчанию\r\nкоторый будет записан если изменениялся список ШС пользователя}";

// The corner cells do nothing on a double-click; their hints say how the grid is laid out.
const char16_t* const kPartitionsCornerHint =
    u"Столбцы - глобальные разделы 1..8, строки - номер, ШС и код доступа раздела";
const char16_t* const kUsersCornerHint =
    u"Столбцы - пользователи 0..30, строки - ШС списка и код доступа пользователя";

} // namespace

QString loopRowHint(int row, const QString& cellText) {
    if (row == 1) {
        for (const TypeHint& entry : kTypeHints)
            if (cellText == QStringView(entry.type)) return QString::fromUtf16(entry.hint);
        return QString::fromUtf16(kNoTypeHint);
    }
    if (row < 2 || row > 20) return QString();
    return QString::fromUtf16(kLoopRowHints[row - 2]);
}

QString partitionsHint(int column, int row) {
    QString hint = QString::fromUtf16(kPartitionsCornerHint);
    if (column != 0 || row != 0) hint = QString::fromUtf16(kPartitionLoopsHint);
    if (row == 0 && column >= 1 && column <= 8) hint = QString::fromUtf16(kPartitionHeaderHint);
    if (column == 0 && row >= 2 && row <= 9)
        hint = QString::fromUtf16(kPartitionCaptionStart) + QString::number(row - 1) +
               QString::fromUtf16(kPartitionCaptionEnd);
    if (row == 1) hint = QString::fromUtf16(kGlobalNumberHint);
    if (row == 10) hint = QString::fromUtf16(kPartitionCodeHint);
    return hint;
}

QString usersHint(int column, int row, bool codesRead) {
    QString hint = QString::fromUtf16(kUsersCornerHint);
    if (column != 0 || row != 0) hint = QString::fromUtf16(kUserLoopsHint);
    if (row == 0 && column >= 1 && column <= 31) hint = QString::fromUtf16(kUserHeaderHint);
    if (column == 0 && row >= 1 && row <= 8)
        hint = QString::fromUtf16(kUserCaptionStart) + QString::number(row) +
               QString::fromUtf16(kUserCaptionEnd);
    if (row == 9) hint = QString::fromUtf16(codesRead ? kUserCodeReadHint : kUserCodeDefaultHint);
    return hint;
}
