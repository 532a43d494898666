#pragma once
#include <QString>
#include <vector>

// The hints of the main window's controls: too long and too many to sit in the layout code.
namespace MainTexts {

struct ControlHint {
    const char* control; // object name of the control
    QString text;        // CR LF and LF CR exactly as the hint shows them
};
const std::vector<ControlHint>& controlHints();

} // namespace MainTexts
