#pragma once

namespace corv {

// Set to 1, the Jet reader runs unconfined: for debugging the reader, never for files of unknown origin.
inline constexpr const char* kJetReaderNoSandboxVar = "CORVIDEL_JETREAD_NO_SANDBOX";

// Whether the reader confines itself (the variable above is not set to 1).
bool JetSandboxWanted();

// Confines the calling single-threaded process for the rest of its life: no new privileges, and a seccomp
// filter that lets it read and write the descriptors it already holds, manage its memory and exit. Opening,
// creating or removing files, sockets, starting programs and signalling other processes end the process
// with SIGSYS. Call it once the input, the output and the character conversion are all set up.
// Throws std::runtime_error when the kernel refuses the filter.
void ConfineJetReader();

}  // namespace corv
