// Received data quoted in a log line. A peer decides what it sends: a log
// line quotes at most a few hundred characters of it, and says how long the
// whole was when it cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr size_t kQuotedReceivedChars = 300;

// The text as it is when short enough; else its first characters (never
// ending inside a UTF-8 sequence), "..." and the total length in bytes.
std::string gf_quoteReceived(std::string_view text);
