#pragma once
#include <QString>
#include <cstdint>

// Access codes of users and global partitions: four hexadecimal digits in 16 bits, the first digit
// in the most significant nibble; 0xFFFF is the empty code.

// The code of a code cell. The text is read as hexadecimal (0xFFFF when it is not); a text of fewer
// than four characters is completed with F digits at its low end.
uint16_t ParseCode(const QString& text);

// Four upper-case hexadecimal digits.
QString formatCode(uint16_t code);

// The codes reading puts in place when the device reports none: user u has the two decimal digits
// of u as nibbles in both bytes (user 12: 0x1212), partition p has p in both bytes (0x0303).
uint16_t defaultUserCode(int user);
uint16_t defaultPartitionCode(int partition);
