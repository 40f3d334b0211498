#pragma once

#include <string>
#include <vector>

namespace corv {

// One sort key: a column, ascending when ticked.
struct SortKey {
    std::string column;
    bool ascending = true;
};

// One condition row of the filter tab. joiner is the And/Or chosen at the end of the row above (unused for
// the first row). booleanColumn: the column holds Yes/No values, offered as True/False.
struct FilterRow {
    std::string column;
    std::string op;
    std::string value;
    std::string joiner;
    bool booleanColumn = false;
};

// What a viewer shows, as data. Its lists fill table and round; the table actions dialog fills sort and
// filter on OK. The viewer derives its rows from it: the table (per round or whole), then the filter, then
// the sort, each computed from the rows shown before it.
struct ViewState {
    std::string table;  // as last chosen in the table list; empty before any choice
    std::string round;  // as last chosen in the round list, also while a whole table is shown; Latest's round
    bool latest = false;  // Latest is chosen: round moves on to each newest round imported
    // Applied on OK and again after each round change. A filter takes part when its first row names a
    // column; a table load empties both.
    std::vector<SortKey> sort;
    std::vector<FilterRow> filter;
    // Counts table loads (a round change is none): what was set up for one load of a table ends with it.
    unsigned long tableLoads = 0;
};

}  // namespace corv
