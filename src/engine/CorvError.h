#pragma once

#include <stdexcept>
#include <string>

namespace corv {

// Error numbers follow the classic engine's where one fits, so messages read as users expect.
namespace err {
constexpr int TypeMismatch = 13;
constexpr int DivisionByZero = 11;
constexpr int ObjectNotSet = 91;
constexpr int FileNotFoundIO = 53;
constexpr int PathNotFound = 76;
constexpr int PrinterError = 482;
constexpr int TableExists = 3010;
constexpr int NoCurrentRecord = 3021;
constexpr int FileNotFound = 3024;
constexpr int DiskFull = 3035;
constexpr int FileInUse = 3045;
constexpr int SyntaxError = 3075;
constexpr int ObjectNotFound = 3078;
constexpr int TooFewParameters = 3061;
constexpr int UnknownField = 3127;
constexpr int TableInUse = 3211;
constexpr int InvalidName = 3125;
constexpr int ReadOnlyDatabase = 3027;
constexpr int ConstraintViolation = 3022;
constexpr int UnrecognizedFormat = 3343;
constexpr int EngineFailure = 3000;
constexpr int Cancelled = 32755;  // a common dialog's cancel error
}  // namespace err

// Every failure the program reports carries a number and a description.
class CorvError : public std::runtime_error {
  public:
    CorvError(int number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

  private:
    int number_;
    std::string description_;
};

}  // namespace corv
