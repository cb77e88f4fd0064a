// A fake host installed as the framework's host services for the length of a test, so
// that trace lines and assertion reports can be checked.
#pragma once

#include "AAX_CHostServices.h"
#include "qm/host/fake_host.h"

#include <string>
#include <vector>

class HostCapture {
public:
  HostCapture() { AAX_CHostServices::Set(mHost.Unknown()); }
  ~HostCapture() { AAX_CHostServices::Set(nullptr); }
  HostCapture(const HostCapture&) = delete;
  HostCapture& operator=(const HostCapture&) = delete;

  qm::host::FakeHost& Host() { return mHost; }
  IACFUnknown* Unknown() { return mHost.Unknown(); }

  std::vector<std::string> AssertNotes() {
    std::vector<std::string> notes;
    for (const auto& report : mHost.HostServices().Asserts()) notes.push_back(report.note);
    return notes;
  }
  std::vector<qm::host::FakeHostServices::TraceLine> Traces() { return mHost.HostServices().Traces(); }
  void Clear() { mHost.HostServices().ClearRecords(); }
  // The host's objects still referenced or over-released, apart from the host services
  // that this capture itself keeps installed.
  std::vector<std::string> Unbalanced() {
    std::vector<std::string> lines;
    for (const std::string& line : mHost.Unbalanced()) {
      if (line.rfind("host services", 0) != 0) lines.push_back(line);
    }
    return lines;
  }

private:
  qm::host::FakeHost mHost;
};
