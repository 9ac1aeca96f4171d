// Uses the installed headers and library; exits 0 when both answer as built.
#include <pnm.h>

int main() {
    bool ok = pm_keymatch("-VERB", "-verbose", 2) == 1 &&
              PNM_FORMAT_TYPE(PPM_RAW_CODE) == PPM_PLAIN_CODE;
    return ok ? 0 : 1;
}
