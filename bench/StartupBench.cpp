// Start-up: the time from starting a program to its window being mapped on
// the display, for the program and for a minimal Qt window of the same size,
// started alternately and watched from a separate connection to the display
// (the MapNotify of a new top-level window). Needs an X display (xvfb-run).
//
//   voltrex_bench_startup <program> <folder> <runs>
//
// The program runs in folder, which holds its Voltrex2.ini; each one is
// ended (SIGTERM) once its window is mapped.

#include <xcb/xcb.h>
#include <QApplication>
#include <QWidget>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int MinimalWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.resize(750, 499);
    window.show();
    return QApplication::exec();
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// Starts argv in folder and returns the milliseconds until a window is
// mapped, or -1 after 10 s without one.
double TimeToMap(xcb_connection_t* connection, const std::vector<std::string>& command,
                 const std::string& folder) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> arguments;
        for (const std::string& argument : command) {
            arguments.push_back(const_cast<char*>(argument.c_str()));
        }
        arguments.push_back(nullptr);
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    double mapped = -1.0;
    while (Milliseconds(start) < 10000.0) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (event == nullptr) {
            usleep(100);
            continue;
        }
        const bool isMap = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
        std::free(event);
        if (isMap) {
            mapped = Milliseconds(start);
            break;
        }
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    // Whatever the ending child's windows reported is not the next one's.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        std::free(event);
    }
    return mapped;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--minimal") == 0) {
        return MinimalWindow(argc, argv);
    }
    if (argc != 4) {
        std::fputs("usage: voltrex_bench_startup <program> <folder> <runs>\n", stderr);
        return 2;
    }
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return 2;
    }
    self[length] = '\0';
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fputs("no X display\n", stderr);
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    std::vector<double> minimal;
    std::vector<double> program;
    const int runs = std::atoi(argv[3]);
    for (int run = 0; run < runs; ++run) {
        minimal.push_back(TimeToMap(connection, {self, "--minimal"}, ""));
        program.push_back(TimeToMap(connection, {argv[1]}, argv[2]));
    }
    const double minimalMs = Median(minimal);
    const double programMs = Median(program);
    std::printf(
        "start-up to mapped (median of %d): minimal Qt window %.1f ms, program %.1f ms, "
        "ratio %.2f\n",
        runs, minimalMs, programMs, programMs / minimalMs);
    xcb_disconnect(connection);
    return 0;
}
