#include "dialogue/AuctionCommands.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/AuctionFile.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"

namespace corv {

namespace {

constexpr const char* kRoundFileFilter = "Access (*.mdb)|*.mdb";

void ShowError(const CorvError& e) {
    ShowErrorBox(ErrorForm::ColonNoSpace, e.number(), e.description());
}

FileDialogOptions RoundFileDialog() {
    FileDialogOptions o;
    o.filter = kRoundFileFilter;
    o.initialDir = Desktop().DownloadsFolder();
    o.hideReadOnly = true;
    return o;
}

void ShowWrongFile() {
    Desktop().MessageBox("This file does not contain round 1!\r           Please try again.", MsgButtons::OK,
                         MsgIcon::None, "Wrong File");
}

// Creation steps shared by the single and the batch command. Returns the auction number.
int CreateFromRoundOne(store::AuctionSession& session, const std::string& roundPath,
                       const std::string& fileName, const std::string& keepAsideAs = {}) {
    const int auction = AuctionNumberFromFileName(fileName);
    const std::string target = NewAuctionPath(fileName);
    BusyPointer busy;
    RetryInProgramFolder([&] {
        WriteAuctionFile(
            roundPath, target,
            [&session](const std::string& path) {
                if (session.Current() && SameFile(path, session.Current()->Path())) session.Close();
            },
            keepAsideAs);
    });
    RetryInProgramFolder([&] { session.Open(target); });
    return auction;
}

// The file dialog both creation commands open with: the chosen file, or nullopt when the command ends here
// (cancelled: the opening question is asked again; no name).
std::optional<std::string> ChooseRoundFile(const std::function<void()>& askAgain) {
    std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (!chosen) {
        if (askAgain) askAgain();
        return std::nullopt;
    }
    if (chosen->empty()) return std::nullopt;
    return chosen;
}

// Whether path names a round 1 file; "Wrong File" when not.
bool IsRoundOneFile(const std::string& path) {
    if (RoundNumberFromFileName(SplitFilePath(path, true)) == 1) return true;
    ShowWrongFile();
    return false;
}

void RunCreateAuctionFrom(store::AuctionSession& session, const std::string& path,
                          const std::string& keepAsideAs = {}) {
    if (!IsRoundOneFile(path)) return;
    const std::string fileName = SplitFilePath(path, true);
    const int auction = CreateFromRoundOne(session, path, fileName, keepAsideAs);
    const MsgAnswer answer =
        Desktop().MessageBox("Auction " + std::to_string(auction) +
                                 " has been successfully created.\r   Would you like to "
                                 "delete the round\r      results file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None, "Round Imported Successfully");
    if (answer == MsgAnswer::Yes) DiscardFile(path);
}

void RunCreateAuction(store::AuctionSession& session, const std::function<void()>& askAgain) {
    const std::optional<std::string> chosen = ChooseRoundFile(askAgain);
    if (chosen) RunCreateAuctionFrom(session, *chosen);
}

void RunBatchImport(store::AuctionSession& session, const std::function<void()>& askAgain) {
    const std::optional<std::string> chosen = ChooseRoundFile(askAgain);
    if (!chosen || !IsRoundOneFile(*chosen)) return;
    const std::string& path = *chosen;
    const std::string fileName = SplitFilePath(path, true);
    const std::string folder = SplitFilePath(path, false);
    const std::string prefix = AuctionPrefixFromFileName(fileName);
    CreateFromRoundOne(session, path, fileName);
    store::Auction& auction = *session.Current();

    const int last = LastRoundInRow(folder, prefix, 2);
    int imported = 1;
    {
        ProgressScope progress;
        if (last > 1)
            progress.Begin("Batch Auction Import", "Importing round 2 of " + std::to_string(last), last - 1);
        imported =
            ImportRoundsInRow(auction, folder, prefix, [&](int round, const std::function<void()>& append) {
                if (progress.Active() &&
                    !Desktop().ProgressStep(round - 2, "Importing round " + std::to_string(round) + " of " +
                                                           std::to_string(std::max(last, round))))
                    return;
                BusyPointer busy;
                append();
            });
    }
    Desktop().MessageBox("Finished importing rounds 1 to " + std::to_string(imported) + ".", MsgButtons::OK,
                         MsgIcon::Information, "Finished Batch Import");
}

void RunImportRoundFile(store::Auction* auction, const std::string& path) {
    const int round = RoundNumberFromFileName(SplitFilePath(path, true));
    if (!auction) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");
    if (auction->HasRound(round)) {
        if (Desktop().MessageBox(
                "    This round has already been imported!\rDo you wish to delete this round "
                "results file?",
                MsgButtons::YesNo, MsgIcon::None, "Round Already Imported") == MsgAnswer::Yes)
            DiscardFile(path);
        return;
    }

    {
        BusyPointer busy;
        AppendRound(*auction, path, round);
    }
    if (Desktop().MessageBox("  Round " + std::to_string(round) +
                                 " has been successfully imported.\rWould you like to delete the round "
                                 "results\r                file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None,
                             "Round Imported Successfully") == MsgAnswer::Yes)
        DiscardFile(path);
}

void RunImportRound(store::Auction* auction) {
    const std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (chosen && !chosen->empty()) RunImportRoundFile(auction, *chosen);
}

// The command's one handler: the error box, except for a repeated path-not-found, which the caller gets.
template <class F>
void Handled(F&& body) {
    try {
        body();
    } catch (const PathNotFoundAgain& again) {
        throw again.error;
    } catch (const std::exception& e) {
        const std::optional<CorvError> error = CommandError(e);
        if (!error) throw;
        ShowError(*error);
    }
}

}  // namespace

store::Auction& OpenAuctionDatabase(store::AuctionSession& session, const std::string& path) {
    return session.Open(path, [](const std::function<void()>& convert) {
        if (Desktop().MessageBox("This auction database is in the Jet format.\rConvert it to Corvidel's own "
                                 "format now? The original is kept.",
                                 MsgButtons::YesNo, MsgIcon::Question,
                                 "Convert Auction Database") != MsgAnswer::Yes)
            return;
        BusyPointer busy;
        convert();
    });
}

void CreateAuction(store::AuctionSession& session, const std::function<void()>& askAgain) {
    Handled([&] { RunCreateAuction(session, askAgain); });
}

void CreateAuctionFrom(store::AuctionSession& session, const std::string& roundOnePath,
                       const std::string& keepAsideAs) {
    Handled([&] { RunCreateAuctionFrom(session, roundOnePath, keepAsideAs); });
}

std::string NewAuctionPath(const std::string& roundFileName) {
    return Desktop().ProgramFolder() + "/Auction" + std::to_string(AuctionNumberFromFileName(roundFileName)) +
           ".mdb";
}

void ImportRound(store::Auction* auction) {
    if (!RequireWritableAuction(auction)) return;
    Handled([&] { RunImportRound(auction); });
}

void ImportRoundFrom(store::Auction* auction, const std::string& path) {
    if (!RequireWritableAuction(auction)) return;
    Handled([&] { RunImportRoundFile(auction, path); });
}

void BatchImportAuction(store::AuctionSession& session, const std::function<void()>& askAgain) {
    Handled([&] { RunBatchImport(session, askAgain); });
}

bool RequireWritableAuction(const store::Auction* auction) {
    if (!auction || !auction->ReadOnly()) return true;
    Desktop().MessageBox("This auction database is open read-only. Reopen it and convert it to change it.",
                         MsgButtons::OK, MsgIcon::Exclamation, "Read-Only Auction");
    return false;
}

}  // namespace corv
