#include "SerialLocks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

// The folders QSerialPort looks at, in its order; it takes the first one it may write to.
constexpr const char* kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                        "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
constexpr char kLockPrefix[] = "LCK..";

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
