#include "engine/stand_services.h"

#include <stdexcept>

namespace {

StandServices g_services;
bool g_registered = false;

} // namespace

StandServices gf_setStandServices(const StandServices& services)
{
    StandServices before = g_services;
    g_services = services;
    g_registered = true;
    return before;
}

const StandServices& gf_standServices()
{
    if (!g_registered)
        throw std::logic_error("The stand services are not registered");
    return g_services;
}
