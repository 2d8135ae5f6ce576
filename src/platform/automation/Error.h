#pragma once
// The error object: every failure that crosses the library's interface is an
// Error carrying a number, a source and a description, as an automation error
// does. Platform failures use the VB run-time numbers (see VbError); engine
// failures use the database engine's numbers (platform/jet/JetError.h).

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace qv {

class Error : public std::exception {
 public:
  Error(int32_t number, std::string description, std::string source = {}, int32_t line = 0)
      : number_(number),
        line_(line),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }
  // Line of the failing statement when known, else 0.
  int32_t Line() const noexcept { return line_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // What went wrong as first raised: the description before the error
  // discipline put the chain of procedures in front of it (the whole
  // description when it did not).
  const std::string& Message() const noexcept { return hasMessage_ ? message_ : description_; }
  // Keeps `message` as the message of this error, whose description is
  // the chain of procedures followed by it.
  void SetMessage(std::string message) {
    message_ = std::move(message);
    hasMessage_ = true;
  }

 private:
  int32_t number_;
  int32_t line_;
  std::string source_;
  std::string description_;
  std::string message_;
  bool hasMessage_ = false;
};

// VB run-time error numbers used by the platform layer.
namespace vberr {
inline constexpr int32_t kInvalidProcedureCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kInternalError = 51;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kPathFileAccessError = 75;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kObjectRequired = 424;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kAutomationError = 440;
inline constexpr int32_t kNotSupported = 438;
inline constexpr int32_t kArgumentNotOptional = 449;
inline constexpr int32_t kWrongArguments = 450;
inline constexpr int32_t kDuplicateKey = 457;
}  // namespace vberr

// The VB run-time text for a platform error number ("Type mismatch" for 13).
std::string_view VbErrorText(int32_t number);

// Raises the VB run-time error `number`, with `detail` appended to its text
// when given, so that a caller sees what was rejected.
[[noreturn]] void ThrowVb(int32_t number, std::string_view detail = {});

}  // namespace qv
