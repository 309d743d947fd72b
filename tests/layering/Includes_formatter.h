// Not built: the layering check reads it as a file of pdf/ that includes formatter/.
#include "formatter/kwFormatter.h"
