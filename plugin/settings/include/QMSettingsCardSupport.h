#pragma once
// Free functions behind the settings card: the styled text of a server message with its links,
// the colour blend of the vote fades, and what Send Log gathers besides the plug-in's own log
// (the newest crash reports of the host and the updater's log).

#include "qm/ui/attributed_string.h"
#include "qm/ui/color.h"
#include "qm/ui/font.h"
#include "qm/ui/text_field.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- server messages ----------------------------------------------------------------------------

// A message body as styled text: "[label](http://...)" and "[label](https://...)" become the label
// in the link style (the font, accent orange, single underline) with the address attached as a
// link when it is one the browser may open; the rest is in the base style (the font, system 14
// when none; the colour, the secondary text colour when none). [any-thread]
qm::ui::AttributedString QMAttributedMessageFromMarkdown(const std::string& text, std::optional<qm::ui::Font> font,
                                                         std::optional<qm::ui::Color> colour);

// A message title as the one line of `label`: control characters (tabs, line breaks) become
// spaces, and a title that does not fit before the card's close button ends in "…" after the
// last whole character that does. [main-thread]
std::string QMOneLineMessageTitle(const std::string& title, const qm::ui::TextField& label);

// ---- votes ----------------------------------------------------------------------------------------

// The colour `t` (clamped to 0...1) of the way from `from` to `to`, in sRGB; the other colour when
// one is missing, `to` when one does not convert. [any-thread]
std::optional<qm::ui::Color> QMBlendColor(std::optional<qm::ui::Color> from, std::optional<qm::ui::Color> to, double t);

// ---- Send Log -------------------------------------------------------------------------------------

inline constexpr size_t kQMCrashBundleMaxBytes = 2u << 20;  // 2 MiB, but the first report always goes
inline constexpr size_t kQMCrashReportReadLimit = 16u << 20;  // read no further, cut at a line end
inline constexpr size_t kQMMaxHostCrashReports = 4;
inline constexpr size_t kQMMaxOtherCrashReports = 2;

// True when a (lower-case) file name names the host: "pluginrunner", "pro tools", "protools",
// "avidmediacomposer", "media composer" or "mediacomposer". [any-thread]
bool QMIsLikelyHostCrashReportName(std::string_view lowerCaseName);

// "$HOME/Library/Logs/DiagnosticReports" and "/Library/Logs/DiagnosticReports". [any-thread]
std::vector<std::string> QMDefaultCrashReportFolders();

// Fills `bundle` (cleared first) with the newest ".ips" reports (any letter case) of `folders`:
// up to 4 of the host, then up to 2 of other programs, each behind its header; the bundle stays
// within 2 MiB except for the first report. Only regular files are read, never through a
// symbolic link, and each up to 16 MiB (cut at the last line end before). `names` (cleared first)
// gets the file names taken, `hostMatchedCount` how many are the host's. True when one was taken.
// The bundle also takes at most `sentBytes` as sent in the upload (QMJSONStringBytes): a later
// report that would pass them is left out, and the first is cut (at a line end where it can be).
// [any-thread]
bool QMCollectCrashReportsForManualUpload(std::string& bundle, std::vector<std::string>* names, int* hostMatchedCount,
                                          const std::vector<std::string>& folders = QMDefaultCrashReportFolders(),
                                          size_t sentBytes = SIZE_MAX);

// Cuts `text` so that it takes at most `sentBytes` as sent in the upload (QMJSONStringBytes),
// after its last line end that allows (else at a character boundary). [any-thread]
void QMCutForUpload(std::string& text, size_t sentBytes);

// Leaves out the start of `text` so that it takes at most `sentBytes` as sent in the upload; the
// end stays, from a character boundary. [any-thread]
void QMKeepEndForUpload(std::string& text, size_t sentBytes);

// The updater's log "$HOME/Library/Application Support/Quillomancer/Updates/updater.log" when it
// reads as UTF-8; `path` gets its location. True when the text is not empty. [any-thread]
bool QMReadUpdaterLogForManualUpload(std::string& text, std::string* path);
