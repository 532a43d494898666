#pragma once
#include <QByteArray>
#include <QString>

// Every text on the line and in the files is in the single-byte Cyrillic code page 1251.
QString fromCp1251(const QByteArray& bytes);
QByteArray toCp1251(const QString& text);
// True when every character of the text has a place in code page 1251.
bool fitsCp1251(const QString& text);
