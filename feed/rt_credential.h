// The user's RealTraffic credential for RT Direct mode: a licence key or an
// API token ("rt_..."), read from RealTraffic.lic or asked for in a small
// window. The credential is never logged; only the file it came from is.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "feed/secret_text.h"

struct HWND__;
typedef HWND__* HWND;

inline constexpr std::string_view g_licensePlaceholder = "fill in your license here";
inline constexpr std::string_view g_tokenPlaceholder = "fill in your API-token here";

// Finds the credential: AppData\InsideSystems\RealTraffic.lic, then
// RealTraffic.lic in the program folder (created with the token placeholder
// when missing, and the user asked when it holds nothing usable). Throws
// kvr::UserRelatedException 899 "No valid RT license / API-token found".
void gf_getRTLicenseToken();
// The credential found by the last lookup; empty before.
SecretText gf_rtCredential();
// The "License" member of the file, or empty text after a log line. The
// file's bytes go straight into wiped memory and are parsed there.
SecretText gf_readRealTrafficLic(const std::filesystem::path& path);
// Writes RealTraffic.lic in the program folder: {"License":value,"Name":"unknown"},
// the token placeholder for an empty value; through a temporary file that
// replaces the old one once it is on the disk.
bool gf_writeRealTrafficLic(std::string_view value);
// Shows the credential window; the text entered when OK was pressed with a
// non-empty input.
std::optional<SecretText> gf_askLicenseToken(HWND owner);
