// qmhost account: provisions the account access token the plug-in reads when its window is built.
//   qmhost account set-token TOKEN   stores TOKEN (1 to 255 bytes, no control characters)
//   qmhost account clear             removes the stored token
// Neither prints the token.

#include "commands.h"

#include "QMAccountToken.h"

#include <cstring>
#include <iostream>
#include <string>

namespace qm::host::cli {

namespace {

int AccountUsage() {
  std::cerr << "usage: qmhost account set-token TOKEN\n"
               "       qmhost account clear\n";
  return 2;
}

}  // namespace

int RunAccount(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[0], "set-token") == 0) {
    const std::string token = argv[1];
    if (!QMIsUsableAccessToken(token)) {
      std::cerr << "qmhost account: a token is 1 to 255 bytes without control characters\n";
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
