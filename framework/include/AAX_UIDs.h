// Identifier constants of the host interface, exported from the bundle under these names.
#pragma once

#include "acfbasetypes.h"

extern "C" {
__attribute__((visibility("default"))) extern const _acfUID IID_IACFUnknown;
__attribute__((visibility("default"))) extern const _acfUID IID_IACFPluginDefinition;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectParametersV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectParametersV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectParametersV3;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectParametersV4;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostProcessorV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostProcessorV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectGUIV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectGUIV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IACFComponentFactory;
__attribute__((visibility("default"))) extern const _acfUID IID_IACFDefinition;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXCollectionV1;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_AAXCollection;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectDescriptorV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXEffectDescriptorV2;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_AAXEffectDescriptor;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXComponentDescriptorV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXComponentDescriptorV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXComponentDescriptorV3;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_AAXComponentDescriptor;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPropertyMapV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPropertyMapV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPropertyMapV3;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_AAXPropertyMap;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXDescriptionHostV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXFeatureInfoV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXControllerV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXControllerV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXControllerV3;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXControllerV4;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXControllerV5;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPageTableController;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPageTableControllerV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPageTableV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXPageTableV2;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_PageTable;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostProcessorDelegateV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostProcessorDelegateV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostProcessorDelegateV3;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostServicesV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostServicesV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXHostServicesV3;
__attribute__((visibility("default"))) extern const _acfUID AAXCompID_HostServices;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportV3;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportV4;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportV5;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXTransportControlV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXViewContainerV1;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXViewContainerV2;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXViewContainerV3;
__attribute__((visibility("default"))) extern const _acfUID IID_IAAXAutomationDelegateV1;
__attribute__((visibility("default"))) extern const _acfUID AAXATTR_Client_Version;
__attribute__((visibility("default"))) extern const _acfUID AAXATTR_Client_Level;
__attribute__((visibility("default"))) extern const _acfUID AAXATTR_ClientFeature_MIDI;
__attribute__((visibility("default"))) extern const _acfUID acfUID_NULL;
}
