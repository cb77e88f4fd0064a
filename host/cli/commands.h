// The subcommands of qmhost; each takes the arguments after its name and answers the
// process exit status.
#pragma once

#include <string>

namespace qm::host::cli {

int RunValidate(int argc, char** argv);
int RunSession(int argc, char** argv);
int RunAccount(int argc, char** argv);
int RunWindow(int argc, char** argv);

// `qmhost window --interactive`: the desktop window of `qmhost session --interactive` on the
// built-in clip and the embedded service stand-in, LOAD and RENDER beside it.
int RunSessionWindowOnDesktop(const std::string& bundle);

}  // namespace qm::host::cli
