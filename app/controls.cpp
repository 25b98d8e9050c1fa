#include "app/controls.h"

// Not built yet: nothing is opened.
bool gf_openFolderInExplorer(const std::filesystem::path&)
{
    return false;
}
