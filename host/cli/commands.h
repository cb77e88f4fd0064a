// The subcommands of qmhost; each takes the arguments after its name and answers the
// process exit status.
#pragma once

namespace qm::host::cli {

int RunValidate(int argc, char** argv);
int RunSession(int argc, char** argv);
int RunAccount(int argc, char** argv);
int RunWindow(int argc, char** argv);

}  // namespace qm::host::cli
