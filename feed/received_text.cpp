#include "feed/received_text.h"

#include <fmt/format.h>

std::string gf_quoteReceived(std::string_view text)
{
    if (text.size() <= kQuotedReceivedChars)
        return std::string(text);
    size_t cut = kQuotedReceivedChars;
    // Back to the start of a UTF-8 sequence (continuation bytes are 10xxxxxx).
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return fmt::format("{}... ({} bytes)", text.substr(0, cut), text.size());
}
