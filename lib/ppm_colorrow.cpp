// Colour rows (colour maps), their index, sorting and map files.
#include "ppm.h"
