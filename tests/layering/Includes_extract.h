// Not built: the layering check reads it as a file of pdf/ that includes extract/.
#include "extract/kwPDFContentExtractor.h"
