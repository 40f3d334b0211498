#pragma once

#include <string>

namespace corv {

// Where the program's own files are: beside the running executable when it runs from the build folder,
// else at their installed places, taken relative to the executable's folder so a moved prefix still works.

// The folder of the running executable ("" when it cannot be told).
std::string ExecutableFolder();

// The helper program name (the Jet reader) for an executable in exeFolder: beside it, else in the
// installed helper folder. When neither exists, the path beside it (the start then fails with its error).
std::string HelperProgramPath(const std::string& exeFolder, const std::string& name);

// The data file name (the help document) for an executable in exeFolder: in the installed data folder,
// else in the source tree's docs/help seen from build/bin. "" when there is none.
std::string DataFilePath(const std::string& exeFolder, const std::string& name);

// Tells the engine where this installation's Jet reader is. Every program calls it once at start-up.
void LocateJetReader();

}  // namespace corv
