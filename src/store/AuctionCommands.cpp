#include "store/AuctionCommands.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/AuctionDb.h"
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
int CreateFromRoundOne(const std::string& roundPath, const std::string& fileName) {
    const int auction = AuctionNumberFromFileName(fileName);
    const std::string target = Desktop().ProgramFolder() + "/Auction" + std::to_string(auction) + ".mdb";
    BusyPointer busy;
    RetryInProgramFolder([&] {
        WriteAuctionFile(roundPath, target, [](const std::string& path) {
            if (SameFile(path, AuctionDbPath())) CloseAuctionDb();
        });
    });
    RetryInProgramFolder([&] { OpenAuctionDb(target); });
    return auction;
}

// The file dialog both creation commands open with: the chosen file, or nullopt when the command ends here
// (cancelled: the opening question is asked again; no name).
std::optional<std::string> ChooseRoundFile(MainWindowHooks& main) {
    std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (!chosen) {
        main.FileOpen();
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

void RunCreateAuctionFrom(MainWindowHooks& main, const std::string& path) {
    if (!IsRoundOneFile(path)) return;
    const std::string fileName = SplitFilePath(path, true);
    const int auction = CreateFromRoundOne(path, fileName);
    const MsgAnswer answer =
        Desktop().MessageBox("Auction " + std::to_string(auction) +
                                 " has been successfully created.\r   Would you like to "
                                 "delete the round\r      results file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None, "Round Imported Successfully");
    if (answer == MsgAnswer::Yes) DeleteFile(path);
    main.SetCaption("Corvidel - " + AuctionDbPath());
}

void RunCreateAuction(MainWindowHooks& main) {
    const std::optional<std::string> chosen = ChooseRoundFile(main);
    if (chosen) RunCreateAuctionFrom(main, *chosen);
}

void RunBatchImport(MainWindowHooks& main) {
    const std::optional<std::string> chosen = ChooseRoundFile(main);
    if (!chosen || !IsRoundOneFile(*chosen)) return;
    const std::string& path = *chosen;
    const std::string fileName = SplitFilePath(path, true);
    const std::string folder = SplitFilePath(path, false);
    const std::string prefix = AuctionPrefixFromFileName(fileName);
    CreateFromRoundOne(path, fileName);
    main.SetCaption("Corvidel - " + AuctionDbPath());

    const int last = LastRoundInRow(folder, prefix, 2);
    int imported = 1;
    {
        ProgressScope progress;
        if (last > 1)
            progress.Begin("Batch Auction Import", "Importing round 2 of " + std::to_string(last), last - 1);
        imported = ImportRoundsInRow(folder, prefix, [&](int round) {
            if (!progress.Active()) return true;
            return Desktop().ProgressStep(round - 2, "Importing round " + std::to_string(round) + " of " +
                                                         std::to_string(std::max(last, round)));
        });
    }
    Desktop().MessageBox("Finished importing rounds 1 to " + std::to_string(imported) + ".", MsgButtons::OK,
                         MsgIcon::Information, "Finished Batch Import");
}

void RunImportRoundFile(const std::string& path) {
    const int round = RoundNumberFromFileName(SplitFilePath(path, true));
    if (!AuctionDb()) throw CorvError(err::ObjectNotSet, "Object variable or With block variable not set");

    auto present = AuctionDb()->OpenRecordset(
        "Select Round From sysRounds Where Round = " + std::to_string(round), RecordsetType::Snapshot);
    const bool already = present->RecordCount() > 0;
    present->Close();
    if (already) {
        if (Desktop().MessageBox(
                "    This round has already been imported!\rDo you wish to delete this round "
                "results file?",
                MsgButtons::YesNo, MsgIcon::None, "Round Already Imported") == MsgAnswer::Yes)
            DeleteFile(path);
        return;
    }

    {
        BusyPointer busy;
        AppendRound(path, round);
    }
    if (Desktop().MessageBox("  Round " + std::to_string(round) +
                                 " has been successfully imported.\rWould you like to delete the round "
                                 "results\r                file you just imported?",
                             MsgButtons::YesNo, MsgIcon::None,
                             "Round Imported Successfully") == MsgAnswer::Yes)
        DeleteFile(path);
}

void RunImportRound() {
    const std::optional<std::string> chosen = Desktop().OpenFileDialog(RoundFileDialog());
    if (chosen && !chosen->empty()) RunImportRoundFile(*chosen);
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

void CreateAuction(MainWindowHooks& main) {
    Handled([&] { RunCreateAuction(main); });
}

void CreateAuctionFrom(MainWindowHooks& main, const std::string& roundOnePath) {
    Handled([&] { RunCreateAuctionFrom(main, roundOnePath); });
}

void ImportRound() {
    if (!RequireWritableAuction()) return;
    Handled([] { RunImportRound(); });
}

void ImportRoundFrom(const std::string& path) {
    if (!RequireWritableAuction()) return;
    Handled([&] { RunImportRoundFile(path); });
}

void BatchImportAuction(MainWindowHooks& main) {
    Handled([&] { RunBatchImport(main); });
}

}  // namespace corv
