#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Database.h"
#include "engine/Value.h"

namespace corv::store {

class Auction;

// What follows the open auction (the main window's caption, lists and following of the downloads folder).
// Called on the thread that made the change, after it is committed.
class AuctionListener {
  public:
    virtual ~AuctionListener() = default;
    virtual void AuctionOpened(Auction& /*auction*/) {}
    // Before the auction's connection closes: whoever reads the file lets go now, so that the close is the
    // last one, folds the log back and removes it with the -shm.
    virtual void AuctionClosing(Auction& /*auction*/) {}
    virtual void AuctionClosed() {}
    virtual void RoundImported(Auction& /*auction*/, int /*round*/) {}
    virtual void TableAdded(Auction& /*auction*/, const std::string& /*table*/) {}
    virtual void TableDropped(Auction& /*auction*/, const std::string& /*table*/) {}
};

// A name as Jet SQL writes it: in brackets.
std::string SqlName(const std::string& name);
// A text value as Jet SQL writes it: in single quotes, quotes inside doubled.
std::string SqlText(const std::string& text);
// The same in double quotes, as the statements that name a file after IN write it.
std::string SqlDoubleQuoted(const std::string& text);

// The six statistics tables, shown whole.
bool IsStatisticsTable(const std::string& tableName);
// The program's own tables ("sys"), Jet's ("MSys") and the engine's ("sqlite_"): they hold no round data.
bool IsProgramOwnTable(const std::string& tableName);

// One open auction database: its file, its catalog (sysSuppliedTables, sysTables, sysRounds) and the news of
// its changes. Used on the user-interface thread, as its Database is.
class Auction {
  public:
    // events: told of every change; may be null.
    Auction(std::shared_ptr<Database> db, std::string path, AuctionListener* events);
    Auction(const Auction&) = delete;
    Auction& operator=(const Auction&) = delete;

    const std::shared_ptr<Database>& Db() const { return db_; }
    Database& Data() const { return *db_; }
    const std::string& Path() const { return path_; }
    // A Jet file opened without converting it: nothing can be written to it.
    bool ReadOnly() const;
    // The number in the file name (AuctionN.mdb); nullopt when the name holds none.
    std::optional<int> Number() const;

    // ---- catalog reads; failures arrive as CorvError ----
    // The tables that came with the round files, in the catalog's order.
    std::vector<std::string> SuppliedTables();
    // Whether the table came with the round files; a failed lookup counts as not supplied.
    bool IsSupplied(const std::string& table);
    // The tables a viewer offers (sysTables), in the engine's row order.
    std::vector<std::string> ViewableTables();
    // The rounds imported (sysRounds) as stored, in the engine's row order.
    std::vector<Value> Rounds();
    // The highest round imported; 0 for none.
    int LastRound();
    bool HasRound(int round);
    // Whether a viewer shows the table one round at a time: supplied, not a statistics table, and no quote in
    // its name.
    bool IsPerRound(const std::string& table);
    // The record source of a viewer showing table: the rows of round (as the round list writes it), or every
    // row when round is empty.
    static std::string RowsSource(const std::string& table, const std::string& round = {});

    // ---- changes ----
    // Drops a table the user built and takes it off sysTables, in one transaction; then tells the listener.
    void DropTable(const std::string& table);
    // News of a change made elsewhere (round import, table builders), passed to the listener.
    void NoteRoundImported(int round);
    void NoteTableAdded(const std::string& table);

  private:
    std::vector<Value> Column(const std::string& sql, const char* field);

    std::shared_ptr<Database> db_;
    std::string path_;
    AuctionListener* events_;
};

// The store asks nobody: an auction database in the Jet format is offered to the caller with its conversion,
// which the caller runs (showing what it likes meanwhile) or leaves, and the file then opens read-only.
using JetConversionOffer = std::function<void(const std::function<void()>& convert)>;

// The open auction of a program (the main window, a command-line tool): none, or one at a time.
class AuctionSession {
  public:
    AuctionSession() = default;
    AuctionSession(const AuctionSession&) = delete;
    AuctionSession& operator=(const AuctionSession&) = delete;
    ~AuctionSession();

    // Listeners are told of every auction of the session; they must outlive it or be removed.
    void AddListener(AuctionListener* listener);
    void RemoveListener(AuctionListener* listener);
    // The first listener that is a T: how a feature finds what another part of the program keeps for the
    // session (the shared bids, for one) without being handed it.
    template <class T>
    T* FindListener() const {
        for (AuctionListener* l : listeners_)
            if (auto* found = dynamic_cast<T*>(l)) return found;
        return nullptr;
    }

    // Opens path through the engine, keeps it in write-ahead-log mode, and makes it the open auction,
    // releasing the previous one. Errors reach the caller with the open auction unchanged.
    // An auction database in the Jet format goes to jet each time: the conversion it runs converts the file
    // in place (the original kept beside it) and the copy opens; without it (or without jet) it opens
    // read-only.
    Auction& Open(const std::string& path, const JetConversionOffer& jet = {});
    // Closes and forgets the open auction; harmless when none is open.
    void Close();
    // The open auction; nullptr when none is.
    Auction* Current() const { return current_.get(); }

  private:
    // Passes the open auction's news to every listener.
    class Relay : public AuctionListener {
      public:
        explicit Relay(std::vector<AuctionListener*>& to) : to_(to) {}
        void AuctionOpened(Auction& a) override;
        void AuctionClosing(Auction& a) override;
        void AuctionClosed() override;
        void RoundImported(Auction& a, int round) override;
        void TableAdded(Auction& a, const std::string& table) override;
        void TableDropped(Auction& a, const std::string& table) override;

      private:
        std::vector<AuctionListener*>& to_;
    };

    std::vector<AuctionListener*> listeners_;
    Relay relay_{listeners_};
    std::unique_ptr<Auction> current_;
};

}  // namespace corv::store
