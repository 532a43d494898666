#include "Unprivileged.h"

#include "SerialLocks.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const passwd* NobodyEntry() {
    return getpwnam("nobody");
}

} // namespace

int UnprivilegedUid() {
    if (geteuid() != 0) return static_cast<int>(geteuid());
    const passwd* entry = NobodyEntry();
    return entry ? static_cast<int>(entry->pw_uid) : -1;
}

int UnprivilegedGid() {
    if (geteuid() != 0) return static_cast<int>(getegid());
    const passwd* entry = NobodyEntry();
    return entry ? static_cast<int>(entry->pw_gid) : -1;
}

UnprivilegedRun RunUnprivileged(const std::function<bool()>& body) {
    UnprivilegedRun run;
    const bool root = geteuid() == 0;
    if (root && !NobodyEntry()) {
        run.reason = "no user \"nobody\" to drop root privileges to";
        return run;
    }
    const uid_t uid = static_cast<uid_t>(UnprivilegedUid());
    const gid_t gid = static_cast<gid_t>(UnprivilegedGid());
    const pid_t child = fork();
    if (child < 0) {
        run.reason = "fork failed";
        return run;
    }
    if (child == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(3);
        if (root && setuid(0) == 0) _exit(3); // privileges must really be gone
        const bool passed = body();
        RemoveOwnSerialLocks(); // _exit closes no port: its lock files would stay
        _exit(passed ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        run.reason = "the unprivileged child did not end normally";
        return run;
    }
    if (WEXITSTATUS(status) == 3) {
        run.reason = "root privileges could not be dropped";
        return run;
    }
    run.ran = true;
    run.passed = WEXITSTATUS(status) == 0;
    return run;
}
