#pragma once

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
// One later round appended to the open auction.
void ImportRound();
// A whole auction from a folder of round results files.
void BatchImportAuction(MainWindowHooks& main);

}  // namespace corv
