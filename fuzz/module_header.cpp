// Any bytes as a plug-in module on disk, judged by the check the host runs before it loads a
// module: it never crashes or reads past the file, and it always gives a verdict. A file it
// passes has its ELF header and every segment inside it.
#include <elf.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input_file.h"
#include "qm/host/bundle_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = WriteInputFile("qm-fuzz-module", data, size);
  const std::string fault = qm::host::LoadedBundle::ModuleFault(path);
  if (!fault.empty()) return 0;
  // Passed: the header and each segment's bytes lie inside the input.
  Elf64_Ehdr header;
  if (size < sizeof header) std::abort();
  std::memcpy(&header, data, sizeof header);
  if (header.e_phoff > size || uint64_t(header.e_phnum) * sizeof(Elf64_Phdr) > size - header.e_phoff) std::abort();
  for (uint16_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment;
    std::memcpy(&segment, data + header.e_phoff + i * sizeof segment, sizeof segment);
    if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset) std::abort();
  }
  return 0;
}
