// The program's start-up against a bare Qt Widgets dialog, timed by the X server's events: one
// connection watches the root window for new top-level windows and each new window for its
// MapNotify, so nothing polls. Rounds alternate the two programs; each round's ratio is the
// program's time over the dialog's, and the median of those ratios is the figure. Once a window
// is shown, the process's proportional set size (PSS: shared pages divided among the processes
// that map them) is read, then the process is asked to end (SIGTERM).
//
//   startup_bench PROGRAM BARE_DIALOG [ROUNDS]      (default 21; run on a desktop)
#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Shown {
    double ms = 0;
    double pssMiB = 0;
};

// The window's WM_NAME, or an empty text.
std::string WindowName(xcb_connection_t* x, xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    if (reply == nullptr) {
        return {};
    }
    std::string name(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<size_t>(xcb_get_property_value_length(reply)));
    free(reply);
    return name;
}

double PssMiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long kib = 0;
    while (rollup >> key) {
        if (key == "Pss:") {
            rollup >> kib;
            return static_cast<double>(kib) / 1024.0;
        }
        rollup.ignore(4096, '\n');
    }
    return 0;
}

// Starts the program and waits for a window named `title` to be mapped; then its memory.
std::optional<Shown> StartAndWait(xcb_connection_t* x, xcb_window_t root, const std::string& exe,
                                  const std::string& title, const std::string& workDir) {
    // Every new top-level window is reported, and then its own mapping.
    const uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(x);
    // Nothing older than this start may count.
    while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) {
        free(stale);
    }
    const char* argv[] = {exe.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (chdir(workDir.c_str()) != 0) {
        return std::nullopt;
    }
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return std::nullopt;
    }
    posix_spawn_file_actions_destroy(&actions);

    std::optional<Shown> shown;
    std::vector<xcb_window_t> candidates;
    const uint32_t windowEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    while (!shown) {
        xcb_generic_event_t* event = xcb_wait_for_event(x);
        if (event == nullptr) {
            break; // the connection is gone
        }
        const uint8_t type = event->response_type & 0x7F;
        if (type == XCB_CREATE_NOTIFY) {
            const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
            xcb_change_window_attributes(x, created->window, XCB_CW_EVENT_MASK, &windowEvents);
            candidates.push_back(created->window);
            xcb_flush(x);
        } else if (type == XCB_MAP_NOTIFY) {
            const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
            const auto at = Clock::now();
            if (std::find(candidates.begin(), candidates.end(), mapped->window) !=
                    candidates.end() &&
                WindowName(x, mapped->window) == title) {
                shown = Shown{std::chrono::duration<double, std::milli>(at - start).count(), 0};
            }
        }
        free(event);
    }
    if (shown) {
        usleep(300 * 1000); // what the first paint and the loop's first rounds add
        shown->pssMiB = PssMiB(pid);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return shown;
}

struct Figures {
    double min, median, max;
};

Figures Spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench PROGRAM BARE_DIALOG [ROUNDS]\n");
        return 2;
    }
    // Whole paths: the programs start in the program's folder.
    char resolved[PATH_MAX];
    const std::string program = realpath(argv[1], resolved) ? resolved : argv[1];
    const std::string bare = realpath(argv[2], resolved) ? resolved : argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 21;
    const std::string programDir = program.substr(0, program.rfind('/'));
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "startup_bench: no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;

    // One of each first, so that both read their libraries from the page cache.
    if (!StartAndWait(x, root, program, "Vistrel", programDir) ||
        !StartAndWait(x, root, bare, "BareDialog", programDir)) {
        std::fprintf(stderr, "startup_bench: a window never showed (%s, %s)\n", program.c_str(),
                     bare.c_str());
        return 1;
    }
    std::vector<double> programMs, bareMs, ratios, programPss, barePss;
    for (int round = 0; round < rounds; ++round) {
        const auto a = StartAndWait(x, root, program, "Vistrel", programDir);
        const auto b = StartAndWait(x, root, bare, "BareDialog", programDir);
        if (!a || !b) {
            std::fprintf(stderr, "startup_bench: round %d failed\n", round + 1);
            return 1;
        }
        programMs.push_back(a->ms);
        bareMs.push_back(b->ms);
        ratios.push_back(a->ms / b->ms);
        programPss.push_back(a->pssMiB);
        barePss.push_back(b->pssMiB);
    }
    const Figures p = Spread(programMs), d = Spread(bareMs), r = Spread(ratios);
    const Figures pm = Spread(programPss), dm = Spread(barePss);
    std::printf("start to main window mapped (MapNotify), %d interleaved rounds, min/median/max:\n",
                rounds);
    std::printf("  program      %6.1f / %6.1f / %6.1f ms\n", p.min, p.median, p.max);
    std::printf("  bare dialog  %6.1f / %6.1f / %6.1f ms\n", d.min, d.median, d.max);
    std::printf("  ratio per round %.2f / %.2f / %.2f   (goal <= 1.5, moonshot 1.2)\n", r.min,
                r.median, r.max);
    std::printf("memory once shown, PSS, min/median/max:\n");
    std::printf("  program      %6.1f / %6.1f / %6.1f MiB\n", pm.min, pm.median, pm.max);
    std::printf("  bare dialog  %6.1f / %6.1f / %6.1f MiB\n", dm.min, dm.median, dm.max);
    std::printf("  ratio of medians %.2f   (goal <= 1.3)\n", pm.median / dm.median);
    xcb_disconnect(x);
    return 0;
}
