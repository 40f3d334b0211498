#include "viewer/DerivedRecordset.h"

#include <exception>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include "engine/Recordset.h"

namespace corv {

// Ownership: the worker only reads shown, whose rows are all there and whose Filter and Sort the UI thread
// leaves alone until the worker has ended.
std::shared_ptr<Recordset> DeriveRecordset(const std::shared_ptr<Recordset>& shown, const std::string& filter,
                                           const std::string& sort) {
    shown->Filter = filter;
    shown->Sort = sort;
    struct Outcome {
        std::shared_ptr<Recordset> derived;
        std::exception_ptr failure;
    };
    QFuture<Outcome> work = QtConcurrent::run([shown] {
        try {
            return Outcome{shown->OpenRecordset(shown->Type()), nullptr};
        } catch (...) {
            return Outcome{nullptr, std::current_exception()};
        }
    });
    QFutureWatcher<Outcome> watcher;
    QEventLoop waiting;
    QObject::connect(&watcher, &QFutureWatcher<Outcome>::finished, &waiting, &QEventLoop::quit);
    watcher.setFuture(work);
    if (!work.isFinished()) waiting.exec(QEventLoop::ExcludeUserInputEvents);
    Outcome outcome = work.result();
    shown->Filter.clear();
    shown->Sort.clear();
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    return std::move(outcome.derived);
}

}  // namespace corv
