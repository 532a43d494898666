#pragma once
#include <QString>
#include <optional>

// What the editors accept as cell texts. Pure rules, without widgets.

// A pair number: a text that converts to an integer from 1 to 8.
bool isPairNumber(const QString& text);
// A pair number while it is being typed: empty (for the time being) or a pair number.
bool acceptsPairNumberEdit(const QString& text);
// A description while it is being typed: fewer than 20 characters, every one of them in code page
// 1251 (what cannot be stored or sent is refused at once, not lost later).
bool acceptsDescriptionEdit(const QString& text);

// What a committed edit box puts into its cell; no value when the cell keeps its old text.
// Global number: any text that converts to 0..255, kept as typed.
std::optional<QString> committedGlobalNumber(const QString& typed);
// Partition code: hexadecimal 0..FFFF as four upper-case digits; an empty box empties the code.
std::optional<QString> committedPartitionCode(const QString& typed);
// User code: one or more hexadecimal digits up to FFFF, kept as typed; an empty box keeps the code.
std::optional<QString> committedUserCode(const QString& typed);
