#!/usr/bin/env bash
# Renders the main window offscreen (empty at start, and with expander 1 of the demonstration read),
# the exchange journal of that read, the comparison window with a file that differs from expander 1,
# the site window beside a folder of the demonstration's expanders and the demonstration's own window, and copies the pictures the README shows into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tests_app tests_e2e tests_compare tests_site -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
build/tests/tests_app --gtest_filter='MainWindowPictures.*:DemoControl.*' >/dev/null
build/tests/tests_e2e --gtest_filter='InstallerDay.ReadEdit*' >/dev/null
build/tests/tests_compare --gtest_filter='Comparison.WithTheExpander*' >/dev/null
build/tests/tests_site --gtest_filter='Site.ComparedWithAFolder*' >/dev/null
cp build/screens/day-expander1-loops.png docs/main-window-loops.png
cp build/screens/day-expander1-general.png docs/main-window-general.png
cp build/screens/demo-control.png docs/demo-control.png
cp build/screens/day-journal.png docs/journal.png
cp build/screens/compare.png docs/compare.png
cp build/screens/site.png docs/site.png
echo "pictures in build/screens; README pictures updated in docs/"
