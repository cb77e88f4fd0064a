// The plug-in's answer to the host's registration: one AudioSuite effect with its identity,
// properties and the creation functions of its three components. Hosts that fail the window
// test run the plug-in without its window.

#include <memory>

#include "AAX_CHostServices.h"
#include "AAX_CheckedResult.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_ICollection.h"
#include "AAX_IDescriptionHost.h"
#include "AAX_IEffectDescriptor.h"
#include "AAX_IFeatureInfo.h"
#include "AAX_IPropertyMap.h"
#include "AAX_UIDs.h"
#include "AAX_Exports.h"
#include "IACFDefinition.h"
#include "Quillomancer_GUI.h"
#include "Quillomancer_HostProcessor.h"
#include "Quillomancer_Parameters.h"
#include "QuillomancerStoreVocabulary.h"

namespace {

constexpr const char* kQuillomancerEffectID = "com.quillomancer.aax.quillomancer";

// True exactly when the host reports MIDI feature support level 2, 3 or 4.
bool HostLooksLikeProToolsByFeatures(const AAX_ICollection* collection) {
  if (collection == nullptr) return false;
  const AAX_IDescriptionHost* host = collection->DescriptionHost();
  if (host == nullptr) return false;
  std::unique_ptr<const AAX_IFeatureInfo> feature(host->AcquireFeatureProperties(AAXATTR_ClientFeature_MIDI));
  if (!feature) return false;
  AAX_ESupportLevel level = AAX_ESupportLevel(0);
  if (feature->SupportLevel(level) != AAX_SUCCESS) return false;
  return level == 2 || level == 3 || level == 4;
}

// The window test: every unreadable attribute counts as Pro Tools.
bool IsProToolsHost(const AAX_ICollection* collection) {
  IACFDefinition* definition = collection->HostDefinition();
  if (definition == nullptr) return true;
  _acfUID type = acfUID_NULL;
  acfUInt32 size = 0;
  if (definition->GetAttributeInfo(AAXATTR_Client_Level, &type, &size) != 0 || size != 4) return true;
  int32_t level = 0;
  if (definition->CopyAttribute(AAXATTR_Client_Level, type, &level, size) != 0) return true;
  if (level == 2 || level == 3) return HostLooksLikeProToolsByFeatures(collection);
  return true;
}

// The properties of the effect, in the order they are added. A four-character code goes as one
// 32-bit integer, first character in the most significant byte.
enum class For { kEveryHost, kProTools, kOtherHosts };
struct DescribedProperty {
  int32_t id;
  AAX_CPropertyValue value;
  For host;
};
constexpr DescribedProperty kProperties[] = {
    {11, AAX_CPropertyValue(QMBlockID("Qllo")), For::kEveryHost},  // manufacturer code
    {12, AAX_CPropertyValue(QMBlockID("Qmnc")), For::kEveryHost},  // product code
    {14, AAX_CPropertyValue(QMBlockID("QMa3")), For::kEveryHost},  // AudioSuite plug-in code
    {113, 48, For::kEveryHost},
    {114, 48, For::kEveryHost},
    {103, 1, For::kEveryHost},
    {107, 1, For::kEveryHost},
    {108, 1, For::kProTools},
    {110, 1, For::kEveryHost},
    {151, 1, For::kOtherHosts},
};

AAX_Result GetPlugInDescription(AAX_IEffectDescriptor& descriptor, bool isProTools) {
  AAX_CheckedResult err;
  AAX_IPropertyMap* properties = descriptor.NewPropertyMap();
  if (properties == nullptr) return AAX_ERROR_NULL_OBJECT;
  for (const DescribedProperty& property : kProperties) {
    if (property.host == For::kProTools && !isProTools) continue;
    if (property.host == For::kOtherHosts && isProTools) continue;
    err = properties->AddProperty(AAX_EProperty(property.id), property.value);
  }

  err = descriptor.AddName("Quillomancer");
  err = descriptor.AddName("Qllmncr");
  err = descriptor.AddName("QMtr");
  err = descriptor.AddCategory(0);
  err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_Parameters::Create),
                              AAX_eProcPtrID_EffectParameters);
  err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_HostProcessor::Create),
                              AAX_eProcPtrID_HostProcessor);
  if (isProTools) {
    err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_GUI::Create), AAX_eProcPtrID_EffectGUI);
  }
  err = descriptor.SetProperties(properties);
  return err;
}

}  // namespace

// [host-thread]
AAX_Result GetEffectDescriptions(AAX_ICollection* collection) {
  AAX_CheckedResult err;
  const bool isProTools = IsProToolsHost(collection);
  AAX_IEffectDescriptor* descriptor = collection->NewDescriptor();
  if (descriptor == nullptr) err = AAX_ERROR_NULL_OBJECT;  // raises; registration reports it
  try {
    err = GetPlugInDescription(*descriptor, isProTools);
    err = collection->AddEffect(kQuillomancerEffectID, descriptor);
  } catch (const AAX::Exception::ResultError& ex) {
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "%s line %d (%s) exception caught: %s (swallowed)",
                             __FILE__, __LINE__, "GetEffectDescriptions", ex.What().c_str());
  }
  err = collection->SetManufacturerName("Quillomancer");
  err = collection->AddPackageName("Quillomancer");
  err = collection->AddPackageName("Qllmncr");
  err = collection->AddPackageName("QMtr");
  err = collection->SetPackageVersion(2);
  return err;
}
