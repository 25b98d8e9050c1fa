// The RealTraffic App's datagrams: traffic, buffered, parked and end-of-batch
// lines, one per input line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "feed/rt_app_readers.h"
#include "feed/traffic_mailbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TrafficMailbox mailbox;
    TrafficReader reader;
    reader.mailbox = &mailbox;
    reader.userLat = 52.3;
    reader.userLon = 4.76;
    reader.cosUserLat = 0.61;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        try {
            reader.handleLine(line);
        } catch (const std::exception&) {
        }
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return 0;
}
