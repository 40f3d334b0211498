// The files of the watch list and the alert log: whole reads, atomic replacement, and where a value of their
// JSON stands. Internal to the report layer.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corv::report::detail {

// The bytes of the file at path; nullopt when it does not exist. Throws std::runtime_error naming the file
// when it cannot be read (a folder, no permission, larger than limit bytes).
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit);

// Replaces the file at path with bytes: written to a private (0600) temporary file beside it, created O_EXCL
// under a random name (".NAME.XXXXXXXXXXXX.tmp"), synced, given the old file's permissions, renamed over
// path, and the folder synced. A kill at any moment leaves the old file or the new one whole, and at worst
// that private temporary file, which a later replacement removes once it is an hour old. A symbolic link at
// path is written through. Throws std::runtime_error naming the file on failure, leaving the old file.
void ReplaceFile(const std::string& path, const std::string& bytes);

// The 1-based line holding the byte at offset (the last line with text when offset is past the end).
int LineAt(const std::string& text, std::size_t offset);

// Where the values of a JSON text stand, found by scanning text the JSON library has accepted: each member of
// the top-level object (the offset its value starts at, the last one of a key written twice) and each element
// of the array that is the member arrayKey. Offsets are bytes from the text's start; an escaped key is
// looked up as written.
struct JsonPlaces {
    std::optional<std::size_t> object;  // the top-level object's "{"
    std::map<std::string, std::size_t> members;
    std::vector<std::size_t> elements;
};
JsonPlaces FindJsonPlaces(const std::string& text, const std::string& arrayKey);

// The message of the JSON library's parse error without its own prefix and position: "syntax error while
// parsing object - unexpected '}'; expected string literal".
std::string ParseErrorText(const std::string& what);

}  // namespace corv::report::detail
