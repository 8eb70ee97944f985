#pragma once
// What the benchmarks share: one wall clock for the program's key presses and
// the recorder's sample times, and a key released at a known moment.

#include <cstdio>

#include <time.h>
#include <unistd.h>

#include <X11/Xlib.h>

// From the XTest extension, whose header need not be installed.
extern "C" int XTestFakeKeyEvent(Display*, unsigned int keycode, Bool isPress, unsigned long delay);

inline double Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Presses a key and prints the moments just before and after its release
// reached the X server.
inline int Press(const char* keysym) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym));
    if (code == 0) return 1;
    XTestFakeKeyEvent(display, code, True, 0);
    XSync(display, False);
    usleep(50000);
    const double before = Now();
    XTestFakeKeyEvent(display, code, False, 0);
    XSync(display, False);
    const double after = Now();
    std::printf("%.6f %.6f\n", before, after);
    XCloseDisplay(display);
    return 0;
}
