// Loads a plug-in bundle's module with dlopen and looks up its entry points by name.
#pragma once

#include "acfbasetypes.h"

#include <memory>
#include <string>
#include <vector>

class IACFUnknown;
class IACFPluginDefinition;
class IACFComponentDefinition;

namespace qm::host {

struct EntryPoints {
  ACFRESULT (*startup)(IACFUnknown*) = nullptr;
  ACFRESULT (*getSDKVersion)(uint64_t*) = nullptr;
  ACFRESULT (*registerPlugin)(IACFUnknown*, IACFPluginDefinition**) = nullptr;
  ACFRESULT (*registerComponent)(IACFUnknown*, acfUInt32, IACFComponentDefinition**) = nullptr;
  ACFRESULT (*getClassFactory)(IACFUnknown*, const _acfUID&, const _acfUID&, void**) = nullptr;
  ACFRESULT (*canUnloadNow)(IACFUnknown*) = nullptr;
  ACFRESULT (*shutdown)(IACFUnknown*) = nullptr;
  acfUInt32 (*interlockedIncrement)(acfUInt32*) = nullptr;
  acfUInt32 (*interlockedDecrement)(acfUInt32*) = nullptr;
};

class LoadedBundle {
public:
  // The module inside a bundle folder (<dir>/Contents/x86_64-linux/<Name>.so for
  // <dir> = .../<Name>.aaxplugin), or the path itself when it names a file.
  static std::string ModulePath(const std::string& bundlePath);

  // Why the module file cannot be handed to the system loader (missing, not a regular file, not
  // a 64-bit ELF module of this machine, or headers or segments past its end), or "" when it can.
  static std::string ModuleFault(const std::string& modulePath);

  // Null with `error` set when the module cannot be loaded: missing, not a regular file, or a
  // module whose headers or segments lie past the file's end (checked before the system loader
  // maps it).
  static std::unique_ptr<LoadedBundle> Load(const std::string& bundlePath, std::string* error);

  ~LoadedBundle();
  LoadedBundle(const LoadedBundle&) = delete;
  LoadedBundle& operator=(const LoadedBundle&) = delete;

  const std::string& Module() const { return mModule; }
  const EntryPoints& Entry() const { return mEntry; }
  // Names of entry points the module does not export.
  const std::vector<std::string>& Missing() const { return mMissing; }
  // Unloads now; false with `error` set when dlclose fails.
  bool Unload(std::string* error);

private:
  LoadedBundle() = default;

  void* mHandle = nullptr;
  std::string mModule;
  EntryPoints mEntry;
  std::vector<std::string> mMissing;
};

}  // namespace qm::host
