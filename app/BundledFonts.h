#pragma once

// Makes the faces the program carries in its folder's fonts/ known to the toolkit, so that the PDF
// report, which asks for DejaVu Sans, looks the same where the system has no such face (Windows).
// Nothing on Linux, where the face comes with the system's fonts.
void loadBundledFonts();
