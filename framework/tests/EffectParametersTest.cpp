#include "AAX_CEffectParameters.h"
#include "AAX_CParameter.h"
#include "AAX_IPageTable.h"
#include "HostCapture.h"
#include "ParameterFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

AAX_IParameter* MakeBool(const char* id, const char* name, bool value = false) {
  return NewBoolParameter(id, name, value, "bypass");
}

// A data-model component whose EffectInit adds whatever the test asks for.
class TestParameters : public AAX_CEffectParameters {
public:
  std::function<AAX_Result(AAX_CParameterManager&)> init = [](AAX_CParameterManager& m) {
    m.AddParameter(MakeBool(cDefaultMasterBypassID, "Bypass"));
    return 0;
  };
  std::vector<std::string> pageTableCalls;

  using AAX_CEffectParameters::UpdatePageTable;
  AAX_Result EffectInit() override { return init(mParameterManager); }
  AAX_Result UpdatePageTable(uint32_t type, int32_t size, AAX_IPageTable& table) override {
    int32_t pages = -1;
    table.GetNumPages(pages);
    pageTableCalls.push_back(std::to_string(type) + "/" + std::to_string(size) + "/" + std::to_string(pages));
    return 0;
  }
  AAX_CParameterManager& Manager() { return mParameterManager; }
  int32_t Chunked() const { return NumChunkedParameters(); }
};

// A chunk record in a buffer of exactly header + body bytes.
class ChunkBuffer {
public:
  explicit ChunkBuffer(uint32_t bodySize) : mBytes(kAAX_SPlugInChunkHeaderSize + bodySize, 0) {}
  AAX_SPlugInChunk* get() { return reinterpret_cast<AAX_SPlugInChunk*>(mBytes.data()); }
  Bytes body() const {
    int32_t size;
    std::memcpy(&size, mBytes.data(), 4);
    return Bytes(mBytes.begin() + kAAX_SPlugInChunkHeaderSize, mBytes.begin() + kAAX_SPlugInChunkHeaderSize + size);
  }
  void Truncate(uint32_t bodySize) {
    mBytes.resize(kAAX_SPlugInChunkHeaderSize + bodySize);
    const int32_t size = static_cast<int32_t>(bodySize);
    std::memcpy(mBytes.data(), &size, 4);
  }

private:
  Bytes mBytes;
};

// Saves the component's chunk the way the host does: size first, then the record.
ChunkBuffer SaveChunk(AAX_CEffectParameters& parameters) {
  uint32_t size = 0;
  EXPECT_EQ(parameters.GetChunkSize(cControlsChunkID, &size), 0);
  ChunkBuffer buffer(size);
  buffer.get()->fChunkID = cControlsChunkID;
  EXPECT_EQ(parameters.GetChunk(cControlsChunkID, buffer.get()), 0);
  return buffer;
}

struct EffectParametersOnFakeHost : ::testing::Test {
  HostCapture capture;
  TestParameters parameters;

  void TearDown() override {
    parameters.Uninitialize();
    EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
  }
  qm::host::FakeAutomationDelegate& Automation() { return capture.Host().Automation(); }
};

}  // namespace

