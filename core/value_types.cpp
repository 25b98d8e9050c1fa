// Airport codes, half-hour masks, positions and the user-facing exception.
#include "core/value_types.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "core/log.h"
#include "core/text.h"

namespace {

// Folds a-z to upper case; false when the result is not A-Z or 0-9.
bool lf_codeChar(char in, char& out)
{
    if (in >= 'a' && in <= 'z')
        in = static_cast<char>(in - 'a' + 'A');
    if ((in >= 'A' && in <= 'Z') || (in >= '0' && in <= '9')) {
        out = in;
        return true;
    }
    return false;
}

template <size_t N>
bool lf_parseCode(std::string_view text, std::array<char, N>& chars, uint32_t& code)
{
    if (text.size() != N)
        return false;
    std::array<char, N> c{};
    uint32_t v = 0;
    for (size_t i = 0; i < N; ++i) {
        if (!lf_codeChar(text[i], c[i]))
            return false;
        v = (v << 8) | static_cast<unsigned char>(c[i]);
    }
    chars = c;
    code = v;
    return true;
}

// The code of a valid text assembled in one register and copied whole: built
// member by member, the object would be read back whole right after its parts
// were stored, which stalls the processor on every parse.
template <class Code, size_t N>
std::optional<Code> lf_tryParseCode(std::string_view text) noexcept
{
    static_assert(std::is_trivially_copyable_v<Code> && sizeof(Code) == 8 && offsetof(Code, chars) == 4 &&
                  std::endian::native == std::endian::little);
    Code parsed;
    if (!lf_parseCode(text, parsed.chars, parsed.code))
        return std::nullopt;
    const uint32_t v = parsed.code;
    const uint64_t chars = __builtin_bswap32(v) >> (8 * (4 - N)); // first character lowest
    const uint64_t packed = v | (chars << 32);
    Code result;
    std::memcpy(static_cast<void*>(&result), &packed, sizeof result);
    return result;
}

std::vector<std::string_view> lf_cut(std::string_view text, char delimiter)
{
    std::vector<std::string_view> pieces;
    size_t pos = 0;
    for (;;) {
        const size_t next = text.find(delimiter, pos);
        if (next == std::string_view::npos) {
            pieces.push_back(text.substr(pos));
            return pieces;
        }
        pieces.push_back(text.substr(pos, next - pos));
        pos = next + 1;
    }
}

// No valid hours text comes near this length (all 48 slots listed with
// blanks take about 230 characters); a longer one is refused unread.
constexpr size_t kMaxHoursTextLength = 1024;
// How much of a text a log line quotes.
constexpr size_t kQuotedLength = 100;

// The text as quoted in a log line: cut after kQuotedLength characters.
std::string lf_quoted(std::string_view text)
{
    if (text.size() <= kQuotedLength)
        return std::string(text);
    return fmt::format("{}... ({} characters)", text.substr(0, kQuotedLength), text.size());
}

// Reads a half-hour slot 0..47 from the start of a piece: optional '-', then
// decimal digits; anything after the digits is ignored, except that a piece of
// a range may not hold a list ("1:3,5" mixes both forms). Logs nothing.
std::optional<int> lf_readHour(std::string_view t, bool rangePiece = false)
{
    if (rangePiece && t.find(',') != std::string_view::npos)
        return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && t[i] == '-') {
        negative = true;
        ++i;
    }
    const size_t firstDigit = i;
    long value = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        value = value * 10 + (t[i] - '0');
        if (value > 1000) // far out of range already; stop before it can overflow
            break;
        ++i;
    }
    if (negative)
        value = -value;
    if (i > firstDigit && value >= 0 && value <= 47)
        return static_cast<int>(value);
    return std::nullopt;
}

// Collects the bad pieces of one text and logs them as one line: the first
// one, and how many more there were.
class BadHours {
public:
    explicit BadHours(std::string_view text) : m_text(text) {}
    ~BadHours()
    {
        if (m_count == 0)
            return;
        try {
            std::string line =
                fmt::format("{} invalid hour '{}' in {}", "operator ()", lf_quoted(m_first), lf_quoted(m_text));
            if (m_count > 1)
                line += fmt::format("; {} more invalid", m_count - 1);
            gf_logError(line);
        } catch (...) {
        }
    }
    BadHours(const BadHours&) = delete;
    BadHours& operator=(const BadHours&) = delete;

