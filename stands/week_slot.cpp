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

WeekSlot gf_weekSlotBack(WeekSlot now, int32_t halfHours)
{
    int32_t slot = static_cast<int32_t>(now.halfHour) - halfHours;
    uint32_t weekday = now.weekday;
    if (slot < 0) {
        slot += 48;
        weekday = weekday <= 1 ? 7 : weekday - 1;
    }
    return {weekday, static_cast<uint32_t>(slot)};
}

WeekSlot gf_currentWeekSlot()
{
    return gf_weekSlotOfWord(weekdayHalfHourWord.load());
}
