#include "stands/stand_uses.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

std::unordered_map<int32_t, std::vector<StandUse>>& lf_uses()
{
    static std::unordered_map<int32_t, std::vector<StandUse>> uses;
    return uses;
}

} // namespace

void gf_takeStandUse(int32_t standId, const StandUse& use)
{
    if (standId < 1)
        return;
    lf_uses()[standId].push_back(use);
}

void gf_releaseStandUse(int32_t standId, uint32_t hexid)
{
    auto& uses = lf_uses();
    const auto it = uses.find(standId);
    if (it == uses.end())
        return;
    std::vector<StandUse>& list = it->second;
    const auto use = std::find_if(list.begin(), list.end(), [hexid](const StandUse& u) { return u.hexid == hexid; });
    if (use != list.end())
        list.erase(use);
    if (list.empty())
        uses.erase(it);
}

std::span<const StandUse> gf_standUses(int32_t standId)
{
    const auto& uses = lf_uses();
    const auto it = uses.find(standId);
    return it == uses.end() ? std::span<const StandUse>{} : std::span<const StandUse>(it->second);
}

size_t gf_usedStandCount()
{
    return lf_uses().size();
}

void gf_clearStandUses()
{
    lf_uses().clear();
}
