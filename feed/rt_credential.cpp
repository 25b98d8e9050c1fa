// Looking up, reading and writing the RealTraffic credential.
#include "feed/rt_credential.h"

#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <windows.h>
#include <knownfolders.h>

#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "core/value_types.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_credentialMutex;
std::string g_credential;

void lf_wipe(std::string& text)
{
    if (!text.empty())
        sodium_memzero(text.data(), text.size());
    text.clear();
}

void lf_setCredential(std::string_view value)
{
    std::lock_guard lock(g_credentialMutex);
    lf_wipe(g_credential);
    g_credential.assign(value);
}

bool lf_isUsable(std::string_view value)
{
    return !value.empty() && value != g_licensePlaceholder && value != g_tokenPlaceholder;
}

// True when the file exists; false when it does not; throws for any other error.
bool lf_exists(const fs::path& path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return false;
    if (ec)
        throw fs::filesystem_error("exists", path, ec);
    return true;
}

// A JSON parse error quotes the text it last read, which may be the
// credential itself: the log gets the error without that quote.
std::string_view lf_withoutExcerpt(std::string_view message)
{
    const size_t cut = message.find("; last read:");
    return cut == std::string_view::npos ? message : message.substr(0, cut);
}

std::string lf_pathText(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

} // namespace

std::string gf_rtCredential()
{
    std::lock_guard lock(g_credentialMutex);
    return g_credential;
}

std::string gf_readRealTrafficLic(const fs::path& path)
{
    const std::string where = lf_pathText(path);
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            gf_logLine(fmt::format("Could not open '{}'.", where));
            return {};
        }
        std::vector<std::string> lines;
        gf_readStreamLines(in, lines);
        if (lines.empty()) {
            gf_logLine(fmt::format("No license found in '{}'. File is empty.", where));
            return {};
        }
        std::string joined;
        for (auto& line : lines) {
            joined += line;
            lf_wipe(line);
        }
        nlohmann::json root;
        try {
            root = nlohmann::json::parse(joined);
        } catch (...) {
            lf_wipe(joined);
            throw;
        }
        lf_wipe(joined);
        if (!root.is_object()) {
            gf_logLine(fmt::format("No license found in '{}'. Problem: JSON root is not an object", where));
            return {};
        }
        const auto it = root.find("License");
        if (it == root.end() || !it->is_string()) {
            gf_logLine(fmt::format("No license found in '{}'. Problem: Missing or invalid 'License' field", where));
            return {};
        }
        std::string value = it->get<std::string>();
        if (value.empty())
            gf_logLine(fmt::format("No license found in '{}'. Problem: Empty 'License' value", where));
        return value;
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("No license found in '{}'. Problem: {}", where, lf_withoutExcerpt(e.what())));
        return {};
    }
}

bool gf_writeRealTrafficLic(std::string_view value)
{
    std::string text;
    try {
        nlohmann::json root = nlohmann::json::object();
        root["License"] = value.empty() ? std::string(g_tokenPlaceholder) : std::string(value);
        root["Name"] = "unknown";
        text = root.dump();
    } catch (const std::exception&) {
        return false;
    }
    const bool ok = gf_writeTextFile(text, g_credentialFileName, false);
    lf_wipe(text);
    return ok;
}

void gf_getRTLicenseToken()
{
    lf_setCredential({});
    std::vector<fs::path> candidates;
    if (auto roaming = gf_getKnownFolderPath(FOLDERID_RoamingAppData))
        candidates.push_back(fs::path(*roaming) / g_realTrafficMakerFolder / g_credentialFileName);
    const fs::path programFile = g_credentialFileName;

    auto accept = [](std::string& value, const fs::path& from) {
        lf_setCredential(value);
        const bool token = value.size() >= 3 && value.compare(0, 3, "rt_") == 0;
        lf_wipe(value);
        if (token)
            gf_logLine(fmt::format("Your RealTraffic API-token was taken from '{}'", lf_pathText(from)));
        else
            gf_logLine(fmt::format("Your RealTraffic license was taken from '{}'", lf_pathText(from)));
    };

    for (const fs::path& path : candidates) {
        if (!lf_exists(path))
            continue;
        std::string value = gf_readRealTrafficLic(path);
        if (lf_isUsable(value))
            return accept(value, path);
        lf_wipe(value);
    }

    if (lf_exists(programFile) || gf_writeRealTrafficLic({})) {
        std::string value = gf_readRealTrafficLic(programFile);
        if (!lf_isUsable(value)) {
            lf_wipe(value);
            if (auto entered = gf_askLicenseToken(static_cast<HWND>(gf_uiSink().ownerWindow()))) {
                if (gf_writeRealTrafficLic(*entered))
                    value = *entered;
                lf_wipe(*entered);
            }
        }
        if (lf_isUsable(value))
            return accept(value, programFile);
        lf_wipe(value);
    }
    throw kvr::UserRelatedException(899, "No valid RT license / API-token found");
}
