#include "SheetReaders.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace corv::test {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    const int status = pclose(pipe);
    if (status != 0) out += "\n<exit " + std::to_string(status) + ">";
    return out;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadWithOpenpyxl(const std::string& file, const std::string& sheet) {
    const std::string script =
        "import sys, openpyxl\n"
        "wb = openpyxl.load_workbook(sys.argv[1])\n"
        "for row in wb[sys.argv[2]].iter_rows():\n"
        "    for c in row:\n"
        "        if c.value is not None: print('%s|%s|%s|%r' % (c.coordinate, c.data_type, c.number_format, "
        "c.value))\n"
        "print('widths', [wb[sys.argv[2]].column_dimensions[k].width for k in 'ABCDEFG'])\n";
    return Shell("/usr/bin/python3 -c " + Quote(script) + " " + Quote(file) + " " + Quote(sheet) + " 2>&1");
}

std::map<std::string, std::string> ConvertWithLibreOffice(const std::string& file,
                                                          const std::string& folder) {
    const std::string profile = folder + "/lo-profile";
    const std::string out = folder + "/csv";
    const std::string log =
        Shell("soffice -env:UserInstallation=file://" + profile + " --headless --convert-to " +
              Quote("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1") +
              " --outdir " + Quote(out) + " " + Quote(file) + " 2>&1");
    std::map<std::string, std::string> sheets;
    const std::string stem = std::filesystem::path(file).stem().string() + "-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(out, ec)) {
        const std::string name = entry.path().stem().string();
        if (name.rfind(stem, 0) != 0) continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        sheets[name.substr(stem.size())] = text.str();
    }
    if (sheets.empty()) ADD_FAILURE() << "LibreOffice wrote nothing: " << log;
    return sheets;
}

std::map<std::string, double> PivotSums(const std::string& csv) {
    std::vector<std::vector<std::string>> grid;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        grid.emplace_back();
        std::istringstream fields(line);
        for (std::string f; std::getline(fields, f, ',');) grid.back().push_back(f);
        if (!line.empty() && line.back() == ',') grid.back().push_back("");
    }
    std::map<std::string, double> sums;
    if (grid.size() < 7) return sums;
    std::vector<std::string> heads(grid[5].size());
    std::string label[3];
    for (std::size_t c = 1; c < grid[5].size(); ++c) {
        for (int d = 0; d < 3; ++d)
            if (c < grid[3 + d].size() && !grid[3 + d][c].empty()) label[d] = grid[3 + d][c];
        heads[c] = label[0] + "|" + label[1] + "|" + label[2];
    }
    for (std::size_t r = 6; r < grid.size(); ++r)
        for (std::size_t c = 1; c < grid[r].size() && c < heads.size(); ++c)
            if (!grid[r][c].empty()) sums[grid[r][0] + "|" + heads[c]] = std::stod(grid[r][c]);
    return sums;
}

}  // namespace corv::test
