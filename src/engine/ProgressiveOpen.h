#pragma once

// The reader side of opening a record set: a connection of its own, whose read transaction is the set's
// snapshot, reads the first rows and goes on with the rest in the background.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/FieldInfo.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corv {

class SnapshotData;

namespace engine {

// A crosstab's cells from pivotFirst on take the declared type its aggregate keeps, when it keeps one.
struct PivotType {
    int first = -1;
    std::string declared;
};

std::vector<FieldInfo> FieldsOf(sqlite3_stmt* stmt, const PivotType& pivot);

// The first rows of sql read on a connection of its own, which then goes on reading the rest in the
// background; its read transaction keeps the copy as of now. nullptr when that cannot be done, for the
// caller to read the set the ordinary way (and report any error the ordinary way). table: the table sql
// reads whole, if it does; such a set pages by row ids.
// reader is an idle read-only connection to reuse, or nullptr; on return it holds the connection to keep for
// the next call (nullptr when the connection went to a background loader or was given up).
std::shared_ptr<SnapshotData> OpenProgressively(const std::string& path, const std::string& sql,
                                                const PivotType& pivot,
                                                const std::optional<std::string>& table, sqlite3*& reader);

}  // namespace engine
}  // namespace corv
