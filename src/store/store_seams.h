// The small interfaces the store talks through: the progress bars and the local clock.
#pragma once

#include <ctime>
#include <functional>

// A progress bar of range 0..99 (the search's address-scan and tuning-download bars).
class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    virtual void SetPos(int nPos) = 0;
};

// Fills *ptm with the local calendar time that a record header or a moved-aside file name shows.
// The product uses the PC's clock; tests put a fixed time in its place.
using LocalClockFn = std::function<void(std::tm* ptm)>;
