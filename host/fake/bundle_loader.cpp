#include "qm/host/bundle_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace qm::host {

namespace {
bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

template <class Fn>
void Find(void* handle, const char* name, Fn& slot, std::vector<std::string>& missing) {
  void* symbol = ::dlsym(handle, name);
  if (!symbol) {
    missing.emplace_back(name);
    return;
  }
  slot = reinterpret_cast<Fn>(symbol);
}
}  // namespace

std::string LoadedBundle::ModulePath(const std::string& bundlePath) {
  const std::string path = Trimmed(bundlePath);
  if (!IsDirectory(path)) return path;
  std::string name = path.substr(path.find_last_of('/') + 1);
  const std::string suffix = ".aaxplugin";
  if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    name.resize(name.size() - suffix.size());
  }
  return path + "/Contents/x86_64-linux/" + name + ".so";
}

std::unique_ptr<LoadedBundle> LoadedBundle::Load(const std::string& bundlePath, std::string* error) {
  std::unique_ptr<LoadedBundle> bundle(new LoadedBundle);
  bundle->mModule = ModulePath(bundlePath);
  struct stat info {};
  if (::stat(bundle->mModule.c_str(), &info) != 0) {
    if (error) *error = "no module at " + bundle->mModule;
    return nullptr;
  }
  bundle->mHandle = ::dlopen(bundle->mModule.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!bundle->mHandle) {
    const char* reason = ::dlerror();
    if (error) *error = reason ? reason : "dlopen failed";
    return nullptr;
  }
  EntryPoints& e = bundle->mEntry;
  std::vector<std::string>& missing = bundle->mMissing;
  Find(bundle->mHandle, "ACFStartup", e.startup, missing);
  Find(bundle->mHandle, "ACFGetSDKVersion", e.getSDKVersion, missing);
  Find(bundle->mHandle, "ACFRegisterPlugin", e.registerPlugin, missing);
  Find(bundle->mHandle, "ACFRegisterComponent", e.registerComponent, missing);
  Find(bundle->mHandle, "ACFGetClassFactory", e.getClassFactory, missing);
  Find(bundle->mHandle, "ACFCanUnloadNow", e.canUnloadNow, missing);
  Find(bundle->mHandle, "ACFShutdown", e.shutdown, missing);
  Find(bundle->mHandle, "ACFInterlockedIncrement", e.interlockedIncrement, missing);
  Find(bundle->mHandle, "ACFInterlockedDecrement", e.interlockedDecrement, missing);
  return bundle;
}

LoadedBundle::~LoadedBundle() { Unload(nullptr); }

bool LoadedBundle::Unload(std::string* error) {
  if (!mHandle) return true;
  void* handle = mHandle;
  mHandle = nullptr;
  if (::dlclose(handle) != 0) {
    const char* reason = ::dlerror();
    if (error) *error = reason ? reason : "dlclose failed";
    return false;
  }
  return true;
}

}  // namespace qm::host
