// Writing PBM images, raw and plain.
#include "pbm.h"
