// Identifier constants of the host interface, exported from the bundle under these names.
#pragma once

#include "acfbasetypes.h"

extern "C" {
extern const _acfUID IID_IACFUnknown;
extern const _acfUID IID_IACFPluginDefinition;
extern const _acfUID IID_IAAXEffectParametersV1;
extern const _acfUID IID_IAAXEffectParametersV2;
extern const _acfUID IID_IAAXEffectParametersV3;
extern const _acfUID IID_IAAXEffectParametersV4;
extern const _acfUID IID_IAAXHostProcessorV1;
extern const _acfUID IID_IAAXHostProcessorV2;
extern const _acfUID IID_IAAXEffectGUIV1;
extern const _acfUID IID_IAAXEffectGUIV2;
extern const _acfUID IID_IACFComponentFactory;
extern const _acfUID IID_IACFDefinition;
extern const _acfUID IID_IAAXCollectionV1;
extern const _acfUID AAXCompID_AAXCollection;
extern const _acfUID IID_IAAXEffectDescriptorV1;
extern const _acfUID IID_IAAXEffectDescriptorV2;
extern const _acfUID AAXCompID_AAXEffectDescriptor;
extern const _acfUID IID_IAAXComponentDescriptorV1;
extern const _acfUID IID_IAAXComponentDescriptorV2;
extern const _acfUID IID_IAAXComponentDescriptorV3;
extern const _acfUID AAXCompID_AAXComponentDescriptor;
extern const _acfUID IID_IAAXPropertyMapV1;
extern const _acfUID IID_IAAXPropertyMapV2;
extern const _acfUID IID_IAAXPropertyMapV3;
extern const _acfUID AAXCompID_AAXPropertyMap;
extern const _acfUID IID_IAAXDescriptionHostV1;
extern const _acfUID IID_IAAXFeatureInfoV1;
extern const _acfUID IID_IAAXControllerV1;
extern const _acfUID IID_IAAXControllerV2;
extern const _acfUID IID_IAAXControllerV3;
extern const _acfUID IID_IAAXControllerV4;
extern const _acfUID IID_IAAXControllerV5;
extern const _acfUID IID_IAAXPageTableController;
extern const _acfUID IID_IAAXPageTableControllerV2;
extern const _acfUID IID_IAAXPageTableV1;
extern const _acfUID IID_IAAXPageTableV2;
extern const _acfUID AAXCompID_PageTable;
extern const _acfUID IID_IAAXHostProcessorDelegateV1;
extern const _acfUID IID_IAAXHostProcessorDelegateV2;
extern const _acfUID IID_IAAXHostProcessorDelegateV3;
extern const _acfUID IID_IAAXHostServicesV1;
extern const _acfUID IID_IAAXHostServicesV2;
extern const _acfUID IID_IAAXHostServicesV3;
extern const _acfUID AAXCompID_HostServices;
extern const _acfUID IID_IAAXTransportV1;
extern const _acfUID IID_IAAXTransportV2;
extern const _acfUID IID_IAAXTransportV3;
extern const _acfUID IID_IAAXTransportV4;
extern const _acfUID IID_IAAXTransportV5;
extern const _acfUID IID_IAAXTransportControlV1;
extern const _acfUID IID_IAAXViewContainerV1;
extern const _acfUID IID_IAAXViewContainerV2;
extern const _acfUID IID_IAAXViewContainerV3;
extern const _acfUID IID_IAAXAutomationDelegateV1;
extern const _acfUID AAXATTR_Client_Version;
extern const _acfUID AAXATTR_Client_Level;
extern const _acfUID AAXATTR_ClientFeature_MIDI;
extern const _acfUID acfUID_NULL;
}
