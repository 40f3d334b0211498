#pragma once

#include <chrono>
#include <string>

namespace corv {

// Reads a Jet 3 / Jet 4 file into a new SQLite file at sqlitePath: every user table with every column,
// Null kept as Null, declared types per DeclaredType. The reading runs in the separate corvidel-jetread
// process: if it crashes, hangs past the time limit or reports an error, the output file is removed and
// CorvError 3343 is thrown; a missing input is 3024. The parent process is never put at risk.
void ConvertJetFile(
    const std::string& mdbPath, const std::string& sqlitePath,
    std::chrono::milliseconds timeLimit = std::chrono::milliseconds(0) /* 0: scaled by size */);

// Where the corvidel-jetread program is: $CORVIDEL_JETREAD, else beside the running executable or in its
// installed helper folder.
std::string JetReaderProgram();

}  // namespace corv
