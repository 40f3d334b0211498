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

// The whole number written in the characters [first, first + count) of a file name. Surrounding blanks are
// allowed; anything else that is not a digit, or nothing at all, is a type mismatch.
int NumberInName(const std::string& fileName, std::size_t first, std::size_t count) {
    const std::string part = first < fileName.size() ? fileName.substr(first, count) : std::string();
    std::size_t b = 0, e = part.size();
    while (b < e && part[b] == ' ') ++b;
    while (e > b && part[e - 1] == ' ') --e;
    if (b == e) throw CorvError(err::TypeMismatch, "Type mismatch");
    int value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(part[i])))
            throw CorvError(err::TypeMismatch, "Type mismatch");
        value = value * 10 + (part[i] - '0');
    }
    return value;
}

}  // namespace

int RoundNumberFromFileName(const std::string& fileName) {
    return NumberInName(fileName, 3, 3);
}

int AuctionNumberFromFileName(const std::string& fileName) {
    return NumberInName(fileName, 0, 2);
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
