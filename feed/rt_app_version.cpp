// The RealTraffic App's answer to the version query: its edition and version.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/gui_senders.h"
#include "core/log.h"
#include "feed/feed_flags.h"
#include "feed/received_text.h"
#include "feed/rt_app_link.h"

namespace {

// The edition number of "level": a fraction is cut off and a boolean counts
// as 0 or 1. A number beyond every integer is no edition the App has: the
// standard one. Any other kind of value throws the JSON type error.
int64_t lf_levelOf(const nlohmann::json& level)
{
    constexpr int64_t kStandard = 1;
    if (level.is_boolean())
        return level.get<bool>() ? 1 : 0;
    if (level.is_number_float()) {
        const double value = level.get<double>();
        if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
            return kStandard;
        return static_cast<int64_t>(value);
    }
    if (level.is_number_unsigned() && level.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
        return kStandard;
    return level.get<int64_t>();
}

} // namespace

std::string lf_jsonVersion(const nlohmann::json& value)
{
    return value.value("version", std::string());
}

void lf_processRTVersion(std::string_view reply)
{
    if (reply.empty()) {
        gf_showMessage("No RealTraffic version received?", true);
        gf_professionalLevel() = false;
        return;
    }
    try {
        const nlohmann::json root = nlohmann::json::parse(reply);
        if (!root.is_object()) {
            gf_professionalLevel() = false;
            gf_setTrafficSourceInfo("");
            return;
        }
        int64_t level = 1;
        if (auto it = root.find("level"); it != root.end())
            level = lf_levelOf(*it);
        gf_professionalLevel() = level == 2;
        const std::string version = lf_jsonVersion(root);
        gf_setTrafficSourceInfo(fmt::format("RT App {} edition: {}", level == 2 ? "prof" : "stnd", version));
    } catch (const std::exception& e) {
        gf_professionalLevel() = false;
        gf_setTrafficSourceInfo("");
        gf_logLine(fmt::format("{}: JSON parse failed: {}", "lf_processRTVersion", gf_quoteReceived(e.what())));
    }
}
