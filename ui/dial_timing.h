// The dial timeout test, in unsigned 32-bit tick arithmetic so that a wrap of
// the millisecond tick count during an attempt changes nothing.
#pragma once
#include <cstdint>

inline bool DialTimedOut(uint32_t now, uint32_t attemptStart, uint32_t timeoutSeconds)
{
    uint32_t elapsedSeconds = static_cast<uint32_t>(now - attemptStart) / 1000u;
    return elapsedSeconds >= timeoutSeconds;
}
