// Looking up, reading and writing the RealTraffic credential.
#include "feed/rt_credential.h"

#include <mutex>
#include <system_error>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <windows.h>
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "core/value_types.h"

namespace fs = std::filesystem;

namespace {

// A credential file is a few hundred bytes; anything far larger is not one.
constexpr DWORD kMaxFileBytes = 64 * 1024;

std::mutex g_credentialMutex;
SecretText g_credential;

void lf_setCredential(std::string_view value)
{
    std::lock_guard lock(g_credentialMutex);
    g_credential = SecretText(value);
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

std::string lf_pathText(const fs::path& path)
{
    return wide_to_utf8(path.wstring());
}

struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~FileHandle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// The whole file, read with no buffer of the system's runtime in between;
// no value when it cannot be opened or read.
std::optional<SecretText> lf_readFileBytes(const fs::path& path)
{
    FileHandle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart > kMaxFileBytes)
        return std::nullopt;
    SecretText bytes;
    bytes.text().resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.h, bytes.text().data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return std::nullopt;
    return bytes;
}

// The file's lines joined without separators: a UTF-8 byte-order mark is
// skipped, line feeds and carriage returns go; all in place.
void lf_joinLines(WipedString& text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
}

// Writes the whole text to `path` and flushes it to the disk.
bool lf_writeFileFlushed(const fs::path& path, std::string_view text)
{
    FileHandle file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(file.h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size() && FlushFileBuffers(file.h);
}

} // namespace

SecretText gf_rtCredential()
{
    std::lock_guard lock(g_credentialMutex);
    return g_credential;
}

SecretText gf_readRealTrafficLic(const fs::path& path)
{
    const std::string where = lf_pathText(path);
    try {
        std::optional<SecretText> bytes = lf_readFileBytes(path);
        if (!bytes) {
            gf_logLine(fmt::format("Could not open '{}'.", where));
            return {};
        }
        lf_joinLines(bytes->text());
        if (bytes->empty()) {
            gf_logLine(fmt::format("No license found in '{}'. File is empty.", where));
            return {};
        }
        // Without exceptions: a parse error's message would carry a copy of
        // the text it last read, which may be the credential. (The parser
        // also keeps the characters of its latest token for such messages,
        // in a buffer of its own that is not ours to wipe.)
        const std::string_view text = bytes->view();
        const SecretJson root = SecretJson::parse(text.begin(), text.end(), nullptr, false);
        if (root.is_discarded()) {
            gf_logLine(fmt::format("No license found in '{}'. Problem: JSON parse error", where));
            return {};
        }
        if (!root.is_object()) {
            gf_logLine(fmt::format("No license found in '{}'. Problem: JSON root is not an object", where));
            return {};
        }
        const auto it = root.find("License");
        if (it == root.end() || !it->is_string()) {
            gf_logLine(fmt::format("No license found in '{}'. Problem: Missing or invalid 'License' field", where));
            return {};
        }
        const WipedString& value = it->get_ref<const WipedString&>();
        if (value.empty())
            gf_logLine(fmt::format("No license found in '{}'. Problem: Empty 'License' value", where));
        return SecretText(std::string_view(value.data(), value.size()));
    } catch (const std::exception& e) {
        gf_logLine(fmt::format("No license found in '{}'. Problem: {}", where, e.what()));
        return {};
    }
}

bool gf_writeRealTrafficLic(std::string_view value)
{
    const fs::path target = g_credentialFileName;
    const fs::path temporary = fs::path(g_credentialFileName).concat(L".tmp");
    try {
        SecretJson root = SecretJson::object();
        root["License"] = value.empty() ? WipedString(g_tokenPlaceholder.data(), g_tokenPlaceholder.size())
                                        : WipedString(value.data(), value.size());
        root["Name"] = "unknown";
        SecretText text;
        text.text() = root.dump();
        // The old file stays whole until the new one is on the disk.
        if (!lf_writeFileFlushed(temporary, text.view())) {
            DeleteFileW(temporary.c_str());
            return false;
        }
        if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DeleteFileW(temporary.c_str());
            return false;
        }
        return true;
    } catch (const std::exception&) {
        DeleteFileW(temporary.c_str());
        return false;
    }
}

void gf_getRTLicenseToken()
{
    lf_setCredential({});
    std::vector<fs::path> candidates;
    if (const fs::path roaming = gf_getAppDataPath(); !roaming.empty())
        candidates.push_back(roaming / g_realTrafficMakerFolder / g_credentialFileName);
    const fs::path programFile = g_credentialFileName;

    auto accept = [](const SecretText& value, const fs::path& from) {
        lf_setCredential(value.view());
        if (value.view().starts_with("rt_"))
            gf_logLine(fmt::format("Your RealTraffic API-token was taken from '{}'", lf_pathText(from)));
        else
            gf_logLine(fmt::format("Your RealTraffic license was taken from '{}'", lf_pathText(from)));
    };

    for (const fs::path& path : candidates) {
        if (!lf_exists(path))
            continue;
        const SecretText value = gf_readRealTrafficLic(path);
        if (lf_isUsable(value.view()))
            return accept(value, path);
    }

    if (lf_exists(programFile) || gf_writeRealTrafficLic({})) {
        SecretText value = gf_readRealTrafficLic(programFile);
        if (!lf_isUsable(value.view())) {
            if (std::optional<SecretText> entered = gf_askLicenseToken(static_cast<HWND>(gf_uiSink().ownerWindow()))) {
                if (gf_writeRealTrafficLic(entered->view()))
                    value = std::move(*entered);
            }
        }
        if (lf_isUsable(value.view()))
            return accept(value, programFile);
    }
    throw kvr::UserRelatedException(899, "No valid RT license / API-token found");
}
