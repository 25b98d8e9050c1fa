#include "stands/week_slot.h"

std::atomic<int64_t> weekdayHalfHourWord{0};

WeekSlot gf_weekSlotOfWord(int64_t word)
{
    const auto weekday = static_cast<int32_t>(static_cast<uint64_t>(word) & 0xFFFFFFFFu);
    const auto slot = static_cast<int32_t>(static_cast<uint64_t>(word) >> 32);
    if (weekday < 1 || weekday > 7 || slot < 0 || slot > 47)
        return {};
    return {static_cast<uint32_t>(weekday), static_cast<uint32_t>(slot)};
}