TEST_F(EffectParametersOnFakeHost, BypassOnlyChunkIsTheVersionWordAlone) {
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(parameters.Chunked(), 0);  // the master bypass is never saved
  uint32_t size = 0;
  ASSERT_EQ(parameters.GetChunkSize(cControlsChunkID, &size), 0);
  EXPECT_EQ(size, 4u);

  ChunkBuffer chunk(size);
  AAX_SPlugInChunk* record = chunk.get();
  record->fHostOwned[0] = 0x11111111;
  record->fHostOwned[1] = 0x22222222;
  record->fHostOwned[2] = 0x33333333;
  record->fChunkID = 0x44444444;
  std::memset(record->fName, 'x', sizeof record->fName);
  ASSERT_EQ(parameters.GetChunk(cControlsChunkID, record), 0);
  EXPECT_EQ(record->fSize, 4);
  EXPECT_EQ(static_cast<uint32_t>(record->fVersion), 0xFFFFFFFFu);
  EXPECT_EQ(chunk.body(), (Bytes{1, 1, 1, 1}));
  EXPECT_STREQ(reinterpret_cast<const char*>(record->fName), "Complete Controls State");
  for (size_t i = std::strlen("Complete Controls State"); i < sizeof record->fName; ++i) EXPECT_EQ(record->fName[i], 0);
  // The host's own fields are left as they were.
  EXPECT_EQ(record->fHostOwned[0], 0x11111111u);
  EXPECT_EQ(record->fHostOwned[2], 0x33333333u);
  EXPECT_EQ(record->fChunkID, 0x44444444u);

  // Any 'elck' chunk restores nothing and compares equal.
  record->fChunkID = cControlsChunkID;
  EXPECT_EQ(parameters.SetChunk(cControlsChunkID, record), 0);
  uint8_t equal = 0;
  EXPECT_EQ(parameters.CompareActiveChunk(record, &equal), 0);
  EXPECT_EQ(equal, 1);
  EXPECT_TRUE(Automation().SetValueRequests().empty());
}

