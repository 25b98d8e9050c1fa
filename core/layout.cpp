#include "core/layout.h"

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"

namespace {

struct SettingsPaths {
    std::filesystem::path folder;
    std::filesystem::path parametersXml;
    std::string parametersXmlUtf8;
    std::filesystem::path pendingParametersXml;
};

void lf_build(SettingsPaths& paths)
{
    paths.folder = gf_getAppDataPath() / L"Kelo";
    paths.parametersXml = paths.folder / L"parameters.xml";
    paths.pendingParametersXml = paths.folder / L"parameters-pending.xml";
    try {
        paths.parametersXmlUtf8 = wide_to_utf8(paths.parametersXml.wstring());
    } catch (const std::exception&) {
        paths.parametersXmlUtf8.clear();
    }
}

SettingsPaths& lf_settingsPaths()
{
    static SettingsPaths paths = [] {
        SettingsPaths p;
        lf_build(p);
        return p;
    }();
    return paths;
}

} // namespace

const std::filesystem::path& gf_settingsFolder()
{
    return lf_settingsPaths().folder;
}

const std::filesystem::path& gf_parametersXmlPath()
{
    return lf_settingsPaths().parametersXml;
}

const std::string& gf_parametersXmlPathUtf8()
{
    return lf_settingsPaths().parametersXmlUtf8;
}

const std::filesystem::path& gf_pendingParametersXmlPath()
{
    return lf_settingsPaths().pendingParametersXml;
}

void gf_rebuildSettingsPaths()
{
    lf_build(lf_settingsPaths());
}

const std::unordered_map<std::string, std::string>& gf_stockModels()
{
    static const std::unordered_map<std::string, std::string> table = [] {
        std::unordered_map<std::string, std::string> m;
        m.max_load_factor(1.0f);
        m = {
            {"Asobo_FlightDesignCT", "FDCT"},
            {"Asobo_Longitude", "C700"},
            {"Asobo_VL3", "VL3"},
            {"Asobo_Savage_Cub", "SAVG"},
            {"Asobo_Savage_ShockUltra", "SAVG"},
            {"Asobo_XCub", "CC19"},
            {"Asobo_Pitts", "PTS2"},
            {"Asobo_SR22", "SR22"},
            {"Asobo_Icon", "A5"},
            {"Asobo_TBM930", "TBM9"},
            {"Asobo_KingAir350", "B350"},
            {"Asobo_E330", "E300"},
            {"Asobo_DV20", "DV20"},
            {"Asobo_DR400", "DR40"},
            {"Asobo_DA62", "DA62"},
            {"Asobo_DA40_TDI", "DA40"},
            {"Asobo_DA40_NG", "DA40"},
            {"Asobo_Cap10C", "CP10"},
            {"Asobo_CJ4", "C25C"},
            {"Asobo_C152", "C152"},
            {"Asobo_C152_Aerobat", "C152"},
            {"Asobo_C172sp_AS1000", "C172"},
            {"Asobo_C172sp_classic", "C172"},
            {"Asobo_Bonanza_G36", "BE36"},
            {"Asobo_Baron_G58", "B58T"},
            {"Asobo_B747_8i", "B748"},
            {"Asobo_B787_10", "B78X"},
            {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
            {"Asobo_A320_NEO", "A20N"},
            {"FlyByWire_A320_NEO", "A20N"},
        };
        m.max_load_factor(1.0f);
        return m;
    }();
    return table;
}

// The settings paths are built before main, like the other constants.
static const bool g_settingsPathsBuilt = (gf_settingsFolder(), true);
