// Seekable input, stream positions and reading a whole stream.
#include "pm.h"
