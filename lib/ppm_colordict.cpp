// The rgb.txt colour-name dictionary: finding, reading, looking up names.
#include "ppm.h"
