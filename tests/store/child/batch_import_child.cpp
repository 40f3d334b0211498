// The batch import the crash test kills: argv[1] the program folder, argv[2] the round 1 file. Prints the
// number of each round as its import begins, and "done" at the end, so the test knows where it cut.
#include <cstdio>
#include <string>

#include "dialogue/AuctionCommands.h"
#include "support/ScriptedDesktop.h"

namespace {

class ReportingDesktop : public corv::test::ScriptedDesktop {
  public:
    using ScriptedDesktop::ScriptedDesktop;
    bool ProgressStep(int value, const std::string& text) override {
        std::printf("%d\n", value + 2);
        std::fflush(stdout);
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    ReportingDesktop desk(argv[1], {});
    desk.Install();
    desk.OpenFile(std::string(argv[2]));
    corv::store::AuctionSession session;
    corv::BatchImportAuction(session, {});
    const bool finished = !desk.boxes.empty() && desk.boxes.back().title == "Finished Batch Import";
    std::printf("%s\n", finished ? "done" : desk.boxes.empty() ? "no box" : desk.boxes.back().text.c_str());
    return finished ? 0 : 1;
}
