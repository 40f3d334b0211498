// corvidel-import AUCTION ROUNDFILE...: imports round results files into an auction database, in round
// order, each in one transaction, the way File > Import does, for scripts and cron jobs. A missing auction is
// created from its round 1 file, the way the program creates one.
// corvidel-import --table NAME FILE AUCTION: a table from a text file, as File > Import Table from Text File.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "platform/InstallPaths.h"
#include "platform/TempFileCleanup.h"
#include "store/Auction.h"
#include "store/AuctionFile.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"
#include "store/RoundTables.h"
#include "store/TextTableImport.h"

namespace {

// Exit codes; scripts rely on them.
constexpr int kAllImported = 0;
constexpr int kImportFailed = 1;
constexpr int kUsage = 2;
constexpr int kRefused = 3;
constexpr int kNoAuction = 4;

const std::string kHelp =
    "usage: corvidel-import AUCTION ROUNDFILE...\n"
    "       corvidel-import --table NAME [--skip-bad-rows] [--replace] FILE AUCTION\n"
    "       corvidel-import --help | --version\n"
    "\n"
    "Imports round results files (named like 14_007.mdb: auction 14, round 7) into the auction\n"
    "database AUCTION (AuctionN.mdb), lowest round first, each round in one transaction. Round files\n"
    "are kept. When AUCTION does not exist and the lowest round given is 1, AUCTION is created from\n"
    "that file as the program creates an auction, and the other rounds are imported into it; an\n"
    "existing auction is never replaced. A round already imported, a file of another auction and a\n"
    "file whose bids (" +
    std::string(corv::store::kBidsTable) +
    ") hold another round or auction than its name says are\n"
    "refused. The program stops at the first round that fails; rounds imported before it stay\n"
    "imported. An auction database still in the Jet format takes no rounds (Error 3027): convert it\n"
    "in Corvidel first.\n"
    "\n"
    "Output, one line per round tried:\n"
    "  Round N imported from FILE                       (standard output)\n"
    "  Round N not imported from FILE: Error E: TEXT    (standard error, then the program ends)\n"
    "A file name or an auction database that cannot be used is reported as\n"
    "  FILE: Error E: TEXT                              (standard error)\n"
    "\n"
    "Exit codes:\n"
    "  0  every round imported\n"
    "  1  a round failed to import (or a file name is not a round file name, NN_RRR.mdb: nothing\n"
    "     imported)\n"
    "  2  wrong arguments\n"
    "  3  a round refused: already imported (Error 3022), or of another auction or another round than\n"
    "     its name says (Error 3001)\n"
    "  4  the auction database cannot be opened, is in the Jet format (Error 3027), or its name holds\n"
    "     no auction number\n"
    "\n"
    "Example: build auction 31 from the round files in a folder:\n"
    "  corvidel-import ~/.local/share/Corvidel/Auction31.mdb ~/Downloads/31_*.mdb\n"
    "\n"
    "--table NAME reads FILE as CSV or TSV (delimiter, header and encoding detected as the program\n"
    "does) and makes it the table NAME of AUCTION, registered for the viewers, in one transaction.\n"
    "Rows with another number of fields than the first refuse the import, each line listed, unless\n"
    "--skip-bad-rows leaves them out. A table of that name is replaced only with --replace; a table\n"
    "of the round results files never is. An empty file is refused; a header alone makes an empty\n"
    "table. Output: \"Table NAME imported from FILE: N rows\" on standard output. Exit codes as\n"
    "above: 0 imported; 1 the file cannot be read or is empty, or the import failed; 2 wrong\n"
    "arguments; 3 refused: bad rows, a name that exists or is a round results file's table; 4 as above.\n";

struct RoundFile {
    std::string path;
    int round;
};

void Report(const std::string& what, const corv::CorvError& e) {
    std::fprintf(stderr, "%s: Error %d: %s\n", what.c_str(), e.number(), e.description().c_str());
}

corv::CorvError AsCorvError(const std::exception& e) {
    if (auto* c = dynamic_cast<const corv::CorvError*>(&e)) return *c;
    return corv::CorvError(corv::err::EngineFailure, e.what());
}

int RoundFailed(const RoundFile& f, const std::exception& e) {
    const corv::CorvError error = AsCorvError(e);
    Report("Round " + std::to_string(f.round) + " not imported from " + f.path, error);
    const bool refused =
        error.number() == corv::kRoundAlreadyImported || error.number() == corv::kRoundOfAnotherAuction;
    return refused ? kRefused : kImportFailed;
}

void Imported(const RoundFile& f) {
    std::printf("Round %d imported from %s\n", f.round, f.path.c_str());
    std::fflush(stdout);
}

// The new auction at path from its round 1 file. An auction that appears at path meanwhile is kept as it is.
void CreateAuction(const std::string& path, int number, const RoundFile& roundOne) {
    const std::string fileName = corv::SplitFilePath(roundOne.path, true);
    const int fileAuction = corv::AuctionNumberFromFileName(fileName);
    if (fileAuction != number)
        throw corv::CorvError(corv::kRoundOfAnotherAuction,
                              fileName + " is a round results file of auction " +
                                  std::to_string(fileAuction) + ", not of auction " + std::to_string(number));
    corv::WriteAuctionFile(roundOne.path, path, [](const std::string&) {
        throw corv::CorvError(corv::kRoundAlreadyImported, "The auction database already exists");
    });
}

// corvidel-import --table NAME [--skip-bad-rows] [--replace] FILE AUCTION
int ImportTable(const std::vector<std::string>& args) {
    corv::store::TextTableRequest request;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--table" && i + 1 < args.size() && request.table.empty()) {
            request.table = args[++i];
        } else if (args[i] == "--skip-bad-rows") {
            request.skipRaggedRows = true;
        } else if (args[i] == "--replace") {
            request.replace = true;
        } else if (args[i].starts_with("--")) {
            std::fprintf(stderr, "corvidel-import: unknown option %s\n", args[i].c_str());
            return kUsage;
        } else {
            operands.push_back(args[i]);
        }
    }
    if (request.table.empty() || operands.size() != 2) {
        std::fputs("usage: corvidel-import --table NAME [--skip-bad-rows] [--replace] FILE AUCTION\n",
                   stderr);
        return kUsage;
    }
    const std::string& file = operands[0];
    const std::string& auctionPath = operands[1];

    corv::store::AuctionSession session;
    corv::store::Auction* auction = nullptr;
    try {
        auction = &session.Open(auctionPath);
        if (auction->ReadOnly())
            throw corv::CorvError(
                corv::err::ReadOnlyDatabase,
                "The auction database is in the Jet format and open read-only; convert it in "
                "Corvidel to import into it.");
    } catch (const std::exception& e) {
        Report(auctionPath, AsCorvError(e));
        return kNoAuction;
    }
    const std::string what = "Table " + request.table + " not imported from " + file;
    try {
        const std::string bytes = corv::store::LoadTextFile(file);
        const corv::store::TextFormat format = corv::store::DetectFormat(bytes);
        const std::string text = corv::store::DecodeText(bytes, format.encoding);
        const corv::store::TextScan scan = corv::store::ScanText(text, format);
        if (scan.empty) throw corv::CorvError(corv::store::kTextFileEmpty, "The file is empty.");
        for (int line : scan.raggedLines)
            std::fprintf(stderr, "%s: line %d: another number of fields than the first row's %zu%s\n",
                         file.c_str(), line, scan.columns.size(), request.skipRaggedRows ? "; skipped" : "");
        if (!scan.raggedLines.empty() && !request.skipRaggedRows)
            throw corv::CorvError(
                corv::store::kTextRowsRagged,
                std::to_string(scan.raggedLines.size()) +
                    " rows have another number of fields; --skip-bad-rows leaves them out.");
        request.columns = scan.columns;
        const std::size_t rows = corv::store::WriteTextTable(*auction, text, format, request);
        std::printf("Table %s imported from %s: %zu rows\n", request.table.c_str(), file.c_str(), rows);
    } catch (const std::exception& e) {
        const corv::CorvError error = AsCorvError(e);
        Report(what, error);
        session.Close();
        const int n = error.number();
        const bool refused = n == corv::store::kTextRowsRagged || n == corv::err::TableExists ||
                             n == corv::store::kTableNameReserved || n == corv::err::InvalidName;
        return refused ? kRefused : kImportFailed;
    }
    session.Close();
    return kAllImported;
}

}  // namespace

