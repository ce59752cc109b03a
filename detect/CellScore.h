#pragma once
// One cell of the ranking grid and its mean level.

#include <cstdint>

struct CellScore {
    int32_t nRow;
    int32_t nCol;
    double dMean;  // 0.0 to 255.0
};
