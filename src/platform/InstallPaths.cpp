#include "platform/InstallPaths.h"

#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "engine/jet/JetReader.h"

namespace corv {

namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::string FirstFile(std::initializer_list<fs::path> candidates) {
    for (const fs::path& c : candidates)
        if (IsFile(c)) return c.lexically_normal().string();
    return {};
}

}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

std::string HelperProgramPath(const std::string& exeFolder, const std::string& name) {
    const fs::path dir(exeFolder);
    const std::string found = FirstFile({dir / name, dir / CORVIDEL_LIBEXEC_FROM_BIN / name});
    return found.empty() ? (dir / name).string() : found;
}

std::string DataFilePath(const std::string& exeFolder, const std::string& name) {
    const fs::path dir(exeFolder);
    return FirstFile({dir / CORVIDEL_DATA_FROM_BIN / name, dir / ".." / ".." / "docs" / "help" / name,
                      dir / ".." / "docs" / "help" / name});
}

void LocateJetReader() {
    const std::string self = ExecutableFolder();
    if (!self.empty()) SetJetReaderProgram(HelperProgramPath(self, "corvidel-jetread"));
}

}  // namespace corv
