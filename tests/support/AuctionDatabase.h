#pragma once

#include <string>

#include "fixture/FixtureAuction.h"

class QApplication;

namespace corv::test {

// The one QApplication of a test program, made on first use (gtest_main owns main()). The default locale is
// pinned so shown numbers and dates do not depend on the machine.
QApplication& TestApp();

// A throw-away folder removed with the object.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// An auction database built from fixture round files the way creation and import leave it: round 1 copied,
// the three catalog tables added, later rounds appended and recorded. Written with SQLite directly so tests
// of the windows do not depend on the import commands. Returns the database's path.
std::string BuildAuctionDatabase(const std::string& folder, const fixture::AuctionOptions& options);

// Runs plain SQLite statements on a database file (test set-up only).
void RunSqlite(const std::string& path, const std::string& sql);
// One whole number from a SQLite query (test expectations).
long long QueryCount(const std::string& path, const std::string& sql);

}  // namespace corv::test
