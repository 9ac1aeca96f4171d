// Big- and little-endian 16- and 32-bit integers on streams.
#include "pm.h"
