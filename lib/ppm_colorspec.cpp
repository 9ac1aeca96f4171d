// Colour specifications: the X11 hexadecimal and intensity forms, "#" forms,
// fraction triples and dictionary names.
#include "ppm.h"
