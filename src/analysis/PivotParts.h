#pragma once

// The pivot parts of a workbook file: the cache definition, its records and the table definition, complete
// as the standard has them.

#include "analysis/PivotModel.h"
#include "analysis/Workbook.h"
#include "analysis/XmlWriter.h"

namespace corv::xlsx {

inline constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

void WriteCacheDefinition(XmlWriter& w, const PivotModel& m, const PivotTableDef& def);
void WritePivotTable(XmlWriter& w, const PivotModel& m, const PivotTableDef& def, int cacheId);

// Streams the cache's records a few hundred kilobytes at a time; true while more follow.
class RecordsProducer {
  public:
    RecordsProducer(const PivotModel& m, const PivotTableDef& def, const Workbook& book);
    bool operator()(XmlWriter& w);

  private:
    const PivotModel& m_;
    const PivotTableDef& def_;
    const Worksheet& sheet_;
    long record_ = -1;
};

}  // namespace corv::xlsx
