#include "feed/repeated_input_log.h"

#include <fmt/format.h>

#include "core/log.h"

namespace {

// A peer that makes up new kinds without end shares one count beyond these.
constexpr size_t kMaxKinds = 32;
constexpr std::string_view kOtherKind = "other bad input";
constexpr auto kMinute = std::chrono::minutes(1);

} // namespace

bool RepeatedInputLog::admit(std::string_view kind, Writer writer)
{
    report();
    if (kinds.size() >= kMaxKinds)
        kind = kOtherKind;
    for (Kind& k : kinds)
        if (k.name == kind) {
            ++k.count;
            return false;
        }
    kinds.push_back(Kind{std::string(kind), writer, now(), 0});
    return true;
}

void RepeatedInputLog::report()
{
    if (kinds.empty())
        return;
    const Clock::time_point t = now();
    for (size_t i = 0; i < kinds.size();) {
        Kind& k = kinds[i];
        if (t - k.since < kMinute) {
            ++i;
        } else if (k.count > 0) {
            writeCount(k);
            k.count = 0;
            k.since = t;
            ++i;
        } else {
            kinds.erase(kinds.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void RepeatedInputLog::clear()
{
    for (const Kind& k : kinds)
        if (k.count > 0)
            writeCount(k);
    kinds.clear();
}

void RepeatedInputLog::write(Writer writer, std::string_view text) noexcept
{
    try {
        switch (writer) {
        case Writer::line:
            gf_logLine(text);
            return;
        case Writer::error:
            gf_logError(text);
            return;
        case Writer::noThrow:
            break;
        }
    } catch (...) {
        return;
    }
    gf_logNoThrow(text);
}

void RepeatedInputLog::writeCount(const Kind& kind) noexcept
{
    try {
        write(Writer::noThrow, fmt::format("{} more like this in the last minute: {}", kind.count, kind.name));
    } catch (...) {
    }
}
