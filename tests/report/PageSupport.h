// The report's web page as a browser and a PDF reader see it: Chromium run headless, the DOM it dumps read
// back into tables and tags, and the text of a printed PDF page by page. Test code only, without Qt.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "report/ReportTestSupport.h"

namespace corv::test {

inline const std::string kChromium = "/usr/bin/chromium";
inline const std::string kPdfToText = "/usr/bin/pdftotext";

// Chromium headless on the file page with extra (--dump-dom, --print-to-pdf=...), in a profile of its own
// made fresh in folder, offline.
ProgramRun RunChromium(const std::string& page, const std::vector<std::string>& extra,
                       const std::string& folder);

struct DomTable {
    std::string caption;
    std::vector<std::string> header;             // the th cells of its thead
    std::vector<std::vector<std::string>> rows;  // its tbody rows' cells (th and td), as text
};
// The tables of a serialized DOM by their id, cells' markup dropped and character references resolved.
std::map<std::string, DomTable> TablesOf(const std::string& dom);

// The text of each item of the lists of that class, in order.
std::vector<std::string> ListItemsOf(const std::string& dom, const std::string& listClass);

struct DomTag {
    std::string name;                                             // lower case
    std::vector<std::pair<std::string, std::string>> attributes;  // names lower case, values resolved
};
// Every start tag of a serialized DOM, in order.
std::vector<DomTag> TagsOf(const std::string& dom);

// The text pdftotext -layout gives of each page, in order.
std::vector<std::string> PdfPages(const std::string& pdf, const std::string& folder);

}  // namespace corv::test
