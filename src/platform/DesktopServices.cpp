#include "platform/DesktopServices.h"

#include <cstdio>
#include <cstdlib>

namespace corv {

namespace {
DesktopServices* g_desktop = nullptr;
}

DesktopServices& Desktop() {
    if (!g_desktop) {
        // A command reaching for the desktop before start-up installed one is a programming error; there is
        // nobody to show a box to.
        std::fputs("Corvidel: desktop services used before they were installed\n", stderr);
        std::abort();
    }
    return *g_desktop;
}

void SetDesktop(DesktopServices* services) {
    g_desktop = services;
}

}  // namespace corv
