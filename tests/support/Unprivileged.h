#pragma once
#include <functional>
#include <string>

// Root ignores file and folder permissions, so a test of what an ordinary user meets runs its body
// in a forked child that has given up root for the user "nobody". Run as an ordinary user, the
// child simply keeps that user.
struct UnprivilegedRun {
    bool ran = false;    // false: no unprivileged user could be had; `reason` says why
    bool passed = false; // the body returned true in the child
    std::string reason;
};

// The body runs in the child only; it must not touch gtest (report through its result instead).
UnprivilegedRun RunUnprivileged(const std::function<bool()>& body);

// The uid and gid the child runs as (for chown of the files a test prepares); -1 when none exists.
int UnprivilegedUid();
int UnprivilegedGid();
