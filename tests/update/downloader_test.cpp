#include <chrono>
#include <future>
#include <regex>

#include "tests/support/disk_flush_probe.h"
#include "tests/update/update_fixture.h"

using namespace update_test;
using kvr::test::readBytes;
using kvr::test::writeBytes;
using Behaviour = DownloadSite::Behaviour;

namespace {

struct DownloaderTest : UpdateTest {
    const fs::path target = "file.bin";
    const fs::path temp = "file.bin.download_tmp";
    std::string url(const std::string& sitePath) const { return gf_downloadFolderUrl() + sitePath; }
    bool fetch(const std::string& sitePath, bool binary = true, std::uint64_t limit = 1u << 20)
    {
        CurlEasyHandle handle = gf_makeCurlEasyHandle();
        return Downloader(handle.get(), url(sitePath), target, binary, limit);
    }
};

} // namespace

TEST_F(DownloaderTest, BinaryKeepsBytesTextModeWritesCrLfAndTheAgentIsKelo)
{
    site.putFile("docs/a.txt", "one\ntwo\n\x01\x02");
    ASSERT_TRUE(fetch("docs/a.txt", true));
    EXPECT_EQ(readBytes(target), "one\ntwo\n\x01\x02");
    EXPECT_EQ(site.lastUserAgent(), "Kelo");
    ASSERT_TRUE(fetch("docs/a.txt", false));
    EXPECT_EQ(readBytes(target), "one\r\ntwo\r\n\x01\x02");
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(Downloader(nullptr, url("docs/a.txt"), target, true, 100));
}

TEST_F(DownloaderTest, FailedAnswersLeaveTheTargetAndNoTemporaryFile)
{
    site.putFile("moved/file.bin", "the file elsewhere");
    site.putFile("x", "would be stored");
    const struct {
        Behaviour behaviour;
        std::string redirect;
    } cases[] = {
        {Behaviour::NotFound, ""},
        {Behaviour::ServerError, ""},
        {Behaviour::Redirect, site.rootUrl() + "downloads/moved/file.bin"}, // same site, plain http
        {Behaviour::Redirect, "https://elsewhere.invalid/file.bin"},        // another host
    };
    for (const auto& c : cases) {
        writeBytes(target, "old");
        site.setBehaviour("x", c.behaviour, c.redirect);
        EXPECT_FALSE(fetch("x")) << static_cast<int>(c.behaviour);
        EXPECT_EQ(readBytes(target), "old");
        EXPECT_FALSE(fs::exists(temp));
    }
    EXPECT_EQ(site.requestCount("moved/file.bin"), 0); // a redirect is never followed
    EXPECT_FALSE(fetch("not/there"));
}

TEST_F(DownloaderTest, OnlyTheSitesOwnSchemeIsSpoken)
{
    site.putFile("x", "data");
    gf_setDownloadSiteForTests(fmt::format("https://127.0.0.1:{}/", site.port()));
    CurlEasyHandle handle = gf_makeCurlEasyHandle();
    EXPECT_FALSE(Downloader(handle.get(), site.rootUrl() + "downloads/x", target, true, 100));
    EXPECT_EQ(site.requestCount("x"), 0);
}

TEST_F(DownloaderTest, StaleTemporaryFileIsReplacedOrReported)
{
    writeBytes(temp, "left over from a crash, and much longer than the new file");
    site.putFile("x", "new");
    ASSERT_TRUE(fetch("x"));
    EXPECT_EQ(readBytes(target), "new");
    EXPECT_FALSE(fs::exists(temp));

    fs::create_directories(temp / "inside"); // cannot be removed
    EXPECT_FALSE(fetch("x"));
    EXPECT_NE(logText().find("==> Could not remove stale temporary download 'file.bin.download_tmp': "),
              std::string::npos);
    EXPECT_EQ(site.requestCount("x"), 1);
}

