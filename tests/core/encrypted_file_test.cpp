#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/text.h"
#include "tests/support/enc_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::EncWriteOptions;
using kvr::test::readBytes;
using kvr::test::ScopedTestFolders;
using kvr::test::writeBytes;
using kvr::test::writeEncFile;

namespace {

std::string pattern(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

std::string plain(const DecryptResult& r)
{
    const SecureBuffer& b = r.buffer();
    return std::string(reinterpret_cast<const char*>(b.data), static_cast<std::size_t>(b.used));
}

std::string errorOf(const fs::path& path, std::uint64_t limit)
{
    const DecryptResult r = gf_decryptFile(path, limit);
    EXPECT_FALSE(r.ok);
    return r.ok ? std::string("<ok>") : r.error();
}

} // namespace

TEST(EncryptedFile, DecryptsEveryChunkLayout)
{
    ScopedTestFolders folders("enc");
    for (std::size_t size : {0u, 1u, 17u, 4095u, 4096u, 4097u, 8192u, 8193u, 12345u}) {
        const std::string text = pattern(size);
        const std::uint64_t fileSize = writeEncFile("data.enc", text);
        EXPECT_EQ(fileSize, kvr::test::encFileSize(size));
        EXPECT_EQ(fs::file_size("data.enc"), fileSize);

        const DecryptResult r = gf_decryptFile("data.enc", size);
        ASSERT_TRUE(r.ok) << size << ": " << r.error();
        const SecureBuffer& b = r.buffer();
        EXPECT_EQ(b.used, size);
        EXPECT_EQ(b.capacity, size);
        EXPECT_EQ(b.allocated, size == 0 ? 1u : size);
        EXPECT_NE(b.data, nullptr);
        EXPECT_EQ(plain(r), text) << size;
    }
}

TEST(EncryptedFile, SmallestFileIsOneEmptyFinalChunk)
{
    ScopedTestFolders folders("enc41");
    ASSERT_EQ(writeEncFile("empty.enc", ""), 41u);
    const DecryptResult r = gf_decryptFile("empty.enc", 0);
    ASSERT_TRUE(r.ok) << r.error();
    EXPECT_EQ(r.buffer().used, 0u);
    EXPECT_EQ(r.buffer().capacity, 0u);
    EXPECT_EQ(r.buffer().allocated, 1u);

    fs::resize_file("empty.enc", 40);
    EXPECT_EQ(errorOf("empty.enc", 100), "Encrypted file is too small: empty.enc");
    writeBytes("zero.enc", "");
    EXPECT_EQ(errorOf("zero.enc", 100), "Encrypted file is too small: zero.enc");
}

TEST(EncryptedFile, MissingFile)
{
    ScopedTestFolders folders("encmiss");
    const std::string e = errorOf(g_wktrafficEncPath, g_wktrafficPlainLimit);
    EXPECT_TRUE(e.starts_with("Could not determine encrypted file size for input\\wktraffic.enc: ")) << e;
    EXPECT_GT(e.size(), std::string("Could not determine encrypted file size for input\\wktraffic.enc: ").size());
}

TEST(EncryptedFile, PlaintextLimit)
{
    ScopedTestFolders folders("enclimit");
    writeEncFile("at.enc", pattern(5000));
    EXPECT_TRUE(gf_decryptFile("at.enc", 5000).ok);
    EXPECT_EQ(errorOf("at.enc", 4999), "Encrypted file exceeds the plaintext size limit of 4999 bytes: at.enc");

    writeEncFile("over.enc", pattern(1048577));
    EXPECT_EQ(errorOf("over.enc", g_wktrafficPlainLimit),
              "Encrypted file exceeds the plaintext size limit of 1048576 bytes: over.enc");
    writeEncFile("limit.enc", pattern(1048576));
    const DecryptResult r = gf_decryptFile("limit.enc", g_wktrafficPlainLimit);
    ASSERT_TRUE(r.ok) << r.error();
    EXPECT_EQ(r.buffer().used, 1048576u);
}

TEST(EncryptedFile, NothingMayFollowTheFinalChunk)
{
    ScopedTestFolders folders("encextra");
    // Behind a full final chunk, the bytes that follow are seen as such.
    EncWriteOptions extra;
    extra.extraBytes = 17;
    writeEncFile("extra.enc", pattern(8192), extra);
    EXPECT_EQ(errorOf("extra.enc", 1 << 20), "Encrypted file contains data after the final block: extra.enc");
    extra.extraBytes = 4113 + 17;
    writeEncFile("extra2.enc", pattern(4096), extra);
    EXPECT_EQ(errorOf("extra2.enc", 1 << 20), "Encrypted file contains data after the final block: extra2.enc");

    // Behind a short final chunk one extra byte is read as part of that chunk
    // and spoils its authentication; the file is refused all the same.
    extra.extraBytes = 1;
    writeEncFile("extra3.enc", pattern(5000), extra);
    EXPECT_EQ(errorOf("extra3.enc", 1 << 20), "Decryption failed for: extra3.enc");
    // Behind a full one, a single byte spoils the size arithmetic.
    writeEncFile("extra4.enc", pattern(4096), extra);
    EXPECT_EQ(errorOf("extra4.enc", 1 << 20), "Decrypted data exceeds its validated size: extra4.enc");
}

TEST(EncryptedFile, CutFiles)
{
    ScopedTestFolders folders("enccut");
    EncWriteOptions noFinal;
    noFinal.omitFinalChunk = true;
    writeEncFile("nofinal.enc", pattern(5000), noFinal);
    EXPECT_EQ(fs::file_size("nofinal.enc"), 24u + 4113u);
    EXPECT_EQ(errorOf("nofinal.enc", 1 << 20), "Encrypted file ended without a final block: nofinal.enc");

    // Cut inside the last chunk, leaving 500 bytes of it.
    writeEncFile("cut.enc", pattern(5000));
    fs::resize_file("cut.enc", 24 + 4113 + 500);
    EXPECT_EQ(errorOf("cut.enc", 1 << 20), "Decryption failed for: cut.enc");

    // Fewer than 17 bytes of the last chunk: more plaintext than the size allows.
    writeEncFile("cut2.enc", pattern(5000));
    fs::resize_file("cut2.enc", 24 + 4113 + 10);
    EXPECT_EQ(errorOf("cut2.enc", 1 << 20), "Decrypted data exceeds its validated size: cut2.enc");
}

TEST(EncryptedFile, WrongKeyOrAlteredBytes)
{
    ScopedTestFolders folders("enckey");
    EncWriteOptions wrong;
    wrong.useWrongKey = true;
    writeEncFile("wrong.enc", pattern(100), wrong);
    EXPECT_EQ(errorOf("wrong.enc", 1 << 20), "Decryption failed for: wrong.enc");

    const std::string text = pattern(9000);
    writeEncFile("altered.enc", text);
    {
        // Flip the byte's bits: writing a fixed value leaves the file unchanged
        // whenever the ciphertext already holds it.
        std::string bytes = readBytes("altered.enc");
        bytes[24 + 4113 + 40] ^= 0x01;
        writeBytes("altered.enc", bytes);
    }
    EXPECT_EQ(errorOf("altered.enc", 1 << 20), "Decryption failed for: altered.enc");

    // Two chunks swapped.
    writeEncFile("swapped.enc", text);
    const std::string bytes = readBytes("swapped.enc");
    std::string swapped = bytes.substr(0, 24) + bytes.substr(24 + 4113, 4113) + bytes.substr(24, 4113) +
                          bytes.substr(24 + 2 * 4113);
    writeBytes("swapped.enc", swapped);
    EXPECT_EQ(errorOf("swapped.enc", 1 << 20), "Decryption failed for: swapped.enc");
}

TEST(EncryptedFile, NonAsciiPathAndInPlaceXml)
{
    ScopedTestFolders folders("encw");
    const fs::path dir = fs::path(L"d\u00E4ten \u2708");
    fs::create_directories(dir / g_inputFolder);
    const fs::path path = dir / g_airportsEncPath;
    writeEncFile(path, "<?xml version=\"1.0\"?><root><airport icao=\"EHAM\"/></root>");
    DecryptResult r = gf_decryptFile(path, g_airportsDbPlainLimit);
    ASSERT_TRUE(r.ok) << r.error();
    pugi::xml_document doc;
    SecureBuffer& b = r.buffer();
    ASSERT_TRUE(doc.load_buffer_inplace(b.data, static_cast<std::size_t>(b.used)));
    EXPECT_STREQ(doc.child("root").child("airport").attribute("icao").value(), "EHAM");

    fs::resize_file(path, 30);
    EXPECT_EQ(errorOf(path, 100), "Encrypted file is too small: d\xC3\xA4ten \xE2\x9C\x88\\input\\airports.enc");
}

TEST(EncryptedFile, SecureBufferOwnership)
{
    SecureBuffer a;
    a.allocate(16);
    ASSERT_NE(a.data, nullptr);
    EXPECT_EQ(a.capacity, 16u);
    EXPECT_EQ(a.allocated, 16u);
    a.data[0] = 42;
    a.used = 1;

    SecureBuffer b(std::move(a));
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.used + a.capacity + a.allocated, 0u);
    EXPECT_EQ(b.data[0], 42);
    EXPECT_EQ(b.used, 1u);

    SecureBuffer c;
    c.allocate(0);
    EXPECT_EQ(c.allocated, 1u);
    c = std::move(b);
    EXPECT_EQ(c.capacity, 16u);
    EXPECT_EQ(c.data[0], 42);
    c.release();
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.used + c.capacity + c.allocated, 0u);
}

TEST(EncryptedFile, CallerLimits)
{
    EXPECT_EQ(g_wktrafficPlainLimit, 1048576u);
    EXPECT_EQ(g_archivesPlainLimit, 4194304u);
    EXPECT_EQ(g_aigRegcodesPlainLimit, 8388608u);
    EXPECT_EQ(g_airportsDbPlainLimit, 8388608u);
    EXPECT_EQ(g_dbasePlainLimit, 16777216u);
    EXPECT_EQ(g_airportFilePlainLimit, 67108864u);
}
