#include "liveries/model_texts.h"

#include "core/settings_snapshot.h"

namespace {
bool lf_isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign)
{
    if (callsign.size() < 4)
        return std::nullopt;
    if (!lf_isAsciiLetter(callsign[0]) || !lf_isAsciiLetter(callsign[1]) || !lf_isAsciiLetter(callsign[2]) ||
        callsign[3] < '0' || callsign[3] > '9')
        return std::nullopt;
    std::string code(callsign.substr(0, 3));
    for (char& c : code)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return code;
}

bool gf_isCategoryIncluded(Category category)
{
    const auto p = gf_parametersSnapshot();
    switch (category) {
    case Category::Light: return p->LIGHT_AIRCRAFT;
    case Category::TwoProps: return p->TWO_PROPS;
    case Category::HighPerf: return p->HIGH_PERF_AIRCRAFT;
    case Category::Rotorcraft: return p->HELICOPTERS;
    case Category::Bizjet:
    case Category::Large:
    case Category::Heavy: return true;
    }
    return false;
}

std::string lf_formatAirlOprModelText(const AirlOprModel& kind)
{
    const std::string oper = kind.oper != 0 ? "," + gf_airlineCodeText(kind.oper) : std::string();
    return fmt::format("{:3}{:4} {:4}{}{:3}", gf_airlineCodeText(kind.airline), oper, gf_modelCodeText(kind.model),
                       kind.flag ? '.' : ' ', kind.cargo ? "(C)" : "");
}

AirlOprModelArg lf_formatAirlOprModelArg(const AirlOprModel& kind)
{
    return AirlOprModelArg{kind};
}

std::string lf_formatWithAirlOprModel(std::string_view format, std::string_view text1, std::string_view text2,
                                      const AirlOprModel& kind)
{
    return fmt::format(fmt::runtime(format), text1, text2, lf_formatAirlOprModelText(kind));
}
