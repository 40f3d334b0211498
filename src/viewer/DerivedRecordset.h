#pragma once

#include <memory>
#include <string>

namespace corv {

class Recordset;

// The record set the engine computes from shown with the given Filter and Sort texts (either may be empty).
// shown must hold every row. The work runs on a worker thread while the windows go on repainting; user
// input waits, as for any command, until the result is back. The result is complete, so a grid goes from
// the old rows to the new ones in one step. Throws what the engine throws; shown is left as it was.
std::shared_ptr<Recordset> DeriveRecordset(const std::shared_ptr<Recordset>& shown, const std::string& filter,
                                           const std::string& sort);

}  // namespace corv
