// libFuzzer target: the structural key checks on arbitrary modulus bytes (up
// to 1024 bytes, an 8192-bit modulus). Besides the sanitizers' checks, it
// aborts when the results break their rules.

#include "provider/key_checks.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024)
        return 0;
    const uint32_t length = static_cast<uint32_t>(size);
    const KeyCheckOutcome roca = CheckRocaStructure(data, length);
    const KeyCheckOutcome closePrimes = CheckClosePrimes(data, length);
    const KeyWeakness weakness = FindKeyWeakness(data, length);

    uint32_t significant = length;  // bytes from the first non-zero one
    for (size_t i = 0; i < size && data[i] == 0; i++)
        significant--;
    const bool sound = (roca == kCheckPassed || roca == kCheckFlagged || roca == kCheckSkipped) &&
                       (closePrimes == kCheckPassed || closePrimes == kCheckFlagged) &&
                       (significant * 8 >= kRocaMinimumBits || roca == kCheckSkipped) &&
                       weakness == (roca == kCheckFlagged          ? kWeaknessRoca
                                    : closePrimes == kCheckFlagged ? kWeaknessClosePrimes
                                                                   : kWeaknessNone);
    if (!sound)
        abort();
    return 0;
}
