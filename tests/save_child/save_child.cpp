// Saves the five files of tests/app/savers.h over and over, generation after
// generation, until it is killed: the save-fault test kills it at random
// points and checks what it leaves behind.
//   kelo_save_child <program folder> <roaming AppData> <site root URL> <first generation>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/files.h"
#include "core/layout.h"
#include "core/settings_snapshot.h"
#include "tests/app/savers.h"

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    std::filesystem::current_path(argv[1]);
    gf_setKnownFolderOverride(KnownFolder::RoamingAppData, std::filesystem::path(argv[2]).wstring());
    gf_rebuildSettingsPaths();
    gf_setDownloadSiteForTests(argv[3]);
    auto mode = std::make_shared<ModeSettings>(*g_modeSettings.load());
    mode->sim = 1;
    g_modeSettings.store(mode);
    if (!gf_readDbase())
        return 3;
    const std::vector<kvr::test::Saver> savers = kvr::test::fiveSavers("airports.enc");
    const int first = std::atoi(argv[4]);
    for (int n = first; n < first + 1000; ++n)
        for (const kvr::test::Saver& saver : savers)
            saver.save(n);
    return 0;
}
