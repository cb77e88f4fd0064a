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
#include "QuillomancerCustomDataStore.h"

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

AAX_Result GetPlugInDescription(AAX_IEffectDescriptor& descriptor, bool isProTools) {
  AAX_CheckedResult err;
  AAX_IPropertyMap* properties = descriptor.NewPropertyMap();
  if (properties == nullptr) return AAX_ERROR_NULL_OBJECT;
  err = properties->AddProperty(AAX_EProperty(11), AAX_CPropertyValue(QMBlockID("Qllo")));
  err = properties->AddProperty(AAX_EProperty(12), AAX_CPropertyValue(QMBlockID("Qmnc")));
  err = properties->AddProperty(AAX_EProperty(14), AAX_CPropertyValue(QMBlockID("QMa3")));
  err = properties->AddProperty(AAX_EProperty(113), 48);
  err = properties->AddProperty(AAX_EProperty(114), 48);
  err = properties->AddProperty(AAX_EProperty(103), 1);
  err = properties->AddProperty(AAX_EProperty(107), 1);
  if (isProTools) err = properties->AddProperty(AAX_EProperty(108), 1);
  err = properties->AddProperty(AAX_EProperty(110), 1);
  if (!isProTools) err = properties->AddProperty(AAX_EProperty(151), 1);

  err = descriptor.AddName("Quillomancer");
  err = descriptor.AddName("Qllmncr");
  err = descriptor.AddName("QMtr");
  err = descriptor.AddCategory(0);
  err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_Parameters::Create), 0);
  err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_HostProcessor::Create), 3);
  if (isProTools) err = descriptor.AddProcPtr(reinterpret_cast<void*>(&Quillomancer_GUI::Create), 1);
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
