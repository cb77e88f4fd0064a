// The plug-in definition that registration hands to the host (the host's own object).
#pragma once

#include "IACFDefinition.h"

class IACFPluginDefinition : public IACFDefinition {};
