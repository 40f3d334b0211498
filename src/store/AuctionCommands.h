#pragma once

#include <string>

#include "store/RoundImport.h"

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

}  // namespace corv
