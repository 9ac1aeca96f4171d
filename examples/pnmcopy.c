/* SPDX-License-Identifier: MIT */
/* pnmcopy: copies a portable map (PBM, PGM or PPM, raw or plain) from the
   file named, or from standard input, to standard output in the same format;
   "-plain" writes the plain form. The model of a filter of the family:
   start-up, a row at a time, and every failure fatal with a message. */
#include <pnm.h>

int main(int argc, char** argv) {
    pnm_init(&argc, argv);
    if (argc > 2)
        pm_usage("[pnmfile]");
    FILE* in = pm_openr(argc == 2 ? argv[1] : "-");

    int cols, rows, format;
    sampleval maxval;
    pnm_readpnminit(in, &cols, &rows, &maxval, &format);
    rgbpixel* row = pm_allocrow((unsigned int)cols, sizeof *row);
    pnm_writepnminit(stdout, cols, rows, maxval, format, 0);
    for (int r = 0; r < rows; ++r) {
        pnm_readpnmrow(in, row, cols, maxval, format);
        pnm_writepnmrow(stdout, row, cols, maxval, format, 0);
    }
    pm_freerow(row);
    pm_close(in);
    /* Closing standard output is what reports a write that failed. */
    pm_close(stdout);
    return 0;
}
