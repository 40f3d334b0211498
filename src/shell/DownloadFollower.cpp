#include "shell/DownloadFollower.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <exception>
#include <optional>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "store/Auction.h"
#include "store/RoundImport.h"

namespace corv {

namespace {

// Round results files of one auction in folder, by round; of two spellings of one name the first in name
// order wins.
std::map<int, QString> RoundFilesOf(const QString& folder, int auction) {
    static const QRegularExpression name(QStringLiteral("^(\\d\\d)_(\\d\\d\\d)\\.mdb$"),
                                         QRegularExpression::CaseInsensitiveOption);
    std::map<int, QString> files;
    const QDir dir(folder);
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name)) {
        const QRegularExpressionMatch m = name.match(f.fileName());
        if (!m.hasMatch() || m.captured(1).toInt() != auction) continue;
        files.emplace(m.captured(2).toInt(), f.absoluteFilePath());
    }
    return files;
}

// A file still being written may already be there at its full size; one the engine cannot open is not done.
bool EngineCanOpen(const QString& path) {
    try {
        Engine().OpenDatabase(path.toStdString())->Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

constexpr int kRefusalsBeforeImport = 5;

qint64 SteadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

}  // namespace

DownloadFollower::DownloadFollower(QObject* parent, FollowTiming timing)
    : QObject(parent), timing_(std::move(timing)) {
    rescan_.setInterval(timing_.rescanMs);
    pending_.setSingleShot(true);
    connect(&rescan_, &QTimer::timeout, this, &DownloadFollower::Scan);
    connect(&pending_, &QTimer::timeout, this, &DownloadFollower::Scan);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DownloadFollower::Scan);
}

qint64 DownloadFollower::Now() const {
    return timing_.nowMs ? timing_.nowMs() : SteadyMs();
}

void DownloadFollower::Start(const QString& folder) {
    if (on_ && folder == folder_) return;
    Stop();
    on_ = true;
    folder_ = folder;
    rescan_.start();
    Scan();
}

void DownloadFollower::Stop() {
    on_ = false;
    rescan_.stop();
    pending_.stop();
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    seen_.clear();
    SetMissing(0);
}

void DownloadFollower::SetMissing(int round) {
    if (round == missing_) return;
    missing_ = round;
    emit MissingRoundChanged(round);
}

void DownloadFollower::Fail(int number, const QString& description) {
    Stop();
    emit ImportFailed(number, description);
}

void DownloadFollower::Scan() {
    // A box shown by a handler of ours runs an event loop that may bring the watcher back here.
    if (!on_ || scanning_) return;
    scanning_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{scanning_};

    // A folder made after following started is watched from the first look that finds it.
    if (watcher_.directories().isEmpty() && QFileInfo(folder_).isDir()) watcher_.addPath(folder_);

    store::Auction* open = auction_ ? auction_() : nullptr;
    const std::optional<int> auction = open ? open->Number() : std::nullopt;
    if (!auction) {
        SetMissing(0);
        return;
    }
    int next = 0;
    try {
        next = open->LastRound() + 1;
    } catch (const CorvError& e) {
        Fail(e.number(), QString::fromStdString(e.description()));
        return;
    } catch (const std::exception& e) {
        Fail(err::EngineFailure, QString::fromUtf8(e.what()));
        return;
    }

    const std::map<int, QString> files = RoundFilesOf(folder_, *auction);
    qint64 now = Now();
    std::map<QString, Seen> seen;
    for (const auto& [round, path] : files) {
        if (round < next) continue;
        const qint64 size = QFileInfo(path).size();
        auto it = seen_.find(path);
        seen[path] = it != seen_.end() && it->second.size == size ? it->second : Seen{size, now};
    }
    seen_ = std::move(seen);

    int waitMs = -1;
    for (;;) {
        const auto file = files.find(next);
        if (file == files.end()) {
            SetMissing(files.upper_bound(next) != files.end() ? next : 0);
            break;
        }
        SetMissing(0);
        Seen& s = seen_[file->second];
        const qint64 left = timing_.settleMs - (now - s.since);
        if (left > 0) {
            waitMs = static_cast<int>(left);
            break;
        }
        if (mayImport_ && !mayImport_()) {
            waitMs = timing_.retryMs;
            break;
        }
        // A file that keeps its size yet stays unreadable is damaged, not late: importing it reports why.
        if (s.refusals < kRefusalsBeforeImport && !EngineCanOpen(file->second)) {
            ++s.refusals;
            s.since = now;
            waitMs = timing_.settleMs;
            break;
        }
        try {
            ImportRoundFile(*open, file->second.toStdString());
        } catch (const CorvError& e) {
            Fail(e.number(), QString::fromStdString(e.description()));
            return;
        } catch (const std::exception& e) {
            Fail(err::EngineFailure, QString::fromUtf8(e.what()));
            return;
        }
        seen_.erase(file->second);
        emit RoundImported(next);
        if (!on_) return;
        // The import's news may have reached a listener that changed the open auction.
        open = auction_ ? auction_() : nullptr;
        if (!open || open->Number() != auction) return;
        ++next;
        now = Now();
    }
    if (waitMs >= 0) pending_.start(waitMs);
}

}  // namespace corv
