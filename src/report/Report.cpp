#include "report/Report.h"

#include <sqlite3.h>

#include <filesystem>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "standings/BidReader.h"

namespace corv::report {

using standings::Measure;

const char* TableName(Table table) {
    switch (table) {
        case Table::Markets:
            return "markets";
        case Table::Bidders:
            return "bidders";
        case Table::Changes:
            return "changes";
        case Table::Eligibility:
            return "eligibility";
        case Table::Rounds:
            return "rounds";
    }
    return "";
}

std::optional<Table> TableNamed(const std::string& name) {
    for (Table t : kTables)
        if (name == TableName(t)) return t;
    return std::nullopt;
}

const char* MeasureName(Measure measure) {
    return measure == Measure::Net ? "net" : "gross";
}

RoundReport BuildReport(std::shared_ptr<const standings::BidHistory> history, std::string auction, int round,
                        int since, Measure measure, const standings::MarketDataTable* marketData) {
    RoundReport r;
    r.auction = std::move(auction);
    r.round = round;
    r.since = since;
    r.measure = measure;
    if (marketData) {
        const standings::LicenceSizes sizes = standings::SizeLicences(*marketData, *history);
        r.standings = standings::ComputeRound(*history, round, measure, &sizes);
        r.marketData = ReportMarketData{marketData->name, marketData->leftOut};
    } else {
        r.standings = standings::ComputeRound(*history, round, measure);
    }
    r.changes = standings::ComputeChanges(*history, round, since, measure);
    r.eligibility = standings::ComputeEligibility(*history, r.standings);
    r.pace = standings::ComputePace(*history, measure, round);

    const standings::PaceRow& last = r.pace.back();
    r.totals.standing = r.standings.totals.standing;
    r.totals.previous = since > 0 ? r.pace[static_cast<std::size_t>(since - 1)].standing : 0;
    r.totals.change = r.totals.standing - r.totals.previous;
    r.totals.licencesWithHigh = r.standings.totals.withHigh;
    r.totals.bidsInRound = last.bids;
    r.totals.leaderChanges = r.changes.newLeaders;
    r.history = std::move(history);
    return r;
}

namespace {

[[noreturn]] void NotAnAuction(const std::string& path, const std::string& why) {
    throw ReportError{ReportError::NotAuction, path + " is not an auction database: " + why};
}

// sysRounds marks an auction, whatever the file is called.
bool HasRoundsTable(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'sysRounds' COLLATE "
                           "NOCASE",
                           -1, &st, nullptr) != SQLITE_OK)
        throw CorvError(err::EngineFailure, sqlite3_errmsg(db));
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw CorvError(err::EngineFailure, sqlite3_errmsg(db));
    return rc == SQLITE_ROW;
}

standings::LoadedAuction ReadFrom(sqlite3* db, const std::string& path) {
    if (!HasRoundsTable(db)) NotAnAuction(path, "it has no sysRounds table");
    return standings::ReadAuction(db);
}

}  // namespace

ReportAuction ReadReportAuction(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw ReportError{ReportError::Missing, path + ": no such file"};
    standings::LoadedAuction loaded;
    try {
        if (DbEngine::IsJetFile(path)) {
            // The engine reads a Jet file into a copy in memory; the file itself is only read.
            auto db = Engine().OpenDatabase(path);
            loaded = ReadFrom(db->Handle(), path);
        } else {
            standings::ReadConnection connection(path);
            loaded = ReadFrom(connection.Handle(), path);
        }
    } catch (const CorvError& e) {
        NotAnAuction(path, e.description());
    } catch (const std::exception& e) {
        NotAnAuction(path, e.what());
    }
    if (!loaded.history) NotAnAuction(path, loaded.problem);
    return {std::move(loaded.history), std::move(loaded.rounds), std::move(loaded.tables)};
}

}  // namespace corv::report
