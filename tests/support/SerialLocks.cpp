#include "SerialLocks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

// The folders QSerialPort looks at, in its order; it takes the first one it may write to.
constexpr const char* kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                        "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
constexpr char kLockPrefix[] = "LCK..";
char ownFolder[PATH_MAX];
char machinesFolder[PATH_MAX + 32];

// True when the file's first line is the calling process's id.
bool namesThisProcess(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[32];
    const ssize_t n = read(fd, text, sizeof text);
    close(fd);
    long pid = 0;
    ssize_t i = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        pid = pid * 10 + (text[i] - '0');
    return i > 0 && i < n && text[i] == '\n' && pid == static_cast<long>(getpid());
}

void sweep(const char* folder) {
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    alignas(dirent64) char entries[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, dir, entries, sizeof entries);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            if (std::strncmp(entry->d_name, kLockPrefix, sizeof kLockPrefix - 1) != 0) continue;
            char path[512];
            const size_t folderLength = std::strlen(folder);
            const size_t nameLength = std::strlen(entry->d_name);
            if (folderLength + 1 + nameLength >= sizeof path) continue;
            std::memcpy(path, folder, folderLength);
            path[folderLength] = '/';
            std::memcpy(path + folderLength + 1, entry->d_name, nameLength + 1);
            if (namesThisProcess(path)) unlink(path);
        }
    }
    close(dir);
}

} // namespace

void RemoveOwnSerialLocks() {
    for (const char* folder : kLockFolders) {
        if (access(folder, R_OK | W_OK) != 0) continue;
        sweep(folder);
        return;
    }
}

namespace {

bool writeFile(const char* path, const char* text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t length = static_cast<ssize_t>(std::strlen(text));
    const bool written = write(fd, text, static_cast<size_t>(length)) == length;
    close(fd);
    return written;
}

// A mount namespace of the process's own: as root directly, as another user inside a user namespace
// in which it is itself and nobody else.
bool ownMountNamespace() {
    if (unshare(CLONE_NEWNS) == 0) return true;
    // Root without the right to it: a user namespace would map root alone and cost the tests their
    // other users.
    if (geteuid() == 0) return false;
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    char uids[32], gids[32];
    std::snprintf(uids, sizeof uids, "%u %u 1", uid, uid);
    std::snprintf(gids, sizeof gids, "%u %u 1", gid, gid);
    if (writeFile("/proc/self/setgroups", "deny") && writeFile("/proc/self/uid_map", uids) &&
        writeFile("/proc/self/gid_map", gids))
        return true;
    // Unmapped, the process could create no file: no way back, so no test runs.
    std::fputs("test start: a user namespace without a map of its user\n", stderr);
    _exit(2);
}

} // namespace

bool TakeOwnLockFolder() {
    // The first of the folders that only serve for locks; the later ones of the list (/tmp, ...) are
    // no lock folder of the machine's.
    const char* folder = nullptr;
    for (const char* candidate : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp"})
        if (realpath(candidate, ownFolder) != nullptr) {
            folder = ownFolder;
            break;
        }
    // The root as the machine's namespace has it: paths under it stay in that namespace's mounts.
    const int machineRoot = folder ? open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
    // Nothing mounted here reaches the machine's namespace (a shared root would carry the tmpfs there).
    if (machineRoot < 0 || !ownMountNamespace() ||
        mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) != 0 ||
        mount("tmpfs", folder, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=1777,size=1m") != 0) {
        if (machineRoot >= 0) close(machineRoot);
        ownFolder[0] = '\0';
        return false;
    }
    std::snprintf(machinesFolder, sizeof machinesFolder, "/proc/self/fd/%d%s", machineRoot, folder);
    return true;
}

const char* OwnLockFolder() {
    return ownFolder;
}

const char* MachinesLockFolder() {
    return ownFolder[0] ? machinesFolder : ownFolder;
}
