#pragma once

// A test that needs a file from outside it (a sample file, a program of the build) skips when the file is
// missing, unless CORVIDEL_TESTS_NO_SKIP is set to anything but 0 (the test scripts set it): then the test
// fails, so that a run which left tests out cannot pass as a whole one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace corv::test {

inline bool MissingFileFails() {
    const char* value = std::getenv("CORVIDEL_TESTS_NO_SKIP");
    return value && *value && std::string(value) != "0";
}

// What the test reports when path is missing; empty when it is there.
inline std::string MissingFileText(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return {};
    return "needs " + path + ", which is missing";
}

}  // namespace corv::test

// Ends the test, or its SetUp, when path is missing: skipped, or failed under CORVIDEL_TESTS_NO_SKIP.
#define CORV_NEED_FILE(path)                                                           \
    do {                                                                               \
        const std::string corvMissing_ = ::corv::test::MissingFileText(path);          \
        if (!corvMissing_.empty()) {                                                   \
            if (::corv::test::MissingFileFails())                                      \
                FAIL() << corvMissing_ << " (CORVIDEL_TESTS_NO_SKIP=0 skips instead)"; \
            GTEST_SKIP() << corvMissing_;                                              \
        }                                                                              \
    } while (0)
