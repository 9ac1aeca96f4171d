// SPDX-License-Identifier: MIT
// Rows and two-dimensional arrays of any element size.
#include "pm.h"
#include "pm_internal.h"

void* (*pm_arrayblock_alloc)(size_t bytes) = std::malloc;

namespace {

// Byte count of count x size elements, or false when it does not fit.
bool byteCount(size_t count, size_t size, size_t* bytesP) {
    return !__builtin_mul_overflow(count, size, bytesP);
}

}  // namespace

void* pm_allocrow(unsigned int cols, unsigned int size) {
    size_t bytes = 0;
    // A zero-byte row must still be a valid, freeable pointer.
    void* row = byteCount(cols, size, &bytes) ? std::malloc(bytes ? bytes : 1)
                                              : nullptr;
    if (row == nullptr)
        pm_error("out of memory allocating a row");
    return row;
}

void pm_freerow(void* row) {
    std::free(row);
}

void* pm_allocarray(unsigned int cols, unsigned int rows, unsigned int size) {
    char** rowIndex = nullptr;
    if (rows < UINT32_MAX)
        mallocProduct(&rowIndex, rows + 1, sizeof(char*));
    if (rowIndex == nullptr)
        pm_error("out of memory allocating row index (%u rows) for an array",
                 rows);

    size_t rowBytes = 0;
    size_t blockBytes = 0;
    char* block = nullptr;
    if (byteCount(cols, size, &rowBytes) &&
        byteCount(rows, rowBytes, &blockBytes))
        block = static_cast<char*>(
            pm_arrayblock_alloc(blockBytes ? blockBytes : 1));

    rowIndex[rows] = block;
    for (unsigned int r = 0; r < rows; ++r)
        rowIndex[r] = block != nullptr
                          ? block + r * rowBytes
                          : static_cast<char*>(pm_allocrow(cols, size));
    return rowIndex;
}

void pm_freearray(void* rowIndexArg, unsigned int rows) {
    char** rowIndex = static_cast<char**>(rowIndexArg);
    if (rowIndex[rows] != nullptr)
        std::free(rowIndex[rows]);
    else
        for (unsigned int r = 0; r < rows; ++r)
            pm_freerow(rowIndex[r]);
    std::free(rowIndex);
}
