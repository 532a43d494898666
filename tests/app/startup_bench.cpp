// Start-up as the user sees it: the time from exec of the program to the first expose of its main
// window on a real X server (Xvfb), and the resident memory it then holds, against a bare main
// window of the same caption and size started the same way in the same run. The product binary is
// measured untouched, from outside: this benchmark watches the X server for the moment the first
// top-level window is mapped, which on a server without a window manager is the moment that window
// is exposed. Median of 20 starts of each, taken in turns after one warm-up of each.
//
// STARTUP_PROGRAM and STARTUP_BARE_WINDOW name other binaries to measure; STARTUP_COMPARE names one
// more program (for example an older build) measured in the same turns.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kStarts = 20;
constexpr int kExposeTimeoutMs = 10000;
constexpr int kSettleMs = 300; // after the expose, before the resident memory is read

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string binary(const char* variable, const char* builtIn) {
    const char* chosen = std::getenv(variable);
    return chosen && *chosen ? chosen : builtIn;
}

// An X server of our own on a free display, gone with the object.
class Xvfb {
  public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args{"Xvfb", "-displayfd",   fd,          "-screen",
                                      "0",    "1280x1024x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        pollfd watch{fds[0], POLLIN, 0};
        if (poll(&watch, 1, 10000) > 0 && read(fds[0], number, sizeof number - 1) > 0)
            display_ = ":" + std::string(number, strcspn(number, "\n"));
        // Kept open while the server runs: it may write its number again, and a closed pipe ends it.
        pipe_ = fds[0];
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (pipe_ >= 0) close(pipe_);
    }
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
    int pipe_ = -1;
};

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

struct Start {
    double exposedMs = -1; // from exec; -1 when no window appeared
    long residentKiB = -1;
};

// Watches the root window of the display for windows being mapped.
class MapWatch {
  public:
    explicit MapWatch(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        std::unique_ptr<xcb_generic_error_t, decltype(&free)> error(xcb_request_check(connection_, cookie),
                                                                    free);
        ok_ = !error;
    }
    ~MapWatch() { xcb_disconnect(connection_); }
    bool ok() const { return ok_; }

    // Waits for the next top-level window to be mapped; its time, or -1 on time-out.
    double nextMap(int timeoutMs) {
        const double until = nowMs() + timeoutMs;
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const double at = nowMs();
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                                    !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
                free(event);
                if (mapped) return at;
            }
            const double left = until - nowMs();
            if (left <= 0) return -1;
            pollfd watch{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&watch, 1, static_cast<int>(left) + 1);
        }
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    bool ok_ = false;
};

Start startOnce(const std::string& program, const std::string& display, MapWatch& watch) {
    std::vector<std::string> env{"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};

    Start start;
    pid_t pid = -1;
    const double execAt = nowMs();
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return start;
    const double mappedAt = watch.nextMap(kExposeTimeoutMs);
    if (mappedAt >= 0) {
        start.exposedMs = mappedAt - execAt;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        start.residentKiB = residentKiB(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return start;
}

template <typename T> T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    double exposedMs;
    double residentMiB;
};

TEST(StartupBench, ProgramAgainstBareWindowOnXvfb) {
    std::vector<std::string> programs{binary("STARTUP_PROGRAM", STARTUP_PROGRAM),
                                      binary("STARTUP_BARE_WINDOW", STARTUP_BARE_WINDOW)};
    if (const char* other = std::getenv("STARTUP_COMPARE"); other && *other) programs.push_back(other);
    Xvfb server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    MapWatch watch(server.display());
    ASSERT_TRUE(watch.ok());

    std::vector<std::vector<double>> exposed(programs.size());
    std::vector<std::vector<long>> resident(programs.size());
    for (int round = 0; round <= kStarts; ++round) {
        for (size_t which = 0; which < programs.size(); ++which) {
            const Start s = startOnce(programs[which], server.display(), watch);
            ASSERT_GE(s.exposedMs, 0) << programs[which] << " showed no window";
            if (round == 0) continue; // the warm-up: files into the page cache
            exposed[which].push_back(s.exposedMs);
            resident[which].push_back(s.residentKiB);
        }
    }
    std::printf(
        "\nFrom exec to the first expose of the main window on Xvfb, median of %d starts after one warm-up;\n"
        "resident memory %d ms after it.\n",
        kStarts, kSettleMs);
    const char* labels[] = {"program", "bare window", "compared"};
    std::vector<Figures> f;
    for (size_t which = 0; which < programs.size(); ++which) {
        f.push_back({median(exposed[which]), median(resident[which]) / 1024.0});
        std::printf("%-12s %7.1f ms  (min %6.1f, max %6.1f)  %6.1f MiB   %s\n", labels[which],
                    f.back().exposedMs, *std::min_element(exposed[which].begin(), exposed[which].end()),
                    *std::max_element(exposed[which].begin(), exposed[which].end()), f.back().residentMiB,
                    programs[which].c_str());
    }
    for (size_t which = 0; which < programs.size(); which += 2)
        std::printf("%-12s ratio %.2f to the bare window (aim: at most 1.3), memory %+.1f MiB (aim: at most "
                    "+5 MiB)\n",
                    labels[which], f[which].exposedMs / f[1].exposedMs,
                    f[which].residentMiB - f[1].residentMiB);
    std::printf("\n");
}

} // namespace
