#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace corv {

// Reads a Jet 3 / Jet 4 file into a new SQLite file at sqlitePath: every user table with every column,
// Null kept as Null, declared types per DeclaredType. The reading runs in the separate corvidel-jetread
// process, which ends with this one: if it crashes, hangs past the time limit or reports an error, the output
// file is removed and CorvError 3343 is thrown; a missing input is 3024, and a copy that cannot be written
// 3035 when its folder is full, else 3000. The parent process is never put at risk.
void ConvertJetFile(
    const std::string& mdbPath, const std::string& sqlitePath,
    std::chrono::milliseconds timeLimit = std::chrono::milliseconds(0) /* 0: scaled by size */);

// The time a read of a file of this size may take: 2 s, plus 1 s for every MB started. The reader's CPU
// limit is the same number of seconds.
std::chrono::seconds JetReadTimeLimit(std::uintmax_t fileBytes);

// What the thread waiting for the reader tells its wait hook: Begin once the wait has lasted a moment,
// then Tick about every 50 ms, and End after the last Tick.
enum class ReaderWait { Begin, Tick, End };
using ReaderWaitHook = std::function<void(ReaderWait)>;

// Installs the hook that lets the calling thread (the GUI thread) repaint and show the busy pointer while it
// waits for a read; reads on any other thread never call it. The hook runs inside ConvertJetFile: it may
// repaint and deliver queued events, but must not take user input, open dialogs or throw. A read it starts
// itself runs without the hook. An empty hook removes it.
void SetJetReaderWaitHook(ReaderWaitHook hook);

// Where the corvidel-jetread program is: $CORVIDEL_JETREAD, else what the program set at start-up (it knows
// its installed layout), else beside the running executable.
std::string JetReaderProgram();
void SetJetReaderProgram(std::string path);

}  // namespace corv
