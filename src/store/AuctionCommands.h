#pragma once

#include <optional>
#include <string>

namespace corv {

// What the store commands need of the main window.
class MainWindowHooks {
  public:
    virtual ~MainWindowHooks() = default;
    virtual void FileOpen() = 0;  // ask the opening question again
    virtual void SetCaption(const std::string& caption) = 0;
};

// A downloaded round 1 file becomes a new auction database in the program's folder.
void CreateAuction(MainWindowHooks& main);
// The same with the round 1 file already chosen, as after the file dialog.
void CreateAuctionFrom(MainWindowHooks& main, const std::string& roundOnePath);
// One later round appended to the open auction.
void ImportRound();
// The same with the round results file already chosen.
void ImportRoundFrom(const std::string& path);
// A whole auction from a folder of round results files.
void BatchImportAuction(MainWindowHooks& main);

// ---- Imports nobody is asked about: following the downloads folder, and corvidel-import ----

// The numbers of the two refusals.
inline constexpr int kRoundAlreadyImported = 3022;
inline constexpr int kRoundOfAnotherAuction = 3001;

// The open auction's number, from its file name (AuctionN.mdb); nullopt when none is open or the name
// holds no number.
std::optional<int> OpenAuctionNumber();
// The highest round in the open auction's sysRounds.
int LastImportedRound();
// File > Import's atomic append of one round results file, without its questions; the file is kept.
// Refuses a file of another auction than the open one and a round already imported. Returns the round.
// Every failure arrives as a CorvError with the auction unchanged.
int ImportRoundFile(const std::string& path);

}  // namespace corv
