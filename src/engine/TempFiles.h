#pragma once

#include <string>
#include <string_view>

namespace corv::engine {

// The folder temporary files go to: the one SQLite picks for its own ($SQLITE_TMPDIR, $TMPDIR, /var/tmp,
// /usr/tmp, /tmp, the first that can be written), so that a full temporary folder is named rightly
// whichever of the two filled it.
std::string TempFolder();

// This process's own folder inside TempFolder(), mode 0700, made on first use and removed at exit. Its name
// holds the process id and start time, so that a later start can tell a dead run's folder from a live
// one's. Throws CorvError when it cannot be made.
std::string PrivateTempFolder();

// A new empty file in the private folder, created exclusively with mode 0600; name says what it holds.
std::string NewPrivateTempFile(std::string_view name);

// Removes the private folder with what it holds. Safe in a signal handler.
void RemovePrivateTempFolder() noexcept;

// Removes the temporary files of this user's runs whose process is gone: their private folders, and the
// files earlier versions left under names of their own. Another user's, and a live process's, stay. Every
// program calls it at start; it looks in TempFolder() and in the system's temporary folder, or in folder.
void RemoveLeftoverTempFiles();
void RemoveLeftoverTempFiles(const std::string& folder);

}  // namespace corv::engine
