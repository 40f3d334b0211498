// corvidel-sql, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/engine_support.h"
#include "support/NeededFile.h"

using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;

namespace {

std::string ToolPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = '\0';
    return (std::filesystem::path(buf).parent_path() / "corvidel-sql").string();
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args, const std::string& errFile) {
    std::string cmd = Quote(ToolPath());
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " 2>" + Quote(errFile);
    ToolRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    return r;
}

class EngineTool : public ::testing::Test {
  protected:
    void SetUp() override {
        CORV_NEED_FILE(ToolPath());
        path = dir.sub("Auction3.mdb");
        RawDb raw(path);
        raw.exec(
            "CREATE TABLE [Markets and Bidders] ([Round] Long, [Bidder Name] Text, [Bid Amount] Currency)");
        raw.exec("INSERT INTO [Markets and Bidders] VALUES (1, 'Acme', 1000000), (2, NULL, 2500.75)");
        raw.exec("CREATE TABLE [sysRounds] ([Round] Number)");
    }
    ToolRun Tool(const std::vector<std::string>& args) {
        std::vector<std::string> all{path};
        all.insert(all.end(), args.begin(), args.end());
        return RunTool(all, dir.sub("stderr.txt"));
    }
    ScratchDir dir;
    std::string path;
};

TEST_F(EngineTool, SelectPrintsTabSeparatedRows) {
    const ToolRun r =
        Tool({"SELECT [Round], [Bidder Name], [Bid Amount] FROM [Markets and Bidders] ORDER BY [Round]"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Round\tBidder Name\tBid Amount\n1\tAcme\t1000000\n2\t\t2500.75\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(EngineTool, TransformPrintsTheCrosstab) {
    const std::string crosstab =
        "TRANSFORM Sum([Bid Amount]) SELECT [Round] FROM [Markets and Bidders] GROUP BY [Round]";
    ToolRun r = Tool({crosstab + " PIVOT [Bidder Name]"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Round\t<>\tAcme\n1\t\t1000000\n2\t2500.75\t\n");

    r = Tool({crosstab});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Error 3143: ", 0), 0u) << r.err;
}

TEST_F(EngineTool, LineBreaksTabsAndBackslashesInValuesAreEscaped) {
    RawDb(path).exec(
        "INSERT INTO [Markets and Bidders] VALUES (3, 'a' || char(9) || 'b\\c' || char(13, 10) || 'd', 1)");
    ToolRun r = Tool({"SELECT [Bidder Name] FROM [Markets and Bidders] WHERE [Round] = 3"});
    EXPECT_EQ(r.out, "Bidder Name\na\\tb\\\\c\\r\\nd\n");

    const std::string nwind = CORVIDEL_SHARED_DIR "/jet-samples/nwind.mdb";
    CORV_NEED_FILE(nwind);
    r = RunTool({nwind, "SELECT * FROM Employees"}, dir.sub("stderr.txt"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 9);  // the names, then one line per employee
}

TEST_F(EngineTool, ActionStatementsRunAndTablesAreListed) {
    ToolRun r = Tool({"INSERT INTO sysRounds (Round) VALUES (4)"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    RawDb raw(path);
    EXPECT_EQ(raw.count("sysRounds"), 1);

    r = Tool({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Markets and Bidders\nsysRounds\n");
}

TEST_F(EngineTool, FailuresGoToStandardErrorWithTheirNumber) {
    ToolRun r = Tool({"SELECT * FROM [Nothing Here]"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Error 3078: ", 0), 0u) << r.err;

    r = RunTool({dir.sub("absent.mdb")}, dir.sub("stderr.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Error 3024: ", 0), 0u) << r.err;

    const std::string nwind = CORVIDEL_SHARED_DIR "/jet-samples/nwind.mdb";
    CORV_NEED_FILE(nwind);
    r = RunTool({nwind, "DELETE * FROM Employees"}, dir.sub("stderr.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Error 3027: ", 0), 0u) << r.err;
}

TEST_F(EngineTool, AFullTemporaryFolderIsAnErrorNamingItNotAnEmptyResult) {
    {
        RawDb raw(path);
        raw.exec("CREATE TABLE Wide (x INTEGER, y TEXT)");
        raw.exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
            "INSERT INTO Wide SELECT i, printf('row %d of a table too wide for the folder', i) FROM n");
    }
    corv::enginetest::TinyTempFolder tiny(dir.sub("tmp"), 256);
    ::setenv("SQLITE_TMPDIR", tiny.path().c_str(), 1);
    const ToolRun r = Tool({"SELECT a.x, a.y, b.y FROM Wide a INNER JOIN Wide b ON a.x = b.x"});
    ::unsetenv("SQLITE_TMPDIR");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Error 3035: The temporary folder '" + tiny.path() + "'"), std::string::npos)
        << r.err;
}

TEST_F(EngineTool, AnUnknownOptionIsAWrongCommandLineNotAFile) {
    const ToolRun r = RunTool({"--tables", path}, dir.sub("stderr.txt"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: corvidel-sql"), std::string::npos) << r.err;
}

}  // namespace
