// Writes a synthetic auction's round results files, for trying the program out and for benchmarks.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "fixture/FixtureAuction.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: corvidel-fixture FOLDER [--auction N] [--rounds N] [--markets N] [--bidders N]\n"
                 "                        [--bids N] [--seed N]\n");
}

bool ParseInt(const char* s, long long lo, long long hi, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    corv::fixture::AuctionOptions o;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage();
            return 0;
        }
        if (a.rfind("--", 0) == 0) {
            if (i + 1 >= argc) {
                Usage();
                return 2;
            }
            long long v = 0;
            const char* arg = argv[++i];
            bool ok = false;
            if (a == "--auction") {
                ok = ParseInt(arg, 0, 99, v);  // two digits in the file name
                o.auction = static_cast<int>(v);
            } else if (a == "--rounds") {
                ok = ParseInt(arg, 1, 999, v);  // three digits in the file name
                o.rounds = static_cast<int>(v);
            } else if (a == "--markets") {
                ok = ParseInt(arg, 1, 999, v);
                o.markets = static_cast<int>(v);
            } else if (a == "--bidders") {
                ok = ParseInt(arg, 1, 100000, v);
                o.bidders = static_cast<int>(v);
            } else if (a == "--bids") {
                ok = ParseInt(arg, 0, 100000000, v);
                o.bidsPerRound = static_cast<int>(v);
            } else if (a == "--seed") {
                ok = ParseInt(arg, 0, 0xFFFFFFFFll, v);
                o.seed = static_cast<std::uint32_t>(v);
            }
            if (!ok) {
                std::fprintf(stderr, "corvidel-fixture: bad option %s %s\n", a.c_str(), arg);
                Usage();
                return 2;
            }
        } else if (folder.empty()) {
            folder = a;
        } else {
            Usage();
            return 2;
        }
    }
    if (folder.empty()) {
        Usage();
        return 2;
    }
    try {
        auto paths = corv::fixture::WriteAuctionRounds(folder, o);
        for (const auto& p : paths) std::printf("%s\n", p.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvidel-fixture: %s\n", e.what());
        return 1;
    }
    return 0;
}
