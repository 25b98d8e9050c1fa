#include "core/encrypted_file.h"

#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

#include "core/data_key.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES; // 24
constexpr std::uint64_t kOverheadBytes = crypto_secretstream_xchacha20poly1305_ABYTES;    // 17
constexpr std::uint64_t kPlainChunkBytes = 4096;
constexpr std::uint64_t kCipherChunkBytes = kPlainChunkBytes + kOverheadBytes;            // 4113
constexpr std::uint64_t kSmallestFile = kHeaderBytes + kOverheadBytes;                    // 41

static_assert(kHeaderBytes == 24 && kOverheadBytes == 17);

// Wipes a block of memory when it leaves scope, however it is left.
class WipeOnExit {
public:
    WipeOnExit(void* data, std::size_t size) : m_data(data), m_size(size) {}
    ~WipeOnExit() { sodium_memzero(m_data, m_size); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    void* m_data;
    std::size_t m_size;
};

} // namespace

SecureBuffer::~SecureBuffer()
{
    release();
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data(other.data), used(other.used), capacity(other.capacity), allocated(other.allocated)
{
    other.data = nullptr;
    other.used = other.capacity = other.allocated = 0;
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data = other.data;
        used = other.used;
        capacity = other.capacity;
        allocated = other.allocated;
        other.data = nullptr;
        other.used = other.capacity = other.allocated = 0;
    }
    return *this;
}

void SecureBuffer::allocate(std::uint64_t size)
{
    release();
    if (sodium_init() < 0)
        throw std::bad_alloc();
    const std::uint64_t bytes = size > 0 ? size : 1;
    void* block = sodium_malloc(static_cast<std::size_t>(bytes));
    if (block == nullptr)
        throw std::bad_alloc();
    data = static_cast<unsigned char*>(block);
    used = 0;
    capacity = size;
    allocated = bytes;
}

void SecureBuffer::release() noexcept
{
    if (data != nullptr) {
        sodium_memzero(data, static_cast<std::size_t>(allocated));
        sodium_free(data);
    }
    data = nullptr;
    used = capacity = allocated = 0;
}

void lf_readSecretStream(const DataKey& key, SecureBuffer& out, const fs::path& path, std::uint64_t limit)
{
    const std::string where = gf_pathText(path);

    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    if (ec)
        throw std::runtime_error(
            fmt::format("Could not determine encrypted file size for {}: {}", where, ec.message()));
    if (size < kSmallestFile)
        throw std::runtime_error(fmt::format("Encrypted file is too small: {}", where));

    const std::uint64_t body = size - kHeaderBytes;
    const std::uint64_t overhead = kOverheadBytes * ((body + kCipherChunkBytes - 1) / kCipherChunkBytes);
    if (body < overhead)
        throw std::runtime_error(fmt::format("Encrypted file has invalid chunk sizes: {}", where));
    const std::uint64_t plaintext = body - overhead;
    if (plaintext > limit)
        throw std::runtime_error(
            fmt::format("Encrypted file exceeds the plaintext size limit of {} bytes: {}", limit, where));

    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        throw std::runtime_error(fmt::format("Could not open input file: {}", where));

    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (static_cast<std::uint64_t>(in.gcount()) < kHeaderBytes)
        throw std::runtime_error(fmt::format("Encrypted file has an incomplete header: {}", where));

    if (sodium_init() < 0)
        throw std::runtime_error(fmt::format("Invalid encryption header or key: {}", where));
    crypto_secretstream_xchacha20poly1305_state state;
    WipeOnExit wipeState(&state, sizeof state);
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header, key.data()) != 0)
        throw std::runtime_error(fmt::format("Invalid encryption header or key: {}", where));

    try {
        out.allocate(plaintext);
        std::vector<unsigned char> chunk(kCipherChunkBytes);
        for (;;) {
            in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
            const std::uint64_t n = static_cast<std::uint64_t>(in.gcount());
            if (in.bad())
                throw std::runtime_error(fmt::format("Error while reading encrypted file: {}", where));
            if (n == 0)
                throw std::runtime_error(fmt::format("Encrypted file ended without a final block: {}", where));
            if (n < kOverheadBytes)
                throw std::runtime_error(fmt::format("Encrypted file contains an incomplete block: {}", where));
            if (out.used + (n - kOverheadBytes) > out.capacity)
                throw std::runtime_error(fmt::format("Decrypted data exceeds its validated size: {}", where));

            unsigned long long written = 0;
            unsigned char tag = 0;
            if (crypto_secretstream_xchacha20poly1305_pull(&state, out.data + out.used, &written, &tag,
                                                           chunk.data(), n, nullptr, 0) != 0)
                throw std::runtime_error(fmt::format("Decryption failed for: {}", where));
            out.used += written;
            if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL)
                break;
        }

        // A short last read leaves eof set; peek needs a clear state to tell
        // "more data" from "end of file".
        if (in.bad())
            throw std::runtime_error(fmt::format("Error while checking the end of encrypted file: {}", where));
        in.clear();
        const auto next = in.peek();
        if (in.bad())
            throw std::runtime_error(fmt::format("Error while checking the end of encrypted file: {}", where));
        if (next != std::ifstream::traits_type::eof())
            throw std::runtime_error(fmt::format("Encrypted file contains data after the final block: {}", where));
    } catch (...) {
        out.release(); // no plaintext survives a failed read
        throw;
    }
    in.close();
}

DecryptResult gf_decryptFile(const fs::path& path, std::uint64_t limit)
{
    DecryptResult result;
    try {
        DataKey key{};
        WipeOnExit wipeKey(key.data(), key.size());
        for (std::size_t i = 0; i < key.size(); ++i)
            key[i] = static_cast<unsigned char>(kvr::g_dataKeyPartA[i] ^ kvr::g_dataKeyPartB[i]);

        SecureBuffer buffer;
        lf_readSecretStream(key, buffer, path, limit);
        result.value = std::move(buffer);
        result.ok = true;
    } catch (const std::exception& e) {
        result.value = std::string(e.what());
        result.ok = false;
    }
    return result;
}
