#include "ShellTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "shell/frmOpeningQuestions.h"
#include "store/Schema.h"

namespace corv::test {

QApplication& ShellTestApp() {
    static int argc = 1;
    static char name[] = "tests_shell";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        return a;
    }();
    return *app;
}

ShellTempFolder::ShellTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvidel-shell-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ShellTempFolder::~ShellTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void RunShellSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("sqlite: " + text + " in " + sql);
}

std::string BuildShellAuction(const std::string& folder, const fixture::AuctionOptions& options) {
    const std::vector<std::string> rounds = fixture::WriteAuctionRounds(folder + "/rounds", options);
    const std::string path = folder + "/Auction" + std::to_string(options.auction) + ".mdb";
    std::filesystem::copy_file(rounds.front(), path, std::filesystem::copy_options::overwrite_existing);

    // Supplied tables in the round file's own order, as creation lists them.
    const std::vector<std::string> supplied = {
        "Markets and Bidders",  "Round Statistics",      "Increment Statistics", "Miscellaneous Statistics",
        "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics",    "Bidder Eligibility"};
    std::string sql = "BEGIN;";
    sql += CreateTableSql("main", "sysSuppliedTables", {{"TableName", FieldType::Text, ""}}) + ";";
    for (const auto& t : supplied) sql += "INSERT INTO sysSuppliedTables VALUES ('" + t + "');";
    sql += CreateTableSql("main", "sysRounds", {{"Round", FieldType::Double, ""}}) + ";";
    sql += "INSERT INTO sysRounds VALUES (1);";
    sql += CreateTableSql("main", "sysTables", {{"TableName", FieldType::Text, ""}}) + ";";
    sql += "INSERT INTO sysTables SELECT * FROM sysSuppliedTables;COMMIT;";
    RunShellSql(path, sql);

    for (std::size_t r = 1; r < rounds.size(); ++r) {
        std::string append = "ATTACH '" + rounds[r] + "' AS src; BEGIN;";
        append += "DELETE FROM \"Withdrawal Statistics\";";
        for (const auto& t : supplied)
            append += "INSERT INTO main.\"" + t + "\" SELECT * FROM src.\"" + t + "\";";
        append += "INSERT INTO sysRounds VALUES (" + std::to_string(r + 1) + ");COMMIT; DETACH src;";
        RunShellSql(path, append);
    }
    return path;
}

frmOpeningQuestions* OpeningDialogOf(ModalDialog& modal) {
    auto* adapter = dynamic_cast<DialogModal*>(&modal);
    EXPECT_NE(adapter, nullptr) << "the modal run is not a Qt dialog";
    if (!adapter) return nullptr;
    auto* dialog = qobject_cast<frmOpeningQuestions*>(&adapter->Dialog());
    EXPECT_NE(dialog, nullptr) << "the modal run is not the opening question";
    return dialog;
}

std::function<void(ModalDialog&)> AnswerOpening(Opening option, Press press) {
    return [option, press](ModalDialog& modal) {
        frmOpeningQuestions* dialog = OpeningDialogOf(modal);
        if (!dialog) return;
        QRadioButton* choice = option == Opening::New     ? dialog->optNew
                               : option == Opening::Batch ? dialog->optBatch
                                                          : dialog->optExisting;
        choice->setChecked(true);
        if (press == Press::Continue) dialog->cmdContinue->click();
        if (press == Press::Cancel) dialog->cmdCancel->click();
        if (press == Press::CloseBox) dialog->reject();
    };
}

}  // namespace corv::test
