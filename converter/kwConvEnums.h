#pragma once

// The converter's enumerations live below every stage so the formatter can use them too.
#include "base/kwConvEnums.h"
