#include "platform/TempFileCleanup.h"

#include <csignal>

#include "engine/TempFiles.h"

namespace corv {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void RemoveTempFilesAndEnd(int number) {
    engine::RemovePrivateTempFolder();
    std::signal(number, SIG_DFL);
    std::raise(number);  // delivered once this handler returns
}

}  // namespace

void CleanTempFilesAtStart(bool endOnTerminationSignals) {
    engine::RemoveLeftoverTempFiles();
    if (!endOnTerminationSignals) return;
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndEnd;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) sigaddset(&action.sa_mask, number);
    for (int number : kSignals) {
        struct sigaction before {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

}  // namespace corv
