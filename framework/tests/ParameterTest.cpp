#include "AAX_CBinaryDisplayDelegate.h"
#include "AAX_CBinaryTaperDelegate.h"
#include "AAX_CParameter.h"
#include "AAX_CStringAbbreviations.h"
#include "AAX_IAutomationDelegate.h"
#include "HostCapture.h"
#include "ParameterFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Records every call the parameter makes to the host's automation.
class RecordingAutomation : public AAX_IAutomationDelegate {
public:
  AAX_Result RegisterParameter(AAX_CParamID id) override { return Log("register", id); }
  AAX_Result UnregisterParameter(AAX_CParamID id) override { return Log("unregister", id); }
  AAX_Result PostSetValueRequest(AAX_CParamID id, double v) const override { return Log("request", id, v); }
  AAX_Result PostCurrentValue(AAX_CParamID id, double v) const override { return Log("current", id, v); }
  AAX_Result PostTouchRequest(AAX_CParamID id) override { return Log("touch", id); }
  AAX_Result PostReleaseRequest(AAX_CParamID id) override { return Log("release", id); }
  AAX_Result GetTouchState(AAX_CParamID, uint8_t* touched) override {
    *touched = 0;
    return 0;
  }
  AAX_Result ParameterNameChanged(AAX_CParamID id) override { return Log("name", id); }

  mutable std::vector<std::string> calls;

private:
  AAX_Result Log(const char* what, AAX_CParamID id, double v = std::numeric_limits<double>::quiet_NaN()) const {
    std::string line = std::string(what) + " " + id;
    if (!std::isnan(v)) line += " " + std::to_string(v).substr(0, 3);
    calls.push_back(line);
    return 0;
  }
};

using BoolParameter = AAX_CParameter<bool>;

std::unique_ptr<BoolParameter> MakeBypass(const char* id = "MasterBypassID", bool defaultValue = false) {
  return std::unique_ptr<BoolParameter>(NewBoolParameter(id, "Bypass", defaultValue, "bypass"));
}

}  // namespace

TEST(BinaryTaper, ConvertsBothWays) {
  AAX_CBinaryTaperDelegate<bool> taper;
  const std::pair<double, bool> table[] = {{0.0, false}, {0.0001, true}, {1.0, true}, {-0.5, false},
                                           {std::nan(""), false}};
  for (auto [n, real] : table) EXPECT_EQ(taper.NormalizedToReal(n), real) << n;
  EXPECT_EQ(taper.RealToNormalized(true), 1.0);
  EXPECT_EQ(taper.RealToNormalized(false), 0.0);
  EXPECT_TRUE(taper.ConstrainRealValue(true));
}

