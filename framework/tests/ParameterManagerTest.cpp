#include "AAX_CParameter.h"
#include "AAX_CParameterManager.h"
#include "AAX_IAutomationDelegate.h"
#include "ParameterFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RegistrationLog : public AAX_IAutomationDelegate {
public:
  AAX_Result RegisterParameter(AAX_CParamID id) override { return (calls.push_back(std::string("+") + id), 0); }
  AAX_Result UnregisterParameter(AAX_CParamID id) override { return (calls.push_back(std::string("-") + id), 0); }
  AAX_Result PostSetValueRequest(AAX_CParamID, double) const override { return 0; }
  AAX_Result PostCurrentValue(AAX_CParamID, double) const override { return 0; }
  AAX_Result PostTouchRequest(AAX_CParamID) override { return 0; }
  AAX_Result PostReleaseRequest(AAX_CParamID) override { return 0; }
  AAX_Result GetTouchState(AAX_CParamID, uint8_t*) override { return 0; }
  AAX_Result ParameterNameChanged(AAX_CParamID) override { return 0; }
  std::vector<std::string> calls;
};

}  // namespace

TEST(ParameterManager, KeepsAddOrderAndFindsByIdIndexAndName) {
  AAX_CParameterManager manager;
  AAX_IParameter* a = NewBoolParameter("a", "Alpha");
  AAX_IParameter* b = NewBoolParameter("b", "Bypass");
  AAX_IParameter* c = NewBoolParameter("c", "bypass");
  manager.AddParameter(a);
  manager.AddParameter(b);
  manager.AddParameter(c);
  manager.AddParameter(nullptr);
  ASSERT_EQ(manager.NumParameters(), 3);
  EXPECT_EQ(manager.GetParameter(0), a);
  EXPECT_EQ(manager.GetParameter(2), c);
  EXPECT_EQ(manager.GetParameter(-1), nullptr);
  EXPECT_EQ(manager.GetParameter(3), nullptr);
  EXPECT_EQ(manager.GetParameterByID("b"), b);
  EXPECT_EQ(manager.GetParameterByID("zz"), nullptr);
  EXPECT_EQ(manager.GetParameterByID(nullptr), nullptr);
  EXPECT_EQ(manager.GetParameterIndex("c"), 2);
  EXPECT_EQ(manager.GetParameterIndex(nullptr), -1);
  EXPECT_EQ(manager.GetParameterByName("Bypass"), b);
  EXPECT_EQ(manager.GetParameterByName("bypass"), c);
  EXPECT_EQ(manager.GetParameterByName("BYPASS"), nullptr);

  const AAX_CParameterManager& readOnly = manager;
  EXPECT_EQ(readOnly.GetParameter(1), b);
  EXPECT_EQ(readOnly.GetParameterByID("a"), a);

  manager.RemoveParameterByID("a");
  EXPECT_EQ(manager.NumParameters(), 2);
  EXPECT_EQ(manager.GetParameter(0), b);
  EXPECT_EQ(manager.GetParameterIndex("a"), -1);
  EXPECT_EQ(manager.GetParameterByID("a"), nullptr);
  manager.RemoveParameter(c);
  manager.RemoveParameter(nullptr);
  manager.RemoveParameterByID("unknown");
  EXPECT_EQ(manager.NumParameters(), 1);
}

TEST(ParameterManager, DuplicateIdentifierStaysWithTheCaller) {
  AAX_CParameterManager manager;
  manager.AddParameter(NewBoolParameter("x", "First"));
  std::unique_ptr<AAX_IParameter> duplicate(NewBoolParameter("x", "Second"));
  manager.AddParameter(duplicate.get());
  EXPECT_EQ(manager.NumParameters(), 1);
  EXPECT_EQ(manager.GetParameterByID("x")->Name(), "First");
}

TEST(ParameterManager, RegistersWithTheAutomationDelegateItHoldsWhenAdding) {
  RegistrationLog host;
  {
    AAX_CParameterManager manager;
    manager.AddParameter(NewBoolParameter("early", "Early"));  // before Initialize: no delegate
    manager.Initialize(&host);
    manager.AddParameter(NewBoolParameter("late", "Late"));
    EXPECT_EQ(host.calls, std::vector<std::string>{"+late"});
    manager.RemoveParameterByID("late");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"+late", "-late"}));
    manager.AddParameter(NewBoolParameter("last", "Last"));
    manager.Initialize(nullptr);
    manager.AddParameter(NewBoolParameter("after", "After"));
  }  // the destructor deletes the rest, each unregistering from the delegate it was given
  EXPECT_EQ(host.calls, (std::vector<std::string>{"+late", "-late", "+last", "-last"}));
}
