// corvidel-import AUCTION ROUNDFILE...: imports round results files into an auction database, in round
// order, each in one transaction, the way File > Import does, for scripts and cron jobs.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "platform/InstallPaths.h"
#include "store/Auction.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"

namespace {

// Exit codes; scripts rely on them.
constexpr int kAllImported = 0;
constexpr int kImportFailed = 1;
constexpr int kUsage = 2;
constexpr int kRefused = 3;
constexpr int kNoAuction = 4;

constexpr const char* kHelp =
    "usage: corvidel-import AUCTION ROUNDFILE...\n"
    "\n"
    "Imports round results files (named like 14_007.mdb: auction 14, round 7) into the auction\n"
    "database AUCTION (AuctionN.mdb), lowest round first, each round in one transaction. Round files\n"
    "are kept. A round already imported and a file of another auction are refused. The program\n"
    "stops at the first round that fails; rounds imported before it stay imported. An auction\n"
    "database still in the Jet format takes no rounds (Error 3027): convert it in Corvidel first.\n"
    "\n"
    "Output, one line per round tried:\n"
    "  Round N imported from FILE                       (standard output)\n"
    "  Round N not imported from FILE: Error E: TEXT    (standard error, then the program ends)\n"
    "A file name or an auction database that cannot be used is reported as\n"
    "  FILE: Error E: TEXT                              (standard error)\n"
    "\n"
    "Exit codes:\n"
    "  0  every round imported\n"
    "  1  a round failed to import (or a file name is not a round file name: nothing imported)\n"
    "  2  wrong arguments\n"
    "  3  a round refused: already imported (Error 3022) or of another auction (Error 3001)\n"
    "  4  the auction database cannot be opened, or its name holds no auction number\n";

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

}  // namespace

int main(int argc, char** argv) {
    corv::LocateJetReader();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return kAllImported;
        }
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

    corv::store::AuctionSession session;
    corv::store::Auction* auction = nullptr;
    try {
        auction = &session.Open(argv[1], corv::store::JetAuctionOpen::ReadOnly);
        if (!auction->Number())
            throw corv::CorvError(
                corv::kRoundOfAnotherAuction,
                "The auction number cannot be read from the name of " + corv::SplitFilePath(argv[1], true));
    } catch (const std::exception& e) {
        Report(argv[1], AsCorvError(e));
        return kNoAuction;
    }

    int code = kAllImported;
    for (const RoundFile& f : files) {
        try {
            corv::ImportRoundFile(*auction, f.path);
            std::printf("Round %d imported from %s\n", f.round, f.path.c_str());
            std::fflush(stdout);
        } catch (const std::exception& e) {
            const corv::CorvError error = AsCorvError(e);
            Report("Round " + std::to_string(f.round) + " not imported from " + f.path, error);
            const bool refused = error.number() == corv::kRoundAlreadyImported ||
                                 error.number() == corv::kRoundOfAnotherAuction;
            code = refused ? kRefused : kImportFailed;
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
