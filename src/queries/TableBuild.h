#pragma once

#include <string>
#include <vector>

#include "viewer/ViewState.h"

namespace corv {

class Database;
class frmFlexGrid;
class frmTableActions;

// What the table wizard reads from its dialog and its viewer.
struct WizardChoices {
    std::vector<std::string> columns;  // the new table's, in list order
    std::string name;
    bool nameFromInputBox = false;  // the name was asked for: the INTO piece has no trailing blank
    std::string source;             // the viewer's table
    std::vector<FilterRow> rows;    // the condition rows, joiner from the row above
    bool includeAllRounds = true;
    std::string round;  // the viewer's round, used unquoted
    std::vector<SortKey> order;
};

// The wizard's SELECT ... INTO, ending in ";". Empty when no column was chosen.
std::string WizardStatement(const WizardChoices& choices);

// The builder's five boxes as typed.
struct QueryBoxes {
    std::string select, into, from, where, orderBy;
};
// SELECT, FROM and INTO must hold something; blanks count.
bool HasRequiredBoxes(const QueryBoxes& boxes);
// The statement, with ";" added unless it already ends in one.
std::string QueryStatement(const QueryBoxes& boxes);
// The registered name: INTO without its surrounding blanks.
std::string QueryTableName(const QueryBoxes& boxes);

// Text placed between single quotes in SQL: embedded single quotes doubled.
std::string SqlText(const std::string& text);

// Runs the SELECT ... INTO and records the new table in sysTables as one unit: when either fails, neither
// stays.
void BuildTable(Database& db, const std::string& statement, const std::string& name);

// The table wizard on the viewer's table: a fresh dialog on its wizard tab, then HandelWiz after OK. The
// dialog is a child of the viewer while shown and is gone when the wizard ends.
void TableWiz(frmFlexGrid& viewer);
void HandelWiz(frmFlexGrid& viewer, frmTableActions& dialog);

// The SQL builder's OK on the active viewer: builds from the boxes on the auction database.
void TableSQL(frmFlexGrid& viewer, const QueryBoxes& boxes);

}  // namespace corv