TEST(BinaryDisplay, FullTextsShortenedStringsAndParsing) {
  AAX_CBinaryDisplayDelegate<bool> display("bypass", "on");
  AAX_CString s;
  EXPECT_TRUE(display.ValueToString(true, 1, &s));  // no shortened strings: the full text
  EXPECT_EQ(s, "on");
  bool v = true;
  EXPECT_FALSE(display.StringToValue(AAX_CString("On"), &v));
  EXPECT_FALSE(v);
  EXPECT_TRUE(display.StringToValue(AAX_CString("on"), &v));
  EXPECT_TRUE(v);
  EXPECT_TRUE(display.StringToValue(AAX_CString("bypass"), &v));
  EXPECT_FALSE(v);

  display.AddShortenedStrings("b", "o", 1);
  display.AddShortenedStrings("byp", "on", 3);
  struct Case {
    bool value;
    int32_t maxChars;
    const char* expected;
  };
  const Case cases[] = {
      {false, 2, "b"},    {false, 0, "b"},       {false, -4, "b"},     {false, 3, "byp"},
      {false, 5, "byp"},  {false, 6, "bypass"},  {true, 6, "on"},      {true, 1, "o"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(display.ValueToString(c.value, c.maxChars, &s));
    EXPECT_EQ(s, c.expected) << c.value << " " << c.maxChars;
  }
  EXPECT_FALSE(display.StringToValue(AAX_CString("byp"), &v));  // shortened strings are not recognised

  std::unique_ptr<AAX_IDisplayDelegate<bool>> copy(display.Clone());
  EXPECT_TRUE(copy->ValueToString(false, 3, &s));
  EXPECT_EQ(s, "byp");
}

TEST(StringAbbreviations, PicksTheLongestThatFits) {
  AAX_CStringAbbreviations names(AAX_CString("Bypass"));
  EXPECT_EQ(names.Get(2), "Bypass");  // no abbreviations
  names.Add(AAX_CString("Byp"));
  names.Add(AAX_CString("B"));
  const std::pair<int32_t, const char*> table[] = {{10, "Bypass"}, {6, "Bypass"}, {-1, "Bypass"}, {5, "Byp"},
                                                   {4, "Byp"},     {3, "Byp"},    {2, "B"},       {0, "B"}};
  for (auto [n, expected] : table) EXPECT_EQ(names.Get(n), expected) << n;
  names.Add(AAX_CString("Xyz"));  // same length replaces
  EXPECT_EQ(names.Get(4), "Xyz");
  names.Clear();
  EXPECT_EQ(names.Get(1), "Bypass");
}

TEST(Parameter, ConstructionDefaults) {
  HostCapture capture;
  auto p = MakeBypass("MasterBypassID", true);
  EXPECT_STREQ(p->Identifier(), "MasterBypassID");
  EXPECT_EQ(p->Name(), "Bypass");
  EXPECT_TRUE(p->Automatable());
  EXPECT_EQ(p->GetType(), AAX_eParameterType_Continuous);
  EXPECT_EQ(p->GetOrientation(), 0);
  EXPECT_EQ(p->GetNumberOfSteps(), 128u);
  EXPECT_TRUE(p->GetValue());  // set to its default
  EXPECT_EQ(p->GetNormalizedDefaultValue(), 1.0);
  p->SetType(AAX_eParameterType_Discrete);
  EXPECT_EQ(p->GetNumberOfSteps(), 128u);  // steps are initialised only once
  p->SetNumberOfSteps(0);
  EXPECT_EQ(p->GetNumberOfSteps(), 128u);
  EXPECT_EQ(capture.AssertNotes(), std::vector<std::string>{"0 < numSteps"});
}

TEST(Parameter, LongIdentifierIsReportedAndCut) {
  HostCapture capture;
  const std::string id(40, 'i');
  auto p = MakeBypass(id.c_str());
  EXPECT_EQ(std::string(p->Identifier()), std::string(31, 'i'));
  EXPECT_EQ(capture.AssertNotes(), std::vector<std::string>{"len < eParameterDefaultMaxIdentifierSize"});
  std::unique_ptr<AAX_IParameterValue> value(p->CloneValue());
  EXPECT_STREQ(value->Identifier(), p->Identifier());
  bool b = true;
  EXPECT_TRUE(value->GetValueAsBool(&b));
  EXPECT_FALSE(b);
  int32_t i;
  EXPECT_FALSE(value->GetValueAsInt32(&i));
  std::string exact(31, 'e');
  capture.Clear();
  auto q = MakeBypass(exact.c_str());
  EXPECT_TRUE(capture.AssertNotes().empty());
}

TEST(Parameter, StepsMapToNormalizedValues) {
  auto p = MakeBypass();
  p->SetNumberOfSteps(2);
  struct Case {
    double normalized;
    uint32_t step;
  };
  const Case table[] = {{0.0, 0}, {0.49, 0}, {0.5, 1}, {1.0, 1}, {7.0, 1}, {-3.0, 0}, {std::nan(""), 0}};
  for (const Case& c : table) EXPECT_EQ(p->GetStepValueFromNormalizedValue(c.normalized), c.step) << c.normalized;
  EXPECT_EQ(p->GetNormalizedValueFromStep(5), 1.0);
  EXPECT_EQ(p->GetNormalizedValueFromStep(0), 0.0);
  p->SetStepValue(1);
  EXPECT_TRUE(p->GetValue());
  EXPECT_EQ(p->GetStepValue(), 1u);
  p->SetNumberOfSteps(1);
  EXPECT_EQ(p->GetNormalizedValueFromStep(1), 0.0);
  EXPECT_EQ(p->GetStepValueFromNormalizedValue(1.0), 0u);
  p->SetStepValue(0);
  EXPECT_TRUE(p->GetValue());  // fewer than two steps: nothing happens

  AAX_CParameter<int32_t> level("level", AAX_CString("Level"), 0, LinearTaper<int32_t>(0, 10),
                                NumberDisplay<int32_t>(), true);
  level.SetNumberOfSteps(11);
  EXPECT_EQ(level.GetStepValueFromNormalizedValue(0.36), 4u);
  EXPECT_DOUBLE_EQ(level.GetNormalizedValueFromStep(4), 0.4);
}

TEST(Parameter, AutomationMakesEveryChangeARoundTripThroughTheHost) {
  RecordingAutomation host;
  auto p = MakeBypass();
  p->SetAutomationDelegate(&host);
  EXPECT_EQ(host.calls, std::vector<std::string>{"register MasterBypassID"});
  host.calls.clear();

  p->SetValue(true);
  EXPECT_FALSE(p->GetValue());  // only a request so far
  EXPECT_EQ(host.calls, (std::vector<std::string>{"touch MasterBypassID", "request MasterBypassID 1.0",
                                                  "release MasterBypassID"}));
  host.calls.clear();

  p->UpdateNormalizedValue(1.0);  // the host's answer
  EXPECT_TRUE(p->GetValue());
  EXPECT_EQ(host.calls, std::vector<std::string>{"current MasterBypassID 1.0"});
  host.calls.clear();

  p->UpdateNormalizedValue(1.0);  // unchanged and no notify pending: nothing posted
  EXPECT_TRUE(host.calls.empty());

  p->SetName(AAX_CString("Bypass 2"));
  EXPECT_EQ(host.calls, std::vector<std::string>{"name MasterBypassID"});
  host.calls.clear();

  RecordingAutomation other;
  p->SetAutomationDelegate(&other);
  EXPECT_EQ(host.calls, std::vector<std::string>{"unregister MasterBypassID"});
  EXPECT_EQ(other.calls, std::vector<std::string>{"register MasterBypassID"});
  other.calls.clear();
  p.reset();
  EXPECT_EQ(other.calls, std::vector<std::string>{"unregister MasterBypassID"});
}

TEST(Parameter, WithoutAutomationValuesAreStoredAtOnce) {
  auto p = MakeBypass();
  EXPECT_TRUE(p->SetValueWithBool(true));
  EXPECT_TRUE(p->GetValue());
  EXPECT_FALSE(p->SetValueWithInt32(0));
  EXPECT_FALSE(p->SetValueWithFloat(0.0f));
  EXPECT_FALSE(p->SetValueWithDouble(0.0));
  EXPECT_TRUE(p->GetValue());
  p->SetNormalizedValue(0.0);
  EXPECT_FALSE(p->GetValue());
  p->SetNormalizedDefaultValue(0.7);
  EXPECT_EQ(p->GetNormalizedDefaultValue(), 1.0);
  p->SetToDefaultValue();
  EXPECT_TRUE(p->GetValue());

  double n = -1;
  bool b = false;
  EXPECT_TRUE(p->GetNormalizedValueFromBool(false, &n));
  EXPECT_EQ(n, 0.0);
  EXPECT_FALSE(p->GetNormalizedValueFromInt32(1, &n));
  EXPECT_TRUE(p->GetBoolFromNormalizedValue(0.3, &b));
  EXPECT_TRUE(b);
  float f;
  EXPECT_FALSE(p->GetFloatFromNormalizedValue(0.3, &f));
}

TEST(Parameter, TextGoesThroughTheDisplayDelegate) {
  auto p = MakeBypass();
  AAX_CString s;
  EXPECT_TRUE(p->GetValueString(&s));
  EXPECT_EQ(s, "bypass");
  EXPECT_TRUE(p->SetValueFromString(AAX_CString("on")));
  EXPECT_TRUE(p->GetValue());
  EXPECT_FALSE(p->SetValueFromString(AAX_CString("maybe")));
  EXPECT_TRUE(p->GetValue());
  AAX_CString target("untouched");
  EXPECT_TRUE(p->GetValueAsString(&target));
  EXPECT_EQ(target, "on");
  EXPECT_FALSE(p->GetValueAsString(nullptr));
  EXPECT_TRUE(p->SetValueWithString(AAX_CString("bypass")));
  EXPECT_FALSE(p->GetValue());

  double n = -1;
  EXPECT_TRUE(p->GetNormalizedValueFromString(AAX_CString("on"), &n));
  EXPECT_EQ(n, 1.0);
  EXPECT_FALSE(p->GetNormalizedValueFromString(AAX_CString("ON"), &n));
  EXPECT_TRUE(p->GetStringFromNormalizedValue(0.2, s));
  EXPECT_EQ(s, "on");

  // A value outside the taper's range still gets its text but answers false.
  AAX_CParameter<double> gain("gain", AAX_CString("Gain"), 0.0, LinearTaper<double>(-10, 10),
                              NumberDisplay<double>(), true);
  EXPECT_TRUE(gain.GetStringFromNormalizedValue(0.75, s));
  EXPECT_EQ(s, "5.000000");
  EXPECT_FALSE(gain.GetStringFromNormalizedValue(1.5, s));
  EXPECT_EQ(s, "20.000000");
}

TEST(Parameter, ChangingTheTaperKeepsOrRecomputesTheValue) {
  AAX_CParameter<double> gain("gain", AAX_CString("Gain"), 2.0, LinearTaper<double>(0, 10),
                              NumberDisplay<double>(), true);
  EXPECT_EQ(gain.GetValue(), 2.0);
  LinearTaper<double> wider(0, 20);
  gain.SetTaperDelegate(wider, true);  // keep the real value
  EXPECT_EQ(gain.GetValue(), 2.0);
  EXPECT_DOUBLE_EQ(gain.GetNormalizedValue(), 0.1);
  LinearTaper<double> narrower(0, 5);
  gain.SetTaperDelegate(narrower, false);  // keep the normalised value
  EXPECT_DOUBLE_EQ(gain.GetValue(), 0.5);

  AAX_CBinaryTaperDelegate<bool> wrongType;
  gain.SetTaperDelegate(wrongType, false);  // ignored
  EXPECT_DOUBLE_EQ(gain.GetValue(), 0.5);

  // A parameter built without delegates does nothing until it gets a taper, then takes its default.
  AAX_CParameter<float> late("late", AAX_CString("Late"), 3.0f, false);
  late.SetValue(1.0f);
  EXPECT_EQ(late.GetValue(), 0.0f);
  EXPECT_EQ(late.GetNormalizedValue(), 0.0);
  AAX_CString s;
  EXPECT_FALSE(late.GetValueString(&s));
  LinearTaper<float> taper(0, 4);
  late.SetTaperDelegate(taper, false);
  EXPECT_EQ(late.GetValue(), 3.0f);
}

TEST(Parameter, DisplayChangeIsAnnouncedToAutomation) {
  RecordingAutomation host;
  auto p = MakeBypass();
  p->SetAutomationDelegate(&host);
  host.calls.clear();
  AAX_CBinaryDisplayDelegate<bool> display("off", "ON");
  p->SetDisplayDelegate(display);
  EXPECT_EQ(host.calls, std::vector<std::string>{"current MasterBypassID 0.0"});
  AAX_CString s;
  p->GetValueString(&s);
  EXPECT_EQ(s, "off");
  p->SetAutomationDelegate(nullptr);
}

TEST(Parameter, StringParametersStoreTextDirectly) {
  struct TextTaper : AAX_ITaperDelegate<AAX_CString> {
    TextTaper* Clone() const override { return new TextTaper(*this); }
    AAX_CString GetMaximumValue() const override { return AAX_CString("zzzz"); }
    AAX_CString GetMinimumValue() const override { return AAX_CString(""); }
    AAX_CString ConstrainRealValue(AAX_CString v) const override { return v; }
    AAX_CString NormalizedToReal(double) const override { return AAX_CString("n"); }
    double RealToNormalized(AAX_CString) const override { return 0.5; }
  };
  struct TextDisplay : AAX_IDisplayDelegate<AAX_CString> {
    TextDisplay* Clone() const override { return new TextDisplay(*this); }
    bool ValueToString(AAX_CString v, AAX_CString* s) const override { return (*s = v, true); }
    bool ValueToString(AAX_CString v, int32_t, AAX_CString* s) const override { return (*s = v, true); }
    bool StringToValue(const AAX_CString& s, AAX_CString* v) const override { return (*v = s, true); }
  };
  AAX_CParameter<AAX_CString> label("label", AAX_CString("Label"), AAX_CString("abc"), TextTaper(), TextDisplay(),
                                    false);
  AAX_CString out;
  EXPECT_TRUE(label.GetValueAsString(&out));
  EXPECT_EQ(out, "n");  // the value passes through the taper's normalised round trip
  bool b;
  EXPECT_FALSE(label.GetValueAsBool(&b));
  EXPECT_TRUE(label.SetValueWithString(AAX_CString("xyz")));
}
