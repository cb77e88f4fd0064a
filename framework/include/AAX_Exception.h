// Exceptions of the framework and the texts of result codes.
#pragma once

#include <string>

namespace AAX {

namespace Exception {

// Base of the framework's exceptions: a description, an optional function and line,
// and the full message built from them.
class Any {
public:
  explicit Any(const std::string& description);
  explicit Any(const char* description);
  Any(const std::string& description, const std::string& function, const std::string& line);
  Any(const Any&) = default;
  Any& operator=(const Any&) = default;
  virtual ~Any();

  const std::string& What() const noexcept { return mWhat; }
  const std::string& Desc() const noexcept { return mDesc; }
  const std::string& Function() const noexcept { return mFunction; }
  const std::string& Line() const noexcept { return mLine; }

  static std::string CreateWhat(const std::string& description, const std::string& function,
                                const std::string& line);

private:
  std::string mDesc;
  std::string mFunction;
  std::string mLine;
  std::string mWhat;
};

// A failing result code, thrown by AAX_CheckedResult.
class ResultError : public Any {
public:
  explicit ResultError(int result);
  ResultError(const ResultError& other);
  ResultError& operator=(const ResultError& other);
  ~ResultError() override;

  int Result() const noexcept { return mResult; }
  static std::string FormatResult(int result);

private:
  int mResult;
};

}  // namespace Exception

// The name of a result code ("AAX_ERROR_UNIMPLEMENTED", "plug-in defined error", "<unknown error code>").
std::string AsStringResult(int result);
// Decimal text of a signed 32-bit number.
std::string AsStringInt32(int value);
std::string AsString(const std::string& text);
std::string AsString(const Exception::Any& error);

}  // namespace AAX
