#include "feed/feed_flags.h"

std::atomic<bool> feedConnected{false};
