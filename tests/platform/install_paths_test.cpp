#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/InstallPaths.h"
#include "support/AuctionDatabase.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;

std::string Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x";
    return file.string();
}

// A prefix laid out as the install rules lay it out, at a place it was never configured for.
class InstallPathsTest : public ::testing::Test {
  protected:
    TempFolder prefix;
    fs::path bin = fs::path(prefix.Path()) / CORVIDEL_INSTALL_BINDIR;
    fs::path helpers = fs::path(prefix.Path()) / CORVIDEL_INSTALL_LIBEXECDIR / "corvidel";
    fs::path data = fs::path(prefix.Path()) / CORVIDEL_INSTALL_DATADIR / "corvidel";
};

TEST_F(InstallPathsTest, InstalledFilesAreFoundFromTheExecutablesFolderInAMovedPrefix) {
    fs::create_directories(bin);
    const std::string reader = Touch(helpers / "corvidel-jetread");
    const std::string help = Touch(data / "corvidel-help.html");
    EXPECT_EQ(HelperProgramPath(bin.string(), "corvidel-jetread"), reader);
    EXPECT_EQ(DataFilePath(bin.string(), "corvidel-help.html"), help);
}

TEST_F(InstallPathsTest, AHelperBesideTheExecutableWinsOverAnInstalledOne) {
    Touch(helpers / "corvidel-jetread");
    const std::string beside = Touch(bin / "corvidel-jetread");
    EXPECT_EQ(HelperProgramPath(bin.string(), "corvidel-jetread"), beside);
}

TEST_F(InstallPathsTest, MissingFilesGiveTheHelperBesideAndNoDataFile) {
    fs::create_directories(bin);
    EXPECT_EQ(HelperProgramPath(bin.string(), "corvidel-jetread"), (bin / "corvidel-jetread").string());
    EXPECT_EQ(DataFilePath(bin.string(), "corvidel-help.html"), "");
}

}  // namespace
}  // namespace corv::test
