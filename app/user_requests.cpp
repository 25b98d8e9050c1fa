#include "app/user_requests.h"

#include <algorithm>
#include <vector>

namespace {

// The pending requests in the order they were first asked, at most one of
// each kind.
struct UserRequestQueue {
    std::mutex mutex;
    std::vector<UserRequest::Kind> pending;
};

UserRequestQueue& lf_userRequests()
{
    static UserRequestQueue queue;
    return queue;
}

} // namespace

void gf_postUserRequest(UserRequest::Kind request)
{
    UserRequestQueue& q = lf_userRequests();
    std::lock_guard lock(q.mutex);
    auto same = std::find_if(q.pending.begin(), q.pending.end(),
                             [&](const UserRequest::Kind& r) { return r.index() == request.index(); });
    if (same != q.pending.end())
        *same = request;
    else
        q.pending.push_back(request);
}

std::optional<UserRequest::Kind> gf_takeUserRequest(std::size_t kind)
{
    UserRequestQueue& q = lf_userRequests();
    std::lock_guard lock(q.mutex);
    auto found = std::find_if(q.pending.begin(), q.pending.end(),
                              [&](const UserRequest::Kind& r) { return r.index() == kind; });
    if (found == q.pending.end())
        return std::nullopt;
    UserRequest::Kind taken = *found;
    q.pending.erase(found);
    return taken;
}

bool gf_userRequestPending(std::size_t kind)
{
    UserRequestQueue& q = lf_userRequests();
    std::lock_guard lock(q.mutex);
    return std::any_of(q.pending.begin(), q.pending.end(),
                       [&](const UserRequest::Kind& r) { return r.index() == kind; });
}

std::atomic<bool> parkingInProgress{false};
std::atomic<bool> parkingGenerating{false};
std::atomic<int32_t> pendingParkingInterval{-1};

ParkingRequests& gf_parkingRequests()
{
    static ParkingRequests requests;
    return requests;
}
