#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

#include "engine/CorvError.h"

namespace corv {

class Database;

// ---- The auction database as a file: built whole under a passing name, set aside, renamed into place ----

// File system failures in the numbering the program's messages use. source: the file read, when it matters
// whether that one is missing.
CorvError FileError(const std::error_code& ec, const std::filesystem::path& source);
// A command's failure as the error it reports; nullopt for a failure no error number explains.
std::optional<CorvError> CommandError(const std::exception& e);
// Whether two paths name one file (by the file system, else by their spelling); never for an empty one.
bool SameFile(const std::string& a, const std::string& b);
// Moves a file the user let go of to the desktop's trash, or removes it where there is no trash; a failure
// is a CorvError.
void DiscardFile(const std::string& path);

// A second path-not-found failure of the same step is not the step's to report: it goes to whoever called
// the command, as the retry has nothing more to try.
struct PathNotFoundAgain {
    CorvError error;
};
// Runs one numbered step. Path not found: makes the program's folder and runs the step again from its start;
// a second path-not-found then arrives as PathNotFoundAgain.
void RetryInProgramFolder(const std::function<void()>& step);

// The passing name a file is built under beside target, and its removal with any companion files.
std::string BuildingPath(const std::string& target);
void DiscardBuild(const std::string& path);

// The new auction database at target: the round 1 file's tables and rows and the catalog, built whole under
// a passing name, then renamed into place after any earlier file of that name is set aside (closed first
// when it is the open auction: releaseOpen is called; it may throw to keep that file, and nothing changes).
// The earlier file goes to keepAsideAs when given and free, else to KeepAsidePath(target). A source that is
// no database, or whose rows are not round 1 of that auction (CheckRoundFileRows), leaves everything as it
// was.
void WriteAuctionFile(const std::string& source, const std::string& target,
                      const std::function<void(const std::string& path)>& releaseOpen,
                      const std::string& keepAsideAs = {});
// Where an earlier auction database at target is kept when a new one takes its place now:
// "AuctionN YYYY-MM-DD HHMMSS.mdb" beside it, with " (2)", " (3)", ... after the time when that is taken.
std::string KeepAsidePath(const std::string& target);

// An index on Round, named "sysRoundIndex TABLE", for every table viewers read a round at a time. Runs in
// the caller's transaction; a failure is a CorvError.
void IndexRoundColumns(Database& db);

}  // namespace corv
