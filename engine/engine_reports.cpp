#include "engine/engine_reports.h"

#include <atomic>
#include <mutex>

namespace {
std::mutex engineCopyMutex;
UserAcPosition engineCopy;
std::atomic<std::shared_ptr<const UserAcPosition>> published{std::make_shared<const UserAcPosition>()};
} // namespace

void gf_publishUserAcPosition(const UserAcPosition& position)
{
    {
        std::lock_guard lock(engineCopyMutex);
        engineCopy = position;
    }
    published.store(std::make_shared<const UserAcPosition>(position));
}

UserAcPosition gf_engineUserAcPosition()
{
    std::lock_guard lock(engineCopyMutex);
    return engineCopy;
}

std::shared_ptr<const UserAcPosition> gf_publishedUserAcPosition()
{
    return published.load();
}