TEST_F(DownloaderTest, StopRequestAbortsHangingAndTricklingTransfers)
{
    for (Behaviour b : {Behaviour::Hang, Behaviour::Trickle}) {
        gf_clearStopRequest();
        writeBytes(target, "old");
        const std::string path = b == Behaviour::Hang ? "hang" : "trickle";
        site.putFile(path, std::string(100000, 'z'));
        site.setBehaviour(path, b);
        auto result = std::async(std::launch::async, [&] { return fetch(path); });
        ASSERT_TRUE(site.waitForRequest(path));
        gf_requestStop(8, 0);
        EXPECT_FALSE(result.get());
        EXPECT_EQ(readBytes(target), "old");
        EXPECT_FALSE(fs::exists(temp));
    }
}

TEST_F(DownloaderTest, DataSetReplacesTheOldFileOnlyWhenItDecryptsAndParses)
{
    const fs::path local = g_dbaseEncPath;
    const std::string old = encrypted("<root><old/></root>");
    const struct {
        std::string served;
        bool ok;
    } cases[] = {
        {"<html>a redirect page</html>", false},
        {encrypted("<root/>", {.useWrongKey = true}), false},
        {encrypted("<root/>", {.omitFinalChunk = true}), false},
        {encrypted("not xml at all"), false},
        {encrypted(""), false},
        {encrypted(dataSetXml("airports.enc")), false}, // another data set's content
        {encrypted("<dbase>" + dataSetXml("dbase.enc") + "</dbase>"), false},
        {encrypted(std::regex_replace(dataSetXml("dbase.enc"), std::regex("<rotorcraft/>"), "")), false},
        {encrypted(dataSetXml("dbase.enc")), true},
    };
    for (const auto& c : cases) {
        writeBytes(local, old);
        site.putFile("input/dbase.enc", c.served);
        EXPECT_EQ(gf_downloadDataFile("dbase.enc", local), c.ok);
        EXPECT_EQ(readBytes(local), c.ok ? c.served : old);
        EXPECT_FALSE(fs::exists(fs::path(local) += L".download_tmp"));
    }
    const std::string log = logText();
    EXPECT_NE(log.find("==> Downloaded '" + url("input/dbase.enc") + "' is not a usable data set: "), std::string::npos);
    EXPECT_NE(log.find("==> Downloading '" + url("input/dbase.enc") + "' failed!"), std::string::npos);
    EXPECT_NE(log.find("not a usable data set: missing <aircrafts> section\n"), std::string::npos);
    EXPECT_NE(log.find("not a usable data set: document element <dbase> instead of <root>\n"), std::string::npos);
    EXPECT_NE(log.find("not a usable data set: missing <rotorcraft> section\n"), std::string::npos);
    EXPECT_NE(log.find("Downloaded '" + url("input/dbase.enc") + "' to 'input\\dbase.enc'"), std::string::npos);
}

TEST_F(DownloaderTest, TheDownloadIsOnDiskBeforeItReplacesTheTarget)
{
    writeBytes(target, "old");
    site.putFile("x", "new");
    kvr::test::DiskFlushProbe probe(target);
    ASSERT_TRUE(fetch("x"));
    ASSERT_EQ(probe.flushes().size(), 1u);
    EXPECT_EQ(probe.flushes()[0].path, temp);
    EXPECT_EQ(probe.flushes()[0].bytes, "new");
    EXPECT_EQ(probe.flushes()[0].targetBytes, "old") << "flushed before the replace";

    probe.failFlushes(true);
    site.putFile("x", "newer");
    EXPECT_FALSE(fetch("x"));
    EXPECT_EQ(readBytes(target), "new");
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_NE(logText().find("==> Could not write temporary download file 'file.bin.download_tmp' to disk: "),
              std::string::npos);
}

TEST_F(DownloaderTest, ATransferPastItsCapIsStopped)
{
    writeBytes(target, "old");
    site.putFile("big", std::string(5000, 'b'));
    EXPECT_FALSE(fetch("big", true, 4999)); // announced length over the cap
    EXPECT_TRUE(fetch("big", true, 5000));
    EXPECT_EQ(readBytes(target).size(), 5000u);
    site.setBehaviour("big", Behaviour::Flood); // no length, bytes without end
    EXPECT_FALSE(fetch("big", true, 1u << 20));
    EXPECT_EQ(readBytes(target).size(), 5000u);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_NE(logText().find("==> Download of '" + url("big") + "' stopped: larger than 4999 bytes\n"),
              std::string::npos);
}
