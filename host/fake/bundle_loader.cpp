#include "qm/host/bundle_loader.h"

#include "qm/platform/files.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

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

// Reads `count` bytes at `offset` whole.
bool ReadAt(int fd, uint64_t offset, void* to, size_t count) {
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, static_cast<char*>(to) + got, count - got, off_t(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

// What of the file is missing when `count` bytes at `offset` are wanted from a file of `size`
// bytes, or "" when they are all there.
std::string Beyond(const std::string& what, uint64_t offset, uint64_t count, uint64_t size) {
  if (offset <= size && count <= size - offset) return "";
  const std::string end = offset > std::numeric_limits<uint64_t>::max() - count ? "past 2^64"
                                                                                 : std::to_string(offset + count);
  return "is cut short: its " + what + " (bytes " + std::to_string(offset) + " to " + end +
         ") lies past its end at " + std::to_string(size) + " bytes";
}

const char* SegmentKind(uint32_t type) {
  switch (type) {
    case PT_LOAD: return "loadable segment";
    case PT_DYNAMIC: return "dynamic segment";
    case PT_INTERP: return "interpreter segment";
    case PT_NOTE: return "note segment";
    default: return "segment";
  }
}

// Why the open module of `size` bytes cannot be handed to the system loader, or "" when it can.
// The loader maps each segment from the file by its offset; a page of a mapping past the end of a
// cut file has nothing behind it, and the first touch of it kills the process (SIGBUS). So the
// headers, each segment's bytes in the file and the section header table must all lie inside it.
std::string ElfFault(int fd, uint64_t size) {
  Elf64_Ehdr header{};
  if (!ReadAt(fd, 0, &header, size_t(std::min<uint64_t>(size, sizeof header)))) return "cannot be read";
  if (size < SELFMAG || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "is not an ELF module";
  if (std::string cut = Beyond("ELF header", 0, sizeof header, size); !cut.empty()) return cut;
  const unsigned char nativeData = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != nativeData) {
    return "is not a 64-bit ELF module in this machine's byte order";
  }
  if (header.e_phentsize != sizeof(Elf64_Phdr)) return "has program headers of an unknown size";
  const uint64_t tableBytes = uint64_t(header.e_phnum) * sizeof(Elf64_Phdr);
  if (std::string cut = Beyond("program header table", header.e_phoff, tableBytes, size); !cut.empty()) return cut;
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  if (!ReadAt(fd, header.e_phoff, segments.data(), size_t(tableBytes))) return "cannot be read";
  for (size_t i = 0; i < segments.size(); ++i) {
    const Elf64_Phdr& segment = segments[i];
    const std::string what = std::string(SegmentKind(segment.p_type)) + " " + std::to_string(i);
    if (std::string cut = Beyond(what, segment.p_offset, segment.p_filesz, size); !cut.empty()) return cut;
  }
  // The loader never reads the section headers, but the table sits at the file's end: a file cut
  // after its last segment is found here.
  if (header.e_shoff != 0) {
    const uint64_t sectionBytes = uint64_t(std::max<uint16_t>(header.e_shnum, 1)) * header.e_shentsize;
    if (std::string cut = Beyond("section header table", header.e_shoff, sectionBytes, size); !cut.empty()) return cut;
  }
  return "";
}

// Why the module at `path` cannot be loaded, or "" when the system loader may have it. It is
// opened without blocking (a FIFO there would hang an ordinary open) and must be a regular file.
std::string ModuleFaultAt(const std::string& path) {
  qm::platform::FileOpenOptions options;
  options.followLinks = true;
  options.maxBytes = std::numeric_limits<size_t>::max();
  const qm::platform::FileOpenResult opened = qm::platform::openRegularFile(path, options);
  if (opened.refusal == qm::platform::FileRefusal::missing) return "no module at " + path;
  if (opened.fd < 0) {
    const std::string why = qm::platform::describeFileRefusal(opened.refusal, options.maxBytes, opened.error);
    return "the module " + path + " " + why;
  }
  const std::string fault = ElfFault(opened.fd, uint64_t(opened.info.st_size));
  ::close(opened.fd);
  return fault.empty() ? "" : "the module " + path + " " + fault;
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

std::string LoadedBundle::ModuleFault(const std::string& modulePath) { return ModuleFaultAt(modulePath); }

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
  if (std::string fault = ModuleFault(bundle->mModule); !fault.empty()) {
    if (error) *error = fault;
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
