#include "app/BundledFonts.h"

void loadBundledFonts() {}
