#pragma once
#include <QString>
#include <vector>

// The fixed texts of the main window that are too long or too many to sit in the layout code:
// the hints of its controls and the captions of the general property boxes.
namespace MainTexts {

struct ControlHint {
    const char* control; // object name of the control
    QString text;        // CR LF and LF CR exactly as the hint shows them
};
const std::vector<ControlHint>& controlHints();

// Caption of CheckBox1..CheckBox13 (box = 1..13); empty for any other number.
QString generalPropertyCaption(int box);
// Caption of the exit delay list (Label1).
QString exitDelayCaption();

} // namespace MainTexts
