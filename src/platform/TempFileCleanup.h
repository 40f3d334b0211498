#pragma once

namespace corv {

// Every program calls this at start, before it makes a temporary file: the temporary files of this user's
// runs that ended without removing theirs (killed, crashed) are removed. A command-line tool, which has no
// event loop to end from as File > Exit does, also has SIGTERM, SIGINT and SIGHUP remove this run's
// temporary files before they end it as they would have.
void CleanTempFilesAtStart(bool endOnTerminationSignals);

}  // namespace corv
