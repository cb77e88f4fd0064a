#pragma once
// `qmui gallery --interactive`: the gallery pages, one at a time, live in a desktop window.

#include <string>

// Shows the page named `firstPage` ("" for the first page) at `scale` pixels per point (0 for the
// display's) until the window is closed. Prints what happens on standard output. Answers the
// exit code.
int runInteractiveGallery(const std::string& firstPage, double scale);
