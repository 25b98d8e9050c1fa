// Log lines about bad input that a peer may send again and again: the first
// line of each kind is written; later ones of that kind are only counted, and
// the count is written once a minute while they keep coming. A kind that was
// quiet for a whole minute is forgotten, so its next line is written again.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class RepeatedInputLog {
public:
    using Clock = std::chrono::steady_clock;
    enum class Writer : uint8_t { line, error, noThrow };

    // Writes the line that `makeLine` builds when its kind is not being
    // counted; otherwise counts it (the line is then not built at all).
    template <typename MakeLine>
    void note(std::string_view kind, Writer writer, MakeLine&& makeLine)
    {
        if (admit(kind, writer))
            write(writer, makeLine());
    }
    // Writes the counts of the kinds whose minute is over.
    void report();
    // Writes what is still counted and forgets every kind.
    void clear();

    // The clock of the minutes; tests replace it.
    Clock::time_point (*now)() = &Clock::now;

private:
    struct Kind {
        std::string name;
        Writer writer;
        Clock::time_point since;
        uint64_t count = 0;
    };
    // True when the line is to be written.
    bool admit(std::string_view kind, Writer writer);
    static void write(Writer writer, std::string_view text) noexcept;
    void writeCount(const Kind& kind) noexcept;

    std::vector<Kind> kinds;
};
