#include "qm/host/bundle_validator.h"

#include "AAX_CChunkDataParser.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_IACFEffectGUI.h"
#include "AAX_IACFEffectParameters.h"
#include "AAX_IACFHostProcessor.h"
#include "AAX_UIDs.h"
#include "IACFPluginDefinition.h"
#include "qm/host/bundle_loader.h"
#include "qm/host/fake_host.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <vector>

namespace qm::host {

namespace {

constexpr uint64_t kSDKFamily = 0x0000020900000000ull;  // the 2.9 interface generation
constexpr AAX_CProcPtrID kParametersProc = 0;
constexpr AAX_CProcPtrID kGUIProc = 1;
constexpr AAX_CProcPtrID kProcessorProc = 3;

std::string Code(int32_t result) { return AAX::Exception::ResultError::FormatResult(result); }

// A four-character code when every byte is printable, else the decimal value.
std::string PropertyText(int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  const char text[5] = {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                        static_cast<char>(u), '\0'};
  bool printable = true;
  for (int i = 0; i < 4; ++i) printable = printable && text[i] >= 0x20 && text[i] < 0x7F;
  std::ostringstream out;
  out << value;
  if (printable) out << " ('" << text << "')";
  return out.str();
}

const char* ProcKind(AAX_CProcPtrID id) {
  switch (id) {
    case kParametersProc: return "effect parameters";
    case kGUIProc: return "GUI";
    case kProcessorProc: return "host processor";
    default: return "unknown kind";
  }
}

class Checker {
public:
  Checker(std::ostream& out, ValidationResult& result, std::string pass) : mOut(out), mResult(result), mPass(std::move(pass)) {}

