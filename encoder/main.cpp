// SPDX-License-Identifier: MIT
// The belvane executable: everything lives in belvane_core.
#include "belvane.h"

int main(int argc, char** argv) {
    return belvane::belvane_main(argc, argv);
}
