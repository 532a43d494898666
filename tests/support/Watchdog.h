#pragma once

// Gives every test a time limit (ORTEX_TEST_TIMEOUT seconds, 120 unless set): a test that blocks on a
// modal dialog or a wait that never ends fails the run instead of hanging the suite.
void installWatchdog();
