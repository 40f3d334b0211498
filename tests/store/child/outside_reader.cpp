// Another program reading an auction with SQLite alone, as the sqlite3 shell does: open read-write, read,
// close. Being the last connection it knows of, its close folds the log back and removes it.
#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 1;
    sqlite3_busy_timeout(db, 5000);
    const int rc = sqlite3_exec(db, "SELECT count(*) FROM sysRounds", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : 1;
}
