// Not built: the layering check reads it as a file of pdf/ that includes writer/.
#include "writer/kwDocumentWriter.h"
