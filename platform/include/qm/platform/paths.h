#pragma once
// Folders of the user's domain, laid out as the plug-in and its programs expect them:
// everything lives under $HOME/Library. HOME is read on every call, so tests can point it at a
// temporary folder.

#include <string>
#include <string_view>

namespace qm::platform {

// $HOME, else the password database's home of the current user, else "/tmp".
// [any-thread]
std::string homeDirectory();

// $HOME/Library
// [any-thread]
std::string libraryDirectory();

// $HOME/Library/<relative> (one slash between; `relative` may hold several components,
// e.g. "Logs/Quillomancer").
// [any-thread]
std::string libraryPath(std::string_view relative);

// $HOME/Library/Preferences, $HOME/Library/Logs, $HOME/Library/Application Support,
// $HOME/Library/Caches.
// [any-thread]
std::string preferencesDirectory();
std::string logsDirectory();
std::string applicationSupportDirectory();
std::string cachesDirectory();

// "~" and "~/..." become the home folder; other paths are returned unchanged.
// [any-thread]
std::string expandTilde(std::string_view path);

// Joins two path pieces with exactly one slash between them.
// [any-thread]
std::string joinPath(std::string_view base, std::string_view name);

}  // namespace qm::platform