int main(int argc, char** argv) {
    corv::LocateJetReader();
    corv::CleanTempFilesAtStart(true);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp.c_str(), stdout);
            return kAllImported;
        }
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("corvidel-import %d.%d.%d\n", CORVIDEL_VERSION_MAJOR, CORVIDEL_VERSION_MINOR,
                    CORVIDEL_VERSION_PATCH);
        return kAllImported;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table") == 0)
            return ImportTable(std::vector<std::string>(argv + 1, argv + argc));
    }
    if (argc < 3) {
        std::fputs("usage: corvidel-import AUCTION ROUNDFILE...\n", stderr);
        return kUsage;
    }

    std::vector<RoundFile> files;
    for (int i = 2; i < argc; ++i) {
        try {
            files.push_back({argv[i], corv::RoundNumberFromFileName(corv::SplitFilePath(argv[i], true))});
        } catch (const std::exception& e) {
            Report(argv[i], AsCorvError(e));
            return kImportFailed;
        }
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const RoundFile& a, const RoundFile& b) { return a.round < b.round; });

    // Without its folder there is no auction to create: the open below reports the missing file.
    auto next = files.begin();
    const std::filesystem::path target = std::filesystem::absolute(argv[1]);
    std::error_code ec;
    if (next->round == 1 && !std::filesystem::exists(target, ec) && !ec &&
        std::filesystem::is_directory(target.parent_path(), ec)) {
        int number = 0;
        try {
            number = corv::AuctionNumberOf(argv[1]);
        } catch (const std::exception& e) {
            Report(argv[1], AsCorvError(e));
            return kNoAuction;
        }
        try {
            CreateAuction(target.string(), number, *next);
            Imported(*next++);
        } catch (const std::exception& e) {
            return RoundFailed(*next, e);
        }
    }

    corv::store::AuctionSession session;
    corv::store::Auction* auction = nullptr;
    try {
        auction = &session.Open(argv[1]);  // a Jet auction database opens read-only, and is refused next
        corv::AuctionTakingRounds(*auction);
    } catch (const std::exception& e) {
        Report(argv[1], AsCorvError(e));
        return kNoAuction;
    }

    int code = kAllImported;
    for (; next != files.end(); ++next) {
        try {
            corv::ImportRoundFile(*auction, next->path);
            Imported(*next);
        } catch (const std::exception& e) {
            code = RoundFailed(*next, e);
            break;
        }
    }
    try {
        session.Close();
    } catch (const std::exception&) {
        // Every round is committed or rolled back already; closing has nothing left to lose.
    }
    return code;
}
