#include "store/RoundFileNames.h"

#include <cctype>

#include "engine/CorvError.h"

namespace corv {

std::string SplitFilePath(const std::string& path, bool fileName) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return fileName ? path : std::string();
    return fileName ? path.substr(slash + 1) : path.substr(0, slash + 1);
}

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

int Digits(const std::string& s, std::size_t first, std::size_t count) {
    int value = 0;
    for (std::size_t i = first; i < first + count; ++i) value = value * 10 + (s[i] - '0');
    return value;
}

// A longer name would still have digits where the rule looks (31_0002.mdb reads as round 0), so the whole
// name is checked, not only those characters.
const std::string& RoundFileName(const std::string& fileName) {
    if (!IsRoundFileName(fileName))
        throw CorvError(err::TypeMismatch, fileName + " is not a round results file name (NN_RRR.mdb)");
    return fileName;
}

}  // namespace

bool IsRoundFileName(const std::string& fileName) {
    static const std::string ext = ".mdb";
    if (fileName.size() != 6 + ext.size() || fileName[2] != '_') return false;
    for (int i : {0, 1, 3, 4, 5})
        if (!IsDigit(fileName[i])) return false;
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(fileName[6 + i])) != ext[i]) return false;
    return true;
}

int RoundNumberFromFileName(const std::string& fileName) {
    return Digits(RoundFileName(fileName), 3, 3);
}

int AuctionNumberFromFileName(const std::string& fileName) {
    return Digits(RoundFileName(fileName), 0, 2);
}

std::string AuctionPrefixFromFileName(const std::string& fileName) {
    return fileName.substr(0, 2);
}

std::string RoundFileStem(const std::string& prefix, int round) {
    std::string s = std::to_string(round);
    if (s.size() < 3) s = std::string(3 - s.size(), '0') + s;
    return prefix + "_" + s;
}

std::optional<int> AuctionNumberFromDatabaseName(const std::string& fileName) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string name = lower(fileName);
    const std::string prefix = "auction", ext = ".mdb";
    if (name.size() <= prefix.size() + ext.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    if (digits.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace corv
