#pragma once

#include <deque>
#include <future>
#include <memory>
#include <string>

#include "engine/Database.h"

namespace corv {

// Opens (for a Jet file: converts) the files of the rounds after the one being appended, each on a thread of
// its own, in round order. A database is handed over whole when it is taken, so only one thread uses it at a
// time. Owned by the thread running the batch.
class RoundReadAhead {
  public:
    // One round's file being opened.
    class Read {
      public:
        explicit Read(std::string path)
            : path_(std::move(path)),
              db_(std::async(std::launch::async, [p = path_] { return Engine().OpenDatabase(p); })) {}
        // The file opened ahead; its failure is thrown here, at its own round. A retry opens it again.
        std::shared_ptr<Database> Take() {
            if (!db_.valid()) return Engine().OpenDatabase(path_);
            return db_.get();
        }

      private:
        std::string path_;
        std::future<std::shared_ptr<Database>> db_;  // waited for on destruction, when the batch stops early
    };

    // Starts opening the file of the round after the last one started.
    void Start(const std::string& path) { reads_.emplace_back(path); }
    std::size_t Count() const { return reads_.size(); }
    // The read of the earliest round not yet taken; there must be one.
    Read Next() {
        Read next = std::move(reads_.front());
        reads_.pop_front();
        return next;
    }

  private:
    std::deque<Read> reads_;
};

}  // namespace corv
