#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>

namespace corv {

namespace store {
class Auction;
}

struct FollowTiming {
    std::function<qint64()> nowMs;  // a monotonic clock in milliseconds; empty: the steady clock
    int settleMs = 2000;            // a file is complete once its size has stayed the same this long
    int rescanMs = 5000;            // the periodic look, for file systems whose watches miss files
    int retryMs = 500;              // next try while a dialog or a command keeps imports waiting
    int messageMs = 5000;           // the status bar's word of an import or a missing round
};

// Follows the downloads folder: imports each round results file of the open auction whose round is the next
// one (after the highest in sysRounds), in round order, once the file is complete. Everything runs on the
// user-interface thread, which owns the follower and the open auction; imports go through the store's
// question-free round import.
class DownloadFollower : public QObject {
    Q_OBJECT
  public:
    explicit DownloadFollower(QObject* parent = nullptr, FollowTiming timing = {});

    // Whether an import may run now; the main window says no while a modal dialog or a command runs.
    void SetMayImport(std::function<bool()> mayImport) { mayImport_ = std::move(mayImport); }
    // The auction rounds are imported into: the open one, looked up at every look; nullptr when none is.
    void SetAuction(std::function<store::Auction*()> auction) { auction_ = std::move(auction); }

    // Starts (or keeps) following folder; harmless when already on.
    void Start(const QString& folder);
    void Stop();
    bool IsOn() const { return on_; }
    // Whether a look at the folder, and so perhaps an import, is under way.
    bool Busy() const { return scanning_; }

    // One look at the folder, importing every next round whose file is complete. The watcher and the timers
    // call it; tests call it with a clock of their own.
    void Scan();

    // The next round while its file is not there but a later round's is; 0 otherwise.
    int MissingRound() const { return missing_; }
    const FollowTiming& Timing() const { return timing_; }

  signals:
    void RoundImported(int round);
    void MissingRoundChanged(int round);
    // Following has stopped itself; the auction is as it was before the failing round.
    void ImportFailed(int number, const QString& description);

  private:
    struct Seen {
        qint64 size = -1;
        qint64 since = 0;  // when the file was first seen at this size
        int refusals = 0;  // looks at this size that the engine could not open it
    };
    qint64 Now() const;
    void SetMissing(int round);
    void Fail(int number, const QString& description);

    FollowTiming timing_;
    std::function<bool()> mayImport_;
    std::function<store::Auction*()> auction_;
    QFileSystemWatcher watcher_;
    QTimer rescan_;
    QTimer pending_;  // the next look a waiting file needs
    QString folder_;
    bool on_ = false;
    bool scanning_ = false;
    int missing_ = 0;
    std::map<QString, Seen> seen_;
};

}  // namespace corv