  bool Check(bool ok, const std::string& what, const std::string& detail = std::string()) {
    ++mResult.checks;
    if (!ok) ++mResult.failures;
    mOut << (ok ? "PASS " : "FAIL ") << "[" << mPass << "] " << what;
    if (!detail.empty()) mOut << ": " << detail;
    mOut << '\n';
    return ok;
  }
  void Note(const std::string& text) { mOut << "     " << text << '\n'; }

private:
  std::ostream& mOut;
  ValidationResult& mResult;
  std::string mPass;
};

// One created component, counted by the host until Release.
struct Component {
  AAX_CProcPtrID kind = -1;
  IACFUnknown* object = nullptr;  // the host's first reference
  void* typed = nullptr;          // the queried host interface (one more reference)
};

using CreateProc = IACFUnknown* (*)();

void DumpDescription(Checker& check, const FakeCollection& collection) {
  check.Note("manufacturer: \"" + collection.ManufacturerName() + "\"");
  std::string packages;
  for (const std::string& name : collection.PackageNames()) packages += (packages.empty() ? "\"" : ", \"") + name + "\"";
  check.Note("package names: " + (packages.empty() ? std::string("none") : packages));
  check.Note("package version: " + std::to_string(collection.PackageVersion()));
  for (const FakeCollection::Effect& effect : collection.Effects()) {
    check.Note("effect \"" + effect.id + "\"");
    if (!effect.descriptor) continue;
    std::string names;
    for (const std::string& name : effect.descriptor->Names()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    check.Note("  names: " + (names.empty() ? std::string("none") : names));
    std::string categories;
    for (uint32_t category : effect.descriptor->Categories()) categories += (categories.empty() ? "" : ", ") + std::to_string(category);
    check.Note("  categories: " + (categories.empty() ? std::string("none") : categories));
    if (const FakePropertyMap* map = effect.descriptor->Properties()) {
      for (const auto& [id, value] : map->Values()) check.Note("  property " + std::to_string(id) + " = " + PropertyText(value));
    } else {
      check.Note("  properties: none");
    }
    for (const FakeEffectDescriptor::ProcPtr& proc : effect.descriptor->ProcPtrs()) {
      check.Note("  creation function " + std::to_string(proc.id) + " (" + ProcKind(proc.id) + ")");
    }
  }
}

// Saves every chunk, restores it, compares it and saves it again: both saves must match.
void ChunkRoundTrip(Checker& check, AAX_IACFEffectParameters* parameters) {
  int32_t count = 0;
  const AAX_Result counted = parameters->GetNumberOfChunks(&count);
  if (!check.Check(counted == 0 && count >= 0, "chunk count", counted == 0 ? std::to_string(count) : Code(counted))) return;
  for (int32_t index = 0; index < count; ++index) {
    AAX_CTypeID id = 0;
    if (!check.Check(parameters->GetChunkIDFromIndex(index, &id) == 0, "chunk identifier " + std::to_string(index))) continue;
    const std::string name = "chunk " + PropertyText(static_cast<int32_t>(id));
    auto save = [&](std::vector<unsigned char>& bytes) -> bool {
      uint32_t size = 0;
      const AAX_Result sized = parameters->GetChunkSize(id, &size);
      if (sized != 0) return check.Check(false, name + " size", Code(sized));
      if (size > (64u << 20)) return check.Check(false, name + " size", std::to_string(size) + " bytes is implausible");
      bytes.assign(kAAX_SPlugInChunkHeaderSize + size, 0);
      auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(bytes.data());
      chunk->fChunkID = id;
      chunk->fSize = static_cast<int32_t>(size);
      const AAX_Result got = parameters->GetChunk(id, chunk);
      if (got != 0) return check.Check(false, name + " save", Code(got));
      if (chunk->fSize < 0 || static_cast<uint32_t>(chunk->fSize) > size) {
        return check.Check(false, name + " save", "size field " + std::to_string(chunk->fSize) + " exceeds the size reported");
      }
      return true;
    };
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
    if (!save(first)) continue;
    auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(first.data());
    check.Check(true, name + " saved", std::to_string(chunk->fSize) + " byte body");
    const AAX_Result restored = parameters->SetChunk(id, chunk);
    check.Check(restored == 0, name + " restored", restored == 0 ? "" : Code(restored));
    uint8_t equal = 0;
    const AAX_Result compared = parameters->CompareActiveChunk(chunk, &equal);
    check.Check(compared == 0 && equal == 1, name + " compares equal after restoring",
                compared != 0 ? Code(compared) : (equal == 1 ? "" : "the plug-in says it differs"));
    if (!save(second)) continue;
    check.Check(first == second, name + " round trip byte for byte",
                first == second ? "" : "the second save differs from the first");
  }
}

void ValidateComponents(Checker& check, FakeHost& host, const FakeCollection& collection) {
  std::vector<FakeEffectDescriptor::ProcPtr> procs;
  for (const FakeCollection::Effect& effect : collection.Effects()) {
    if (effect.descriptor) {
      for (const auto& proc : effect.descriptor->ProcPtrs()) procs.push_back(proc);
    }
  }
  if (!check.Check(!procs.empty(), "creation functions registered", std::to_string(procs.size()))) return;
  // The data-model object first: the others look for it through the host.
  std::stable_sort(procs.begin(), procs.end(), [](const auto& a, const auto& b) {
    return (a.id == kParametersProc) > (b.id == kParametersProc);
  });

  std::vector<Component> alive;
  AAX_IACFEffectParameters* parameters = nullptr;
  for (const FakeEffectDescriptor::ProcPtr& proc : procs) {
    const std::string what = std::string(ProcKind(proc.id)) + " (" + std::to_string(proc.id) + ")";
    IACFUnknown* object = reinterpret_cast<CreateProc>(proc.proc)();
    if (!check.Check(object != nullptr, what + " created")) continue;
    object->AddRef();
    Component component{proc.id, object, nullptr};
    const _acfUID* iid = proc.id == kParametersProc ? &IID_IAAXEffectParametersV1
                         : proc.id == kProcessorProc ? &IID_IAAXHostProcessorV1
                         : proc.id == kGUIProc       ? &IID_IAAXEffectGUIV1
                                                     : nullptr;
    const ACFRESULT queried = iid ? object->QueryInterface(*iid, &component.typed) : ACF_E_NOINTERFACE;
    if (!check.Check(queried == 0 && component.typed, what + " answers its interface", queried == 0 ? "" : Code(queried))) {
      object->Release();
      continue;
    }
    AAX_Result initialized = ACF_E_NOINTERFACE;
    if (proc.id == kParametersProc) {
      auto* typed = static_cast<AAX_IACFEffectParameters*>(component.typed);
      initialized = typed->Initialize(host.Unknown());
      if (!parameters) {
        parameters = typed;
        host.SetEffectParameters(object);
      }
    } else if (proc.id == kProcessorProc) {
      initialized = static_cast<AAX_IACFHostProcessor*>(component.typed)->Initialize(host.Unknown());
    } else {
      initialized = static_cast<AAX_IACFEffectGUI*>(component.typed)->Initialize(host.Unknown());
    }
    check.Check(initialized == 0, what + " initialised against the host", initialized == 0 ? "" : Code(initialized));
    alive.push_back(component);
  }

  if (parameters) {
    ChunkRoundTrip(check, parameters);
  } else {
    check.Check(false, "chunk round trip", "no effect-parameters object was registered");
  }

  // Release in reverse order of creation: window and processor before the data model.
  for (auto it = alive.rbegin(); it != alive.rend(); ++it) {
    const std::string what = std::string(ProcKind(it->kind)) + " (" + std::to_string(it->kind) + ")";
    AAX_Result uninitialized = 0;
    if (it->kind == kParametersProc) {
      uninitialized = static_cast<AAX_IACFEffectParameters*>(it->typed)->Uninitialize();
    } else if (it->kind == kProcessorProc) {
      uninitialized = static_cast<AAX_IACFHostProcessor*>(it->typed)->Uninitialize();
    } else {
      uninitialized = static_cast<AAX_IACFEffectGUI*>(it->typed)->Uninitialize();
    }
    check.Check(uninitialized == 0, what + " uninitialised", uninitialized == 0 ? "" : Code(uninitialized));
    static_cast<IACFUnknown*>(it->typed)->Release();
    const acfUInt32 left = it->object->Release();
    check.Check(left == 0, what + " released", left == 0 ? "" : std::to_string(left) + " reference(s) still held");
  }
  host.SetEffectParameters(nullptr);
}

void RunPass(const std::string& bundlePath, const std::string& pass, std::ostream& out, ValidationResult& result) {
  Checker check(out, result, pass);
  FakeHost host;
  std::string error;
  std::unique_ptr<LoadedBundle> bundle = LoadedBundle::Load(bundlePath, &error);
  if (!check.Check(bundle != nullptr, "load", bundle ? LoadedBundle::ModulePath(bundlePath) : error)) return;
  std::string missing;
  for (const std::string& name : bundle->Missing()) missing += (missing.empty() ? "" : ", ") + name;
  if (!check.Check(missing.empty(), "entry points", missing.empty() ? "all nine found" : "missing " + missing)) return;
  const EntryPoints& entry = bundle->Entry();

  const ACFRESULT started = entry.startup(host.Unknown());
  check.Check(started == 0, "start-up", started == 0 ? "" : Code(started));

  uint64_t version = 0;
  const ACFRESULT versioned = entry.getSDKVersion(&version);
  std::ostringstream versionText;
  versionText << "0x" << std::hex << std::uppercase << std::setw(16) << std::setfill('0') << version;
  check.Check(versioned == 0 && (version & 0xFFFFFFFF00000000ull) == kSDKFamily, "SDK version",
              versioned == 0 ? versionText.str() : Code(versioned));

  IACFPluginDefinition* definition = nullptr;
  const ACFRESULT registered = entry.registerPlugin(host.Unknown(), &definition);
  const std::vector<FakeCollection*> collections = host.Collections();
  const bool registeredOk = check.Check(registered == 0 && definition != nullptr, "registration",
                                        registered != 0 ? Code(registered) : (definition ? "" : "no plug-in definition handed back"));
  if (registeredOk && !collections.empty()) {
    const FakeCollection& collection = *collections.back();
    check.Check(!collection.Effects().empty(), "effects described", std::to_string(collection.Effects().size()));
    DumpDescription(check, collection);
    ValidateComponents(check, host, collection);
  }
  for (const auto& trace : host.HostServices().Traces()) check.Note("trace: " + trace.text);
  if (definition) definition->Release();

  const ACFRESULT live = entry.canUnloadNow(host.Unknown());
  check.Check(live == 0, "unload query", live == 0 ? "no live objects" : std::to_string(live) + " component object(s) still alive");

  const ACFRESULT stopped = entry.shutdown(host.Unknown());
  check.Check(stopped == 0, "shut-down", stopped == 0 ? "" : Code(stopped));

  std::string unbalanced;
  for (const std::string& line : host.Unbalanced()) unbalanced += (unbalanced.empty() ? "" : "; ") + line;
  check.Check(unbalanced.empty(), "host references balanced", unbalanced);

  check.Check(bundle->Unload(&error), "unload", error);
}

}  // namespace

ValidationResult ValidateBundle(const std::string& bundlePath, std::ostream& out) {
  ValidationResult result;
  try {
    RunPass(bundlePath, "cold", out, result);
    RunPass(bundlePath, "warm", out, result);
  } catch (const std::exception& error) {
    ++result.failures;
    out << "FAIL the validation stopped: " << error.what() << '\n';
  } catch (...) {
    ++result.failures;
    out << "FAIL the validation stopped on an unknown exception\n";
  }
  out << (result.Passed() ? "PASSED" : "FAILED") << ": " << result.checks << " checks, " << result.failures << " failed\n";
  return result;
}

}  // namespace qm::host
