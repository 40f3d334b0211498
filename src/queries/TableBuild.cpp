#include "queries/TableBuild.h"

#include <cctype>
#include <exception>
#include <optional>

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>

#include "dialogue/AuctionCommands.h"
#include "engine/CorvError.h"
#include "engine/Database.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "queries/frmTableActions.h"
#include "store/Auction.h"
#include "store/RoundTables.h"
#include "viewer/ViewStateText.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

constexpr int kWizardTab = 2;

// Numbers stay bare (an account number stays text); anything else is quoted so any text survives.
std::string WizardValueTerm(const std::string& column, const std::string& value) {
    if (IsNumericValue(value) && column != "Orvane Acct") return value;
    return "'" + SqlText(value) + "'";
}

}  // namespace

std::string SqlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::string WizardStatement(const WizardChoices& c) {
    if (c.columns.empty()) return {};
    std::string s = "SELECT ";
    for (std::size_t i = 0; i < c.columns.size(); ++i) {
        s += "[" + c.columns[i] + "]";
        if (i + 1 < c.columns.size()) s += ", ";
    }
    s += " INTO [" + c.name + (c.nameFromInputBox ? "]" : "] ");
    s += " FROM [" + c.source + "] ";
    bool hasWhere = false;
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        const FilterRow& row = c.rows[r];
        if (row.column.empty() || row.value.empty()) continue;
        // A later row is joined even when the first took no part; the engine refuses that text.
        if (r == 0) {
            hasWhere = true;
            s += " WHERE";
        } else {
            s += " " + row.joiner;
        }
        s += " [" + row.column + "] " + row.op + WizardValueTerm(row.column, row.value);
    }
    if (!c.includeAllRounds)
        s += (hasWhere ? " AND " : " WHERE ") + store::SqlName(store::kRoundColumn) + " = " + c.round;
    if (!c.order.empty()) {
        s += " ORDER BY";
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            s += " [" + c.order[i].column + "]";
            if (!c.order[i].ascending) s += " DESC";
            if (i + 1 < c.order.size()) s += ", ";
        }
    }
    return s + ";";
}

bool HasRequiredBoxes(const QueryBoxes& b) {
    return !b.select.empty() && !b.from.empty() && !b.into.empty();
}

std::string QueryStatement(const QueryBoxes& b) {
    // A crosstab typed into the SELECT box ("TRANSFORM Sum([Amount]) SELECT [Item]") brings its own
    // SELECT; its GROUP BY and PIVOT follow in the last box filled.
    const std::size_t start = b.select.find_first_not_of(" \t\r\n");
    const std::string head = start == std::string::npos ? std::string() : b.select.substr(start, 10);
    const bool crosstab = head.size() == 10 &&
                          QString::fromStdString(head.substr(0, 9)).toUpper() == "TRANSFORM" &&
                          std::isspace(static_cast<unsigned char>(head[9]));
    std::string s = (crosstab ? "" : "SELECT ") + b.select + " INTO " + b.into + " FROM " + b.from;
    if (!b.where.empty()) s += " WHERE " + b.where;
    if (!b.orderBy.empty()) s += " ORDER BY " + b.orderBy;
    if (s.back() != ';') s += ';';
    return s;
}

std::string QueryTableName(const QueryBoxes& b) {
    const std::size_t first = b.into.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return b.into.substr(first, b.into.find_last_not_of(' ') - first + 1);
}

void BuildTable(Database& db, const std::string& statement, const std::string& name) {
    db.BeginTrans();
    try {
        db.Execute(statement);
        db.Execute("INSERT INTO [sysTables] (TableName) VALUES (" + store::SqlText(name) + ")");
        db.CommitTrans();
    } catch (...) {
        db.Rollback();
        throw;
    }
}

void TableWiz(frmFlexGrid& viewer) {
    if (!RequireWritableAuction(viewer.Host().OpenAuction())) return;
    // Parented to the viewer so a closing window takes it along; gone however the wizard ends.
    QPointer<frmTableActions> dialog =
        new frmTableActions([&viewer] { return QString::fromStdString(viewer.State().table); }, &viewer,
                            [&host = viewer.Host()] { return host.OpenAuction(); });
    try {
        if (const std::shared_ptr<Recordset> shown = viewer.Data1.GetRecordset()) {
            for (int i = 0; i < shown->FieldCount(); ++i)
                dialog->lstSourceTable->addItem(QString::fromStdString(shown->Field(i).name));
        }
        dialog->SSTab1->setCurrentIndex(kWizardTab);
        Desktop().RunModal(*dialog);
        if (dialog && !dialog->Cancelled) HandelWiz(viewer, *dialog);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
    delete dialog.data();
}

void HandelWiz(frmFlexGrid& viewer, frmTableActions& dialog) {
    std::optional<BusyPointer> busy;
    try {
        WizardChoices c;
        for (int i = 0; i < dialog.lstTargetTable->count(); ++i)
            c.columns.push_back(dialog.lstTargetTable->item(i)->text().toStdString());
        if (c.columns.empty()) return;
        busy.emplace();
        c.name = dialog.txtTableName->text().toStdString();
        if (c.name.empty()) {
            busy.reset();
            c.name =
                Desktop().InputBox("Please Enter Table Name", "Name New Table", {}).value_or(std::string());
            busy.emplace();
            dialog.txtTableName->setText(QString::fromStdString(c.name));
            c.nameFromInputBox = true;
        }
        c.source = viewer.State().table;
        c.rows = dialog.FilterRows();
        c.includeAllRounds = dialog.chkIncludeAll->isChecked();
        c.round = viewer.State().round;
        c.order = dialog.SortKeys();
        const std::string statement = WizardStatement(c);
        std::shared_ptr<Database> db = Engine().OpenDatabase(viewer.Data1.DatabaseName());
        BuildTable(*db, statement, c.name);
        if (store::Auction* auction = viewer.Host().OpenAuction()) auction->NoteTableAdded(c.name);
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

void TableSQL(frmFlexGrid& viewer, const QueryBoxes& boxes) {
    store::Auction* auction = viewer.Host().OpenAuction();
    if (!RequireWritableAuction(auction)) return;
    std::optional<BusyPointer> busy;
    try {
        if (!HasRequiredBoxes(boxes)) {
            Desktop().MessageBox("SELECT, FROM, and INTO are required fields.", MsgButtons::OK,
                                 MsgIcon::Exclamation, "Error");
            return;
        }
        busy.emplace();
        const std::string name = QueryTableName(boxes);
        if (!auction) throw CorvError(err::ObjectNotSet, "No auction database is open");
        BuildTable(auction->Data(), QueryStatement(boxes), name);
        auction->NoteTableAdded(name);
        busy.reset();
        Desktop().MessageBox("     Finished building the table '" + name +
                                 "'\rTo view the table, select it from the\r         Table pull-down menu.",
                             MsgButtons::OK, MsgIcon::None, {});
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

}  // namespace corv