    // The slot of a trimmed piece; a bad piece is noted.
    std::optional<int> read(std::string_view piece, bool rangePiece = false)
    {
        const std::string_view t = gf_trimView(piece, kAllWhitespace);
        std::optional<int> slot = lf_readHour(t, rangePiece);
        if (!slot && m_count++ == 0)
            m_first = t;
        return slot;
    }

private:
    std::string_view m_text;
    std::string_view m_first;
    size_t m_count = 0;
};

} // namespace

IcaoCode::IcaoCode(std::string_view text)
{
    if (!lf_parseCode(text, chars, code))
        throw std::invalid_argument(fmt::format("'{}' IcaoCode: invalid string", text));
}

std::optional<IcaoCode> IcaoCode::tryParse(std::string_view text) noexcept
{
    return lf_tryParseCode<IcaoCode, 4>(text);
}

std::string IcaoCode::toString() const
{
    return isSet() ? std::string(chars.data(), chars.size()) : std::string();
}

IataCode::IataCode(std::string_view text)
{
    if (!lf_parseCode(text, chars, code))
        throw std::invalid_argument(fmt::format("'{}' IataCode: invalid string", text));
}

std::optional<IataCode> IataCode::tryParse(std::string_view text) noexcept
{
    return lf_tryParseCode<IataCode, 3>(text);
}

std::string IataCode::toString() const
{
    return isSet() ? std::string(chars.data(), chars.size()) : std::string();
}

HalfHourMask gf_hours2bitset(std::string_view text)
{
    HalfHourMask mask;
    if (text.size() > kMaxHoursTextLength) {
        gf_logError(fmt::format("{} hours text too long: {}", "gf_hours2bitset", lf_quoted(text)));
        return {};
    }
    BadHours bad(text);
    if (text.find(':') != std::string_view::npos) {
        const auto pieces = lf_cut(text, ':');
        if (pieces.size() > 2) {
            gf_logError(fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", lf_quoted(text)));
            return {};
        }
        std::vector<int> slots;
        bool anyInvalid = false;
        for (std::string_view piece : pieces) {
            if (auto slot = bad.read(piece, true))
                slots.push_back(*slot);
            else
                anyInvalid = true;
        }
        if (anyInvalid)
            return {};
        if (slots.size() == 1) {
            mask.set(static_cast<size_t>(slots[0]));
            return mask;
        }
        const int a = slots[0];
        const int b = slots[1];
        if (b < a) {
            gf_logError(fmt::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset", a, b,
                                    lf_quoted(text)));
            return {};
        }
        for (int s = a; s <= b; ++s)
            mask.set(static_cast<size_t>(s));
        return mask;
    }
    for (std::string_view piece : lf_cut(text, ','))
        if (auto slot = bad.read(piece))
            mask.set(static_cast<size_t>(*slot));
    return mask;
}

std::optional<std::string> gf_bitset2hours(const HalfHourMask& mask)
{
    if (mask.none())
        return std::nullopt;
    size_t first = 0;
    while (!mask.test(first))
        ++first;
    size_t last = mask.size() - 1;
    while (!mask.test(last))
        --last;
    if (mask.count() != last - first + 1)
        return std::nullopt; // not one unbroken run
    if (first == last)
        return fmt::format("{}", first);
    return fmt::format("{}:{}", first, last);
}

bool gf_isValidLatLon(const LatLon& point) noexcept
{
    const double lat = point.latitude;
    const double lon = point.longitude;
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0))
        return false; // also rejects NaN
    return !(std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001);
}

namespace kvr {

UserRelatedException::UserRelatedException(int32_t code, const std::string& message)
    : std::runtime_error(fmt::format("{}: {}", code, message)), code(code)
{
}

} // namespace kvr
