// A million rows of five columns imported from a CSV file into an auction, as File > Import Table from Text
// File and corvidel-import --table do it: read, detect, scan every row, write in one transaction. Prints
// figures; asserts nothing.

#include <cstdio>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "store/Auction.h"
#include "store/TextTableImport.h"
#include "support/AuctionDatabase.h"

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    corv::test::TempFolder folder;
    const std::string csv = folder.File("markets.csv");
    {
        std::ofstream out(csv, std::ios::binary);
        out << "Market,Population,Bandwidth,Licensed,Note\n";
        for (long i = 0; i < rows; ++i)
            out << "MTA" << i << ',' << (i * 37) % 1000003 << ',' << (i % 97) * 0.25 << ",2024-" << 1 + i % 12
                << '-' << 10 + i % 18 << ",\"Block " << char('A' + i % 6) << ", paired\"\n";
    }
    const std::string auction = corv::test::BuildAuctionDatabase(folder.Path(), {});
    corv::store::AuctionSession session;
    corv::store::Auction& open = session.Open(auction);

    bench::Timer total;
    bench::Timer step;
    const std::string bytes = corv::store::LoadTextFile(csv);
    const corv::store::TextFormat format = corv::store::DetectFormat(bytes);
    const std::string text = corv::store::DecodeText(bytes, format.encoding);
    step.Print("read and detect", "");
    step = {};
    const corv::store::TextScan scan = corv::store::ScanText(text, format, 0, [](double) { return true; });
    step.Print("scan every row (types, ragged rows)", "");
    step = {};
    const std::size_t written = corv::store::WriteTextTable(open, text, format, {"Markets", scan.columns},
                                                            [](double) { return true; });
    step.Print("write in one transaction", "");
    char what[96];
    std::snprintf(what, sizeof what, "import of %zu rows x %zu columns (%.1f MB)", written,
                  scan.columns.size(), bytes.size() / 1e6);
    total.Print(what, "aim < 5000 ms");
    session.Close();
}
