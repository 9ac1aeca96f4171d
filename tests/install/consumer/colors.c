/* SPDX-License-Identifier: MIT */
/* Counts the colours of a portable map with the colour hash and prints the
   count and the pixels of the commonest colour. */
#include <pnm.h>

int main(int argc, char** argv) {
    pnm_init(&argc, argv);
    FILE* in = pm_openr(argc > 1 ? argv[1] : "-");
    int cols, rows, format, ncolors;
    sampleval maxval;
    ppm_readppminit(in, &cols, &rows, &maxval, &format);
    colorhash cht = ppm_computecolorhash2(in, cols, rows, maxval, format, 0,
                                          &ncolors);
    colorhist chv = ppm_colorhashtocolorhist(cht, ncolors);
    int most = 0;
    for (int i = 1; i < ncolors; ++i)
        if (chv[i].value > chv[most].value)
            most = i;
    printf("%d colours; %s most (%d pixels)\n", ncolors,
           ppm_colorname(&chv[most].color, maxval, 1), (int)chv[most].value);
    ppm_freecolorhist(chv);
    ppm_freecolorhash(cht);
    pm_close(in);
    return 0;
}
