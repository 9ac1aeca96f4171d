// Reading a whole colour-name dictionary into a hash and a name table.
#include "ppm.h"
