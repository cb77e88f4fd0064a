// A component definition offered by index (this plug-in offers none).
#pragma once

#include "IACFDefinition.h"

class IACFComponentDefinition : public IACFDefinition {};
