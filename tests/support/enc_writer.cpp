#include "tests/support/enc_writer.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <sodium.h>

#include "core/data_key.h"

namespace kvr::test {

EncKey dataSetKey()
{
    EncKey key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<unsigned char>(kvr::g_dataKeyPartA[i] ^ kvr::g_dataKeyPartB[i]);
    return key;
}

EncKey wrongKey()
{
    EncKey key = dataSetKey();
    key[0] ^= 0x5A;
    key[31] ^= 0xA5;
    return key;
}

std::uint64_t encFileSize(std::uint64_t plainSize)
{
    const std::uint64_t chunks = plainSize == 0 ? 1 : (plainSize + 4095) / 4096;
    return 24 + plainSize + 17 * chunks;
}

std::uint64_t writeEncFileWithKey(const std::filesystem::path& path, std::string_view plaintext,
                                  const EncKey& key, const EncWriteOptions& options)
{
    if (sodium_init() < 0)
        throw std::runtime_error("sodium_init failed");
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.data());

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot create the .enc file");
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::uint64_t written = sizeof header;

    std::vector<unsigned char> chunk(4096 + crypto_secretstream_xchacha20poly1305_ABYTES);
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(4096, plaintext.size() - pos);
        const bool last = pos + n >= plaintext.size();
        if (last && options.omitFinalChunk)
            break;
        unsigned long long clen = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, chunk.data(), &clen, reinterpret_cast<const unsigned char*>(plaintext.data() + pos), n,
            nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(clen));
        written += clen;
        pos += n;
    } while (pos < plaintext.size());

    for (std::size_t i = 0; i < options.extraBytes; ++i)
        out.put('\x5A');
    written += options.extraBytes;
    out.close();
    sodium_memzero(&state, sizeof state);
    if (!out)
        throw std::runtime_error("cannot write the .enc file");
    return written;
}

std::uint64_t writeEncFile(const std::filesystem::path& path, std::string_view plaintext,
                           const EncWriteOptions& options)
{
    EncKey key = options.useWrongKey ? wrongKey() : dataSetKey();
    const std::uint64_t size = writeEncFileWithKey(path, plaintext, key, options);
    sodium_memzero(key.data(), key.size());
    return size;
}

} // namespace kvr::test
