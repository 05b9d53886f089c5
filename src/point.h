#pragma once

#include <cstdint>

namespace ozra {

// One zone vertex in the server's integer coordinates.
class CPoint {
public:
    CPoint(int x, int y) : mX(x), mY(y) {}

    bool operator==(const CPoint& other) const { return mX == other.mX && mY == other.mY; }
    bool operator!=(const CPoint& other) const { return !(*this == other); }

    int32_t mX;
    int32_t mY;
};

}  // namespace ozra
