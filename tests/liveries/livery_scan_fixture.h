// A small model database and empty scan reports for the aircraft.cfg tests.
#pragma once

#include <gtest/gtest.h>

#include "liveries/livery_scan_reports.h"
#include "liveries/livery_list_file.h"
#include "liveries/model_database.h"

class LiveryScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearLiveryScanReports();
        auto& db = gf_modelDatabase();
        db = ModelDatabaseTables{};
        db.icaoModelCodes = {"A20N", "A320", "B738", "B748", "C172", "E190"};
        db.heavy.insert(gf_modelCode2Id("B748"));
        // Sorted by registration.
        db.records = {
            {"D-ABCD", {gf_airlineCode2Id("DLH"), gf_airlineCode2Id("CLH"), gf_modelCode2Id("A320"), 1, 1}},
            {"G-EUUA", {gf_airlineCode2Id("BAW"), 0, gf_modelCode2Id("A320"), 0, 1}},
            {"N12", {gf_airlineCode2Id("DLH"), 0, gf_modelCode2Id("B748"), 0, 1}},
            {"N123", {gf_airlineCode2Id("PVT"), 0, gf_modelCode2Id("C172"), 0, 1}},
        };
        db.icaoAirlineCodes = {"BAW", "DLH", "DLHA", "KLM", "RYR", "ZZZ"};
        ModelFixes = {{"B38M", "B738"}};
    }
    void TearDown() override
    {
        gf_clearLiveryScanReports();
        gf_modelDatabase() = ModelDatabaseTables{};
        ModelFixes.clear();
    }
};
