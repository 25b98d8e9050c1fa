// The user aircraft's ICAO type from the simulator's "ATC MODEL" text, its
// radius and category, and the log text of a SimConnect object id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The cleaned and mapped model text (trimmed, prefixes and suffixes removed,
// table rows applied), before the check against the model database.
std::string gf_cleanUserModel(std::string_view model, std::string_view title);
// The model code when the cleaned text is a known ICAO type code.
std::optional<std::string> gf_normaliseUserModel(std::string_view model, std::string_view title);

// Handler of the USER_AC_MODEL reply (request 106): the whole packet.
void lf_onUserAcModel(const void* packet, uint32_t cbData);

// Decimal with MSFS 2020, lower-case hexadecimal otherwise.
std::string gf_objectIdText(uint32_t objectId);
