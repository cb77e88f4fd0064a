// QuillomancerUpdater: validates one update request and carries it to its end.
#include "qm/updater/updater_main.h"

int main(int argc, char** argv) { return qm::updater::updaterMain(argc, argv); }
