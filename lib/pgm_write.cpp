// Writing PGM images, raw and plain.
#include "pgm.h"
