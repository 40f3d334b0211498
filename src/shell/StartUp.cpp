#include "shell/StartUp.h"

#include <QPointer>
#include <QRadioButton>
#include <QString>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "engine/Database.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "shell/ViewerLists.h"
#include "shell/frmMain.h"
#include "shell/frmOpeningQuestions.h"
#include "store/AuctionFile.h"
#include "store/RoundFileNames.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

// By content, not name: an auction database has sysRounds. A file the engine cannot open counts as an
// auction, so that opening it reports why, as File Open does.
bool IsRoundResultsFile(const std::string& path) {
    try {
        std::shared_ptr<Database> db = Engine().OpenDatabase(path);
        const std::vector<TableDef> tables = db->TableDefs();
        db->Close();
        return std::none_of(tables.begin(), tables.end(), [](const TableDef& t) {
            return QString::fromStdString(t.Name).compare("sysRounds", Qt::CaseInsensitive) == 0;
        });
    } catch (const std::exception&) {
        return false;
    }
}

// The highest round of the auction database at path.
long LastRoundOf(const std::string& path) {
    std::shared_ptr<Database> db = Engine().OpenDatabase(path);
    auto rs = db->OpenRecordset("SELECT Max([Round]) AS Last FROM sysRounds", RecordsetType::Snapshot);
    const long last = rs->Eof() ? 0 : static_cast<long>(rs->GetValue(0).asInteger());
    rs->Close();
    db->Close();
    return last;
}

// Creation from the command line would set an existing auction of that number aside unasked, as a double
// click on a round 1 file is easily made: ask first. Returns where the existing auction goes (empty when
// there is none), nullopt when the user keeps it.
std::optional<std::string> ConfirmCreatingAnew(const std::string& roundOnePath) {
    const std::string fileName = SplitFilePath(roundOnePath, true);
    const std::string target = NewAuctionPath(fileName);
    std::error_code ec;
    if (!std::filesystem::exists(target, ec)) return std::string();
    const std::string aside = KeepAsidePath(target);
    const std::string number = std::to_string(AuctionNumberFromFileName(fileName));
    const MsgAnswer a = Desktop().MessageBox(
        "Auction " + number + " already exists with rounds 1 to " + std::to_string(LastRoundOf(target)) +
            ".\rCreate it anew from this file? The existing auction is kept as '" +
            SplitFilePath(aside, true) + "'.",
        MsgButtons::YesNoDefaultNo, MsgIcon::Question, "New Auction");
    if (a != MsgAnswer::Yes) return std::nullopt;
    return aside;
}

}  // namespace

StartUp::StartUp(frmMain& main) : main_(main) {}

StartUp::~StartUp() = default;

void StartUp::LoadDialog() {
    dialog_ = std::make_unique<frmOpeningQuestions>(&main_);
    QObject::connect(dialog_.get(), &frmOpeningQuestions::HelpRequested, &main_,
                     [this] { main_.ShowHelp(false, true); });
}

void StartUp::CloseDialog() {
    dialog_.reset();
}

void StartUp::FileOpen() {
    if (!dialog_) LoadDialog();
    dialog_->setResult(frmOpeningQuestions::Closed);
    {
        DialogModal modal(*dialog_);
        Desktop().RunModal(modal);
    }
    const int outcome = dialog_->result();
    if (outcome == frmOpeningQuestions::CancelPressed) Desktop().EndProgram();
    // The close box unloads the dialog: a fresh one answers "Open an Existing Auction".
    if (outcome == frmOpeningQuestions::Closed) LoadDialog();
    const bool createNew = dialog_->optNew->isChecked();
    const bool batch = dialog_->optBatch->isChecked();

    try {
        if (createNew) {
            const MsgAnswer a = Desktop().MessageBox(
                "In order to create a new auction, you must have the round results\r"
                "     file from the first round of the auction you intend to create.\r"
                "                    Do you have the first round results file?",
                MsgButtons::YesNo, MsgIcon::None, "New Auction");
            if (a != MsgAnswer::Yes) {
                Desktop().MessageBox(
                    "Please download the first round results file for\r"
                    " the auction you intend to create and try again.",
                    MsgButtons::OK, MsgIcon::Information, "Please Try Again");
                Desktop().EndProgram();
            }
            CloseDialog();
            CreateAuction(main_.Session(), [this] { main_.FileOpen(); });
            return;
        }
        if (batch) {
            const MsgAnswer a = Desktop().MessageBox(
                "      In order to batch import a new auction, you must have the round results\r"
                "files for all the rounds of the auction you intend to create, in the same directory.\r"
                "       Do you have the all of the round results files in the same directory?",
                MsgButtons::YesNo, MsgIcon::None, "Batch Auction Import");
            if (a != MsgAnswer::Yes) {
                Desktop().MessageBox(
                    "Please download the first round results file for\r"
                    "the auction you intend to create and try again.",
                    MsgButtons::OK, MsgIcon::Information, "Please Try Again");
                Desktop().EndProgram();
            }
            Desktop().MessageBox(
                "Please select the round results file for \rround 1 of the auction you wish to create.",
                MsgButtons::OK, MsgIcon::Information, "Select File for Round 1");
            CloseDialog();
            BatchImportAuction(main_.Session(), [this] { main_.FileOpen(); });
            return;
        }
        OpenExistingAuction();
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

FileDialogOptions StartUp::AuctionFileDialog() {
    FileDialogOptions options;
    options.filter = "Access (*.mdb)|*.mdb";
    options.initialDir = Desktop().ProgramFolder();
    options.hideReadOnly = true;
    return options;
}

void StartUp::OpenExistingAuction() {
    const std::optional<std::string> chosen = Desktop().OpenFileDialog(AuctionFileDialog());
    if (!chosen) Desktop().EndProgram();
    if (chosen->empty()) return;
    OpenAuction(*chosen);
}

void StartUp::OpenAuction(const std::string& path) {
    QPointer<frmFlexGrid> viewer = main_.NewViewer();
    OpenAuctionDatabase(main_.Session(), path);
    main_.PopulateTables();
    main_.PopulateRounds();
    SelectFirstEntries(viewer);
    CloseDialog();
}

void StartUp::OpenCommandLineFile(const std::string& path) {
    try {
        if (!IsRoundResultsFile(path)) {
            OpenAuction(path);
            return;
        }
        if (RoundNumberFromFileName(SplitFilePath(path, true)) == 1) {
            if (const std::optional<std::string> aside = ConfirmCreatingAnew(path))
                CreateAuctionFrom(main_.Session(), path, *aside);
            return;
        }
        FileOpen();
        // When the question's command failed it has said so; there is nothing to import into.
        if (store::Auction* auction = main_.OpenAuction()) ImportRoundFrom(auction, path);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

}  // namespace corv
