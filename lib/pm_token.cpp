// Token readers of the portable map headers and plain rasters.
#include "pm.h"
