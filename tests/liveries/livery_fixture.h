#pragma once
// A program folder with the repository's dbase.enc and AIG-regcodes.enc in
// input, the model database loaded from it, RANDOM off and the log open.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/layout.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/text.h"
#include "liveries/livery_list_file.h"
#include "liveries/livery_memory.h"
#include "liveries/model_database.h"
#include "tests/support/data_sets.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace kvr::test {

class LiveryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(g_inputFolder);
        writeRepoDataSet(DataSetKind::Dbase, g_dbaseEncPath);
        writeRepoDataSet(DataSetKind::AigRegcodes, g_aigRegcodesEncPath);
        gf_openLog();
        m_databaseWasRead = !gf_modelDatabase().icaoModelCodes.empty();
        gf_clearModelDatabase();
        ASSERT_TRUE(gf_readDbase());
        m_oldParameters = g_parameters.load();
        m_oldMode = g_modeSettings.load();
        setParameters(4, false);
        auto mode = std::make_shared<ModeSettings>(*m_oldMode);
        mode->sim = 1;
        g_modeSettings.store(mode);
        gf_clearLiveryMemory();
        gf_clearNoMatchList();
        gf_clearFailedLiveriesForTests();
    }

    void TearDown() override
    {
        g_parameters.store(m_oldParameters);
        g_modeSettings.store(m_oldMode);
        gf_clearFailedLiveriesForTests();
        gf_clearModelDatabase();
        // The program reads its model database once per process: a start of
        // it after this test finds the database it found before.
        if (m_databaseWasRead) {
            writeRepoDataSet(DataSetKind::Dbase, g_dbaseEncPath);
            EXPECT_TRUE(gf_readDbase());
        }
        gf_closeLog();
    }

    static void setParameters(int32_t depth, bool random, int32_t tcasFl = 180)
    {
        gf_modifyParameters([=](Parameters& p) {
            p.MATCHING_DEPTH = depth;
            p.RANDOM = random;
            p.TCAS_FL = tcasFl;
        });
    }

    static LiveryRecord livery(const char* airline, const char* oper, const char* model, bool cargo,
                               const char* title, const char* registration = "")
    {
        LiveryRecord r;
        r.title = title;
        r.registration = registration;
        r.ids.airline = gf_airlineCode2Id(airline);
        r.ids.oper = gf_airlineCode2Id(oper);
        r.ids.model = gf_modelCode2Id(model);
        r.ids.cargo = cargo ? 1 : 0;
        return r;
    }

    static std::string log()
    {
        gf_flushLog();
        return logText();
    }

    ScopedTestFolders m_folders{"liv"};
    std::shared_ptr<const Parameters> m_oldParameters;
    std::shared_ptr<const ModeSettings> m_oldMode;
    bool m_databaseWasRead = false;
};

} // namespace kvr::test
