#pragma once
// The account access token on disk: "$HOME/Library/Application Support/Quillomancer/account.json",
// a JSON object {"access_token": "..."} of mode 0600, written atomically. The window reads it when
// it builds its view and hands its copy to the store (QMli) and to the service calls; the host
// stand-in's `qmhost account` provisions it. Nothing here logs, so the token reaches no log line.

#include <string>
#include <string_view>

// The file is read only up to this size; a larger one holds no token.
inline constexpr size_t kQMAccountFileMaxBytes = 4096;

// "$HOME/Library/Application Support/Quillomancer/account.json" (HOME read on every call).
// [any-thread]
std::string QMAccountTokenFilePath();

// A token is usable when it is 1 to 255 bytes (what QMli holds) with no control characters.
// [any-thread]
bool QMIsUsableAccessToken(std::string_view token);

// The stored token, or "" when there is none. The file is opened without following a link and
// without blocking, and read only when it is a regular file of at most 4 KiB, owned by this user,
// that neither group nor others may read or write; then it must be a JSON object whose
// "access_token" is a usable token. When a file is there but not used, `ignoredBecause` (when
// given) gets the path and why, for the caller to log ("" when there is no file or it was used).
// [any-thread]
std::string QMReadAccountToken(std::string* ignoredBecause = nullptr);
std::string QMReadAccountTokenFile(const std::string& path, std::string* ignoredBecause = nullptr);

// Stores a usable token (creating the folder when needed). Returns 0, EINVAL for a token that is
// not usable (the file is left as it was), or the errno of the step that failed. [any-thread]
int QMWriteAccountToken(std::string_view token);
int QMWriteAccountTokenFile(const std::string& path, std::string_view token);

// A token the host process lends the plug-in for its own run, in its environment variable
// QUILLOMANCER_ACCESS_TOKEN (the host stand-in's session against its embedded service): used only
// when no stored token is, so a user's file is never written over to lend one. "" when none or not
// usable. [any-thread]
inline constexpr const char* kQMLentAccessTokenEnvironment = "QUILLOMANCER_ACCESS_TOKEN";
std::string QMLentAccessToken();

// Removes the stored token. Returns 0 (also when there was none) or the errno of the removal.
// [any-thread]
int QMClearAccountToken();
int QMClearAccountTokenFile(const std::string& path);
