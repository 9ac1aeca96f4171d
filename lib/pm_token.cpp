// SPDX-License-Identifier: MIT
// Token readers of the portable map headers and plain rasters.
#include "pm.h"

namespace {

bool isHeaderSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

char pm_getc(FILE* file) {
    int c = std::getc(file);
    if (c == EOF)
        pm_error("EOF / read error reading a byte");
    if (c != '#')
        return static_cast<char>(c);
    do {
        c = std::getc(file);
        if (c == EOF)
            pm_error("EOF / read error reading a byte");
    } while (c != '\n' && c != '\r');
    return static_cast<char>(c);
}

unsigned char pm_getrawbyte(FILE* file) {
    int c = std::getc(file);
    if (c == EOF)
        pm_error("EOF / read error reading a one-byte sample");
    return static_cast<unsigned char>(c);
}

unsigned int pm_getuint(FILE* file) {
    char c;
    do {
        c = pm_getc(file);
    } while (isHeaderSpace(c));
    if (c < '0' || c > '9')
        pm_error("junk in file where an unsigned integer should be");

    // The bound keeps every value within a signed 32-bit int.
    constexpr unsigned int kBound = 2147483647u / 10;
    unsigned int value = 0;
    do {
        unsigned int digit = static_cast<unsigned int>(c - '0');
        if (value > kBound - digit)
            pm_error("ASCII decimal integer in file is too large "
                     "to be processed.  ");
        value = value * 10 + digit;
        c = pm_getc(file);
    } while (c >= '0' && c <= '9');
    return value;
}

int pm_readmagicnumber(FILE* file) {
    int first = std::getc(file);
    int second = std::getc(file);
    if (first == EOF || second == EOF)
        pm_error("Error reading magic number from Tarvex image stream.  "
                 "Most often, this means your input file is empty.");
    return first * 256 + second;
}