TEST_F(EffectParametersOnFakeHost, ChunkProtocolErrors) {
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  ChunkBuffer chunk(64);
  EXPECT_EQ(parameters.GetChunk(cControlsChunkID, chunk.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);  // no size asked yet
  EXPECT_EQ(parameters.GetChunk(0x61626364, chunk.get()), AAX_ERROR_INVALID_CHUNK_ID);
  EXPECT_EQ(parameters.SetChunk(0x61626364, chunk.get()), AAX_ERROR_INVALID_CHUNK_ID);

  uint32_t size = 99;
  EXPECT_EQ(parameters.GetChunkSize(0x61626364, &size), AAX_ERROR_INVALID_CHUNK_ID);
  EXPECT_EQ(size, 0u);
  AAX_CTypeID id = 99;
  EXPECT_EQ(parameters.GetChunkIDFromIndex(1, &id), AAX_ERROR_INVALID_CHUNK_INDEX);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(parameters.GetChunkIDFromIndex(0, &id), 0);
  EXPECT_EQ(id, 0x656C636Bu);
  int32_t count = 0;
  EXPECT_EQ(parameters.GetNumberOfChunks(&count), 0);
  EXPECT_EQ(count, 1);

  chunk.get()->fChunkID = 0x61626364;
  uint8_t equal = 0;
  EXPECT_EQ(parameters.CompareActiveChunk(chunk.get(), &equal), 0);
  EXPECT_EQ(equal, 1);
  EXPECT_EQ(parameters.CompareActiveChunk(nullptr, &equal), AAX_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(parameters.SetChunk(cControlsChunkID, nullptr), AAX_ERROR_NULL_ARGUMENT);
}

// Saved values of every type, byte for byte; restore and compare through the host.
TEST_F(EffectParametersOnFakeHost, SavesRestoresAndComparesEveryValueType) {
  parameters.init = [](AAX_CParameterManager& m) {
    m.AddParameter(MakeBool(cDefaultMasterBypassID, "Bypass", true));
    m.AddParameter(MakeBool("On", "On", true));
    m.AddParameter(new AAX_CParameter<float>("g", AAX_CString("Gain"), 1.0f, LinearTaper<float>(0, 2),
                                             NumberDisplay<float>(), true));
    m.AddParameter(new AAX_CParameter<int32_t>("n", AAX_CString("N"), 3, LinearTaper<int32_t>(0, 10),
                                               NumberDisplay<int32_t>(), true));
    m.AddParameter(new AAX_CParameter<double>("d", AAX_CString("D"), 0.5, LinearTaper<double>(0, 1),
                                              NumberDisplay<double>(), true));
    return 0;
  };
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(parameters.Chunked(), 4);

  ChunkBuffer saved = SaveChunk(parameters);
  const Bytes expected = {
      1, 1, 1, 1,                                              // version word
      'l', '_', 'O', 'n', 0, 0, 0, 0, 0, 0, 0, 1,              // bool as a 32-bit 1
      'd', '_', 'g', 0, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,          // float widened to double
      'l', '_', 'n', 0, 0, 0, 0, 3,                            // int32
      'd', '_', 'd', 0, 0x3F, 0xE0, 0, 0, 0, 0, 0, 0,          // double
  };
  EXPECT_EQ(saved.body(), expected);
  EXPECT_EQ(SaveChunk(parameters).body(), expected);  // save, save: identical
  ASSERT_EQ(parameters.SetChunk(cControlsChunkID, saved.get()), 0);
  EXPECT_EQ(SaveChunk(parameters).body(), expected);  // save, restore, save: identical

  uint8_t equal = 0;
  ASSERT_EQ(parameters.CompareActiveChunk(saved.get(), &equal), 0);
  EXPECT_EQ(equal, 1);

  // A chunk whose int32 differs compares unequal, and restoring it asks the host for the value.
  ChunkBuffer changed = saved;
  *(changed.get()->fData + 4 + 12 + 12 + 7) = 9;  // the body runs past the declared one-byte array
  ASSERT_EQ(parameters.CompareActiveChunk(changed.get(), &equal), 0);
  EXPECT_EQ(equal, 0);
  const size_t requestsBefore = Automation().SetValueRequests().size();
  ASSERT_EQ(parameters.SetChunk(cControlsChunkID, changed.get()), 0);
  bool askedForN = false;
  const auto requests = Automation().SetValueRequests();
  for (size_t i = requestsBefore; i < requests.size(); ++i) {
    const auto& post = requests[i];
    if (post.id == "n") {
      askedForN = true;
      EXPECT_DOUBLE_EQ(post.value, 0.9);
    }
    EXPECT_NE(post.id, cDefaultMasterBypassID);  // filtered: never restored
  }
  EXPECT_TRUE(askedForN);

  // A truncated chunk restores only what lies inside its size and never compares equal.
  ChunkBuffer truncated = changed;
  truncated.Truncate(4 + 12 + 12 + 6);
  truncated.get()->fChunkID = cControlsChunkID;
  ASSERT_EQ(parameters.CompareActiveChunk(truncated.get(), &equal), 0);
  EXPECT_EQ(equal, 0);
  const size_t before = Automation().SetValueRequests().size();
  ASSERT_EQ(parameters.SetChunk(cControlsChunkID, truncated.get()), 0);
  for (size_t i = before; i < Automation().SetValueRequests().size(); ++i)
    EXPECT_NE(Automation().SetValueRequests()[i].id, "n");
}

TEST_F(EffectParametersOnFakeHost, ChangedValueSizeBetweenSizeAndChunkIsRefused) {
  parameters.init = [](AAX_CParameterManager& m) {
    m.AddParameter(MakeBool("a", "A"));
    return 0;
  };
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  uint32_t size = 0;
  ASSERT_EQ(parameters.GetChunkSize(cControlsChunkID, &size), 0);
  parameters.Manager().AddParameter(MakeBool("b", "B"));
  ChunkBuffer chunk(64);
  EXPECT_EQ(parameters.GetChunk(cControlsChunkID, chunk.get()), AAX_ERROR_INCORRECT_CHUNK_SIZE);
}

TEST_F(EffectParametersOnFakeHost, RegistersParametersAndAnswersTheirQueries) {
  parameters.init = [](AAX_CParameterManager& m) {
    m.AddParameter(MakeBool(cDefaultMasterBypassID, "Bypass"));
    AAX_IParameter* named = new AAX_CParameter<double>("level", AAX_CString("Level of the take"), 0.9, LinearTaper<double>(0, 1),
                                                       NumberDisplay<double>(), false);
    named->AddShortenedName(AAX_CString("Levels\nLvl"));
    m.AddParameter(named);
    return 0;
  };
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(Automation().Registered(), (std::vector<std::string>{cDefaultMasterBypassID, "level"}));

  int32_t count = 0;
  EXPECT_EQ(parameters.GetNumberOfParameters(&count), 0);
  EXPECT_EQ(count, 2);
  AAX_CString text;
  EXPECT_EQ(parameters.GetMasterBypassParameter(&text), 0);
  EXPECT_EQ(text, cDefaultMasterBypassID);
  EXPECT_EQ(parameters.GetParameterIDFromIndex(1, &text), 0);
  EXPECT_EQ(text, "level");
  EXPECT_EQ(parameters.GetParameterIDFromIndex(2, &text), AAX_ERROR_INVALID_PARAMETER_ID);
  EXPECT_EQ(text, "");
  int32_t index = -5;
  EXPECT_EQ(parameters.GetParameterIndex("level", &index), 0);
  EXPECT_EQ(index, 1);
  uint8_t automatable = 9;
  EXPECT_EQ(parameters.GetParameterIsAutomatable("level", &automatable), 0);
  EXPECT_EQ(automatable, 0);
  int32_t steps = 0;
  EXPECT_EQ(parameters.GetParameterNumberOfSteps("level", &steps), 0);
  EXPECT_EQ(steps, 128);
  EXPECT_EQ(parameters.GetParameterName("nope", &text), 0);
  EXPECT_EQ(text, "");
  double value = 0;
  EXPECT_EQ(parameters.GetParameterValueFromString("level", &value, AAX_CString("0.25")), 0);
  EXPECT_DOUBLE_EQ(value, 0.25);
  EXPECT_EQ(parameters.GetParameterValueFromString("level", &value, AAX_CString("loud")),
            AAX_ERROR_INVALID_STRING_CONVERSION);
  EXPECT_EQ(parameters.GetParameterStringFromValue("level", 1.5, &text, 8), AAX_ERROR_INVALID_STRING_CONVERSION);
  EXPECT_EQ(parameters.GetParameterValueString("level", &text, 8), 0);
  EXPECT_EQ(text, "0.900000");
  int32_t info = 7;
  EXPECT_EQ(parameters.GetParameterValueInfo("level", 0, &info), AAX_ERROR_UNIMPLEMENTED);
  EXPECT_EQ(info, 0);

  // Shortened names made of newline-separated variants: the longest that fits wins.
  const std::pair<int32_t, const char*> names[] = {{4, "Lvl"}, {10, "Levels"}, {2, "Le"}, {0, ""}};
  for (auto [length, expected] : names) {
    AAX_CString name("untouched");
    EXPECT_EQ(parameters.GetParameterNameOfLength("level", &name, length), 0);
    EXPECT_EQ(name, expected) << length;
  }
  EXPECT_EQ(parameters.GetParameterNameOfLength("level", nullptr, 4), AAX_ERROR_INVALID_STRING_CONVERSION);

  // Unknown identifiers answer -20001 everywhere the table says so.
  AAX_EParameterType type;
  AAX_IParameter* parameter = reinterpret_cast<AAX_IParameter*>(1);
  const std::vector<std::pair<const char*, AAX_Result>> unknown = {
      {"automatable", parameters.GetParameterIsAutomatable("nope", &automatable)},
      {"steps", parameters.GetParameterNumberOfSteps("nope", &steps)},
      {"default", parameters.GetParameterDefaultNormalizedValue("nope", &value)},
      {"set default", parameters.SetParameterDefaultNormalizedValue("nope", 0.5)},
      {"type", parameters.GetParameterType("nope", &type)},
      {"orientation", parameters.GetParameterOrientation("nope", &index)},
      {"parameter", parameters.GetParameter("nope", &parameter)},
      {"index", parameters.GetParameterIndex("nope", &index)},
      {"from string", parameters.GetParameterValueFromString("nope", &value, AAX_CString("1"))},
      {"to string", parameters.GetParameterStringFromValue("nope", 0.5, &text, 4)},
      {"value string", parameters.GetParameterValueString("nope", &text, 4)},
      {"normalized", parameters.GetParameterNormalizedValue("nope", &value)},
      {"set normalized", parameters.SetParameterNormalizedValue("nope", 0.5)},
      {"relative", parameters.SetParameterNormalizedRelative("nope", 0.5)},
      {"touch", parameters.TouchParameter("nope")},
      {"release", parameters.ReleaseParameter("nope")},
      {"update", parameters.UpdateParameterNormalizedValue("nope", 0.5, AAX_eUpdateSource_Unspecified)},
      {"update relative", parameters.UpdateParameterNormalizedRelative("nope", 0.5)},
      {"null id", parameters.GetParameterNormalizedValue(nullptr, &value)},
  };
  for (const auto& [what, result] : unknown) EXPECT_EQ(result, AAX_ERROR_INVALID_PARAMETER_ID) << what;
  EXPECT_EQ(parameter, nullptr);
  EXPECT_EQ(automatable, 0);
}

TEST_F(EffectParametersOnFakeHost, RelativeChangesAreClampedAndChangesCountedOnce) {
  parameters.init = [](AAX_CParameterManager& m) {
    m.AddParameter(new AAX_CParameter<double>("level", AAX_CString("Level"), 0.9, LinearTaper<double>(0, 1),
                                              NumberDisplay<double>(), true));
    m.AddParameter(MakeBool("flag", "Flag"));
    return 0;
  };
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(parameters.SetParameterNormalizedRelative("level", 0.3), 0);
  EXPECT_EQ(parameters.SetParameterNormalizedRelative("level", -1.5), 0);
  const auto requests = Automation().SetValueRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].value, 1.0);
  EXPECT_EQ(requests[1].value, 0.0);

  int32_t changes = -1;
  EXPECT_EQ(parameters.GetNumberOfChanges(&changes), 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(parameters.UpdateParameterNormalizedValue("flag", 1.0, AAX_eUpdateSource_Unspecified), 0);
  EXPECT_EQ(parameters.UpdateParameterNormalizedValue("flag", 1.0, AAX_eUpdateSource_Unspecified), 0);
  EXPECT_EQ(parameters.GetNumberOfChanges(&changes), 0);
  EXPECT_EQ(changes, 1);
  double value = 0;
  EXPECT_EQ(parameters.GetParameterNormalizedValue("flag", &value), 0);
  EXPECT_EQ(value, 1.0);
  EXPECT_EQ(parameters.UpdateParameterNormalizedRelative("level", 0.5), 0);  // 0.9 + 0.5 clamped
  EXPECT_EQ(parameters.GetParameterNormalizedValue("level", &value), 0);
  EXPECT_EQ(value, 1.0);
}

TEST_F(EffectParametersOnFakeHost, PreviewNotificationChecksItsData) {
  parameters.init = [](AAX_CParameterManager& m) {
    m.AddParameter(MakeBool(cPreviewParameterID, "Preview"));
    return 0;
  };
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  const uint32_t on = 1;
  EXPECT_EQ(parameters.NotificationReceived(cPreviewNotificationType, nullptr, 4), 0);
  EXPECT_EQ(parameters.NotificationReceived(cPreviewNotificationType, &on, 2), 0);
  EXPECT_EQ(parameters.NotificationReceived(0x41424344, &on, 4), 0);
  EXPECT_TRUE(Automation().SetValueRequests().empty());
  EXPECT_EQ(parameters.NotificationReceived(cPreviewNotificationType, &on, 4), 0);
  ASSERT_EQ(Automation().SetValueRequests().size(), 1u);
  EXPECT_EQ(Automation().SetValueRequests()[0].id, cPreviewParameterID);
  EXPECT_EQ(Automation().SetValueRequests()[0].value, 1.0);

  unsigned char field[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(parameters.ResetFieldData(0, field, sizeof field), 0);
  EXPECT_EQ(Bytes(field, field + 6), Bytes(6, 0));
  EXPECT_EQ(parameters.ResetFieldData(0, nullptr, 16), 0);
}

TEST_F(EffectParametersOnFakeHost, InitializeAnswersWhatEffectInitAnswersOrThrows) {
  parameters.init = [](AAX_CParameterManager&) -> AAX_Result { throw std::runtime_error("broken"); };
  EXPECT_EQ(parameters.Initialize(capture.Unknown()), AAX_ERROR_UNKNOWN_EXCEPTION);
  parameters.init = [](AAX_CParameterManager&) { return AAX_ERROR_NULL_OBJECT; };
  EXPECT_EQ(parameters.Initialize(capture.Unknown()), AAX_ERROR_NULL_OBJECT);
  EXPECT_NE(parameters.Controller(), nullptr);
}

TEST_F(EffectParametersOnFakeHost, UninitializeGivesEverythingBack) {
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_NE(parameters.Transport(), nullptr);
  EXPECT_NE(parameters.AutomationDelegate(), nullptr);
  EXPECT_EQ(parameters.Uninitialize(), 0);
  EXPECT_EQ(parameters.Controller(), nullptr);
  EXPECT_EQ(parameters.Transport(), nullptr);
  EXPECT_EQ(parameters.AutomationDelegate(), nullptr);
  int32_t count = -1;
  parameters.GetNumberOfParameters(&count);
  EXPECT_EQ(count, 0);
  // The manager no longer knows the host's automation.
  parameters.Manager().AddParameter(MakeBool("late", "Late"));
  EXPECT_EQ(Automation().Registered(), std::vector<std::string>{});
  EXPECT_EQ(parameters.Uninitialize(), 0);
  EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
}

TEST(EffectParameters, DestructorGivesBackWrappersWhenUninitializeWasSkipped) {
  HostCapture capture;
  {
    TestParameters parameters;
    ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  }
  EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
  EXPECT_TRUE(capture.Host().Automation().Registered().empty());
}

TEST_F(EffectParametersOnFakeHost, TouchStateAndLinkReadiness) {
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_FALSE(parameters.IsParameterTouched(cDefaultMasterBypassID));
  Automation().SetTouched(cDefaultMasterBypassID, true);
  EXPECT_TRUE(parameters.IsParameterTouched(cDefaultMasterBypassID));
  EXPECT_TRUE(parameters.IsParameterLinkReady(cDefaultMasterBypassID, AAX_EUpdateSource(0)));
  for (int source : {1, 2, 3})
    EXPECT_FALSE(parameters.IsParameterLinkReady(cDefaultMasterBypassID, AAX_EUpdateSource(source)));
  Automation().FailOperation("GetTouchState", AAX_ERROR_NULL_OBJECT);
  EXPECT_FALSE(parameters.IsParameterTouched(cDefaultMasterBypassID));
}

TEST_F(EffectParametersOnFakeHost, PageTableReachesTheDerivedClassOnlyWhenGiven) {
  ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(parameters.UpdatePageTable(1, 8, capture.Unknown(), nullptr), 0);
  EXPECT_TRUE(parameters.pageTableCalls.empty());
  qm::host::FakePageTable table;
  table.InsertPage(0);
  EXPECT_EQ(parameters.UpdatePageTable(1, 8, capture.Unknown(), &table), 0);
  EXPECT_EQ(parameters.pageTableCalls, std::vector<std::string>{"1/8/1"});
  EXPECT_EQ(table.References(), 0);
}

TEST(EffectParameters, NormalizedConversions) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, int32_t> table[] = {
      {0.0, std::numeric_limits<int32_t>::min()}, {1.0, std::numeric_limits<int32_t>::max()},
      {-3.0, std::numeric_limits<int32_t>::min()}, {7.0, std::numeric_limits<int32_t>::max()},
      {0.5, 0}, {nan, 0},
  };
  for (auto [normalized, expected] : table) EXPECT_EQ(NormalizedToInt32(normalized), expected) << normalized;
  EXPECT_EQ(Int32ToNormalized(std::numeric_limits<int32_t>::min()), 0.0);
  EXPECT_EQ(Int32ToNormalized(std::numeric_limits<int32_t>::max()), 1.0);
  EXPECT_EQ(BoolToNormalized(true), 1.0);
  EXPECT_EQ(BoolToNormalized(false), 0.0);
}
