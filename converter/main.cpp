// SPDX-License-Identifier: MIT
// The corvane executable: everything lives in corvane_core.
#include "corvane.h"

int main(int argc, char** argv) {
    return corvane::corvane_main(argc, argv);
}
