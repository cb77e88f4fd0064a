// qmhost account: provisions the account access token the plug-in reads when its window is built.
//   qmhost account set-token -       stores the first line of standard input as the token, kept
//                                    out of the process list and the shell history
//   qmhost account set-token TOKEN   stores TOKEN (1 to 255 bytes, no control characters)
//   qmhost account clear             removes the stored token
// Neither prints the token.

#include "commands.h"

#include "QMAccountToken.h"
#include "qm/platform/text.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

namespace qm::host::cli {

namespace {

// One byte more than a usable token may have.
constexpr size_t kLineReadLimit = 256;

int AccountUsage() {
  std::cerr << "usage: qmhost account set-token -      (the token on the first line of standard input)\n"
               "       qmhost account set-token TOKEN\n"
               "       qmhost account clear\n";
  return 2;
}

// The first line of standard input without its line end or a leading byte-order mark (never part
// of a token: one stored with it would be a token the service never issued). Reads a
// little past the longest token (the mark not counted), so that an overlong one is refused rather
// than cut to fit.
std::string FirstLineOfStandardInput() {
  std::string line;
  for (int c; line.size() < kLineReadLimit && (c = std::getchar()) != EOF && c != '\n';) {
    line.push_back(static_cast<char>(c));
    if (line == kByteOrderMark) line.clear();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int RunAccount(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[0], "set-token") == 0) {
    const std::string token = std::strcmp(argv[1], "-") == 0 ? FirstLineOfStandardInput() : WithoutByteOrderMark(argv[1]);
    if (!QMIsUsableAccessToken(token) || !qm::platform::isValidUtf8(token)) {
      std::cerr << "qmhost account: a token is 1 to 255 bytes of UTF-8 text without control characters\n";
      return 2;
    }
    if (const int err = QMWriteAccountToken(token)) {
      std::cerr << "qmhost account: cannot write " << QMAccountTokenFilePath() << ": " << std::strerror(err) << '\n';
      return 1;
    }
    std::cout << "token stored in " << QMAccountTokenFilePath() << '\n';
    return 0;
  }
  if (argc == 1 && std::strcmp(argv[0], "clear") == 0) {
    if (const int err = QMClearAccountToken()) {
      std::cerr << "qmhost account: cannot remove " << QMAccountTokenFilePath() << ": " << std::strerror(err) << '\n';
      return 1;
    }
    std::cout << "token cleared\n";
    return 0;
  }
  return AccountUsage();
}

}  // namespace qm::host::cli
