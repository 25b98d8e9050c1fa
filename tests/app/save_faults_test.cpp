// Every file Kelo saves, against a save that fails: a read-only target, a
// target another program holds open without sharing, a disk that is full.
// Each failed save is logged, leaves the previous file as it was, and the
// next save after the fault works.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include <fmt/format.h>
#include <fmt/xchar.h>
#include <pugixml.hpp>

#include <random>

#include "core/files.h"
#include "standins/download_site.h"
#include "tests/app/savers.h"
#include "tests/liveries/livery_fixture.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

struct Fault {
    const char* name;
    std::function<void(const fs::path& target)> begin;
    std::function<void(const fs::path& target)> end;
};

bool lf_diskFull(const wchar_t*)
{
    SetLastError(ERROR_DISK_FULL);
    return false;
}

// Windows refuses to move a file over a read-only one; Wine does not.
bool lf_windowsReplace(const wchar_t* from, const wchar_t* to)
{
    const DWORD attributes = GetFileAttributesW(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

struct SaveFaults : LiveryFixture {
    DownloadSite site;
    HANDLE held = INVALID_HANDLE_VALUE;
    FileCalls previousCalls = gf_setFileCalls({nullptr, nullptr, nullptr, &lf_windowsReplace});
    ~SaveFaults() override
    {
        gf_setFileCalls(previousCalls);
        gf_setDownloadSiteForTests("");
    }
    // The data set of every generation up to `last`.
    void serveDataSets(const std::string& name, int last)
    {
        for (int n = 0; n <= last; ++n)
            site.putFile(fmt::format("gen{}/{}", n, name), fmt::format("gen {} end", n));
        gf_setDownloadSiteForTests(site.rootUrl());
    }

    std::vector<Fault> faults()
    {
        return {
            {"read-only target", [](const fs::path& t) { SetFileAttributesW(t.c_str(), FILE_ATTRIBUTE_READONLY); },
             [](const fs::path& t) { SetFileAttributesW(t.c_str(), FILE_ATTRIBUTE_NORMAL); }},
            {"target held open",
             [this](const fs::path& t) {
                 held = CreateFileW(t.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                 ASSERT_NE(held, INVALID_HANDLE_VALUE);
             },
             [this](const fs::path&) { CloseHandle(held); }},
            {"disk full",
             [](const fs::path&) { gf_setFileCalls({nullptr, nullptr, &lf_diskFull, &lf_windowsReplace}); },
             [](const fs::path&) { gf_setFileCalls({nullptr, nullptr, nullptr, &lf_windowsReplace}); }},
        };
    }
};

} // namespace

TEST_F(SaveFaults, FailedSaveIsLoggedKeepsTheOldFileAndTheNextSaveWorks)
{
    serveDataSets("dbase.enc", 100);
    int generation = 0;
    for (const Saver& saver : fiveSavers()) {
        for (const Fault& fault : faults()) {
            SCOPED_TRACE(fmt::format("{}, {}", saver.name, fault.name));
            ASSERT_TRUE(saver.save(++generation));
            const std::string before = readBytes(saver.target);
            const size_t logged = log().size();
            fault.begin(saver.target);
            EXPECT_FALSE(saver.save(++generation));
            fault.end(saver.target);
            EXPECT_EQ(readBytes(saver.target), before);
            EXPECT_EQ(saver.load(), generation - 1);
            EXPECT_NE(log().substr(logged).find(saver.target.filename().string()), std::string::npos)
                << log().substr(logged);
            ASSERT_TRUE(saver.save(++generation));
            EXPECT_EQ(saver.load(), generation);
            for (const fs::directory_entry& e : fs::directory_iterator(saver.target.parent_path()))
                EXPECT_FALSE(e.path().filename().string().starts_with(saver.target.filename().string() + ".") &&
                             e.path().string().ends_with("tmp"))
                    << "left behind: " << e.path().string();
        }
    }
}

// A child process saves the five files in a loop and is killed at random
// points: each file is afterwards the old or a newer whole one and reads back.
TEST_F(SaveFaults, KilledWhileSavingLeavesEachFileOldOrNewAndReadable)
{
    constexpr int kRounds = 12, kPerRound = 1000;
    serveDataSets("airports.enc", (kRounds + 1) * kPerRound);
    const std::vector<Saver> savers = fiveSavers("airports.enc");
    for (const Saver& saver : savers)
        ASSERT_TRUE(saver.save(0)) << saver.name;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path child = fs::path(self).parent_path() / "kelo_save_child.exe";
    const std::string url = site.rootUrl();
    std::mt19937 random(20261208);
    std::vector<int> held(savers.size(), 0);
    for (int round = 1; round <= kRounds; ++round) {
        const int first = round * kPerRound;
        std::wstring command = fmt::format(L"\"{}\" \"{}\" \"{}\" {} {}", child.wstring(),
                                           fs::current_path().wstring(), m_folders.roamingAppData().wstring(),
                                           std::wstring(url.begin(), url.end()), first);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        // Its first data set is asked for once it has saved the other four.
        ASSERT_TRUE(site.waitForRequest(fmt::format("gen{}/airports.enc", first)));
        Sleep(std::uniform_int_distribution<DWORD>(0, 40)(random));
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (size_t i = 0; i < savers.size(); ++i) {
            SCOPED_TRACE(fmt::format("round {}, {}", round, savers[i].name));
            const std::optional<int> generation = savers[i].load();
            ASSERT_TRUE(generation.has_value()) << readBytes(savers[i].target);
            EXPECT_GE(*generation, held[i]);
            EXPECT_LT(*generation, first + kPerRound);
            held[i] = *generation;
        }
    }
    for (size_t i = 0; i < savers.size(); ++i) {
        EXPECT_GE(held[i], kPerRound) << savers[i].name << " was saved by the child";
        EXPECT_TRUE(savers[i].save(held[i] + 1)) << savers[i].name << " saves again after the kills";
    }
}
