// Reader of the encrypted data sets (".enc"): libsodium secret stream
// XChaCha20-Poly1305, decrypted into secure memory that is wiped when freed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include <sodium.h>

// Plaintext size limits of the callers, in bytes.
inline constexpr std::uint64_t g_wktrafficPlainLimit = 1048576;     // wktraffic.enc
inline constexpr std::uint64_t g_archivesPlainLimit = 4194304;      // archives.enc
inline constexpr std::uint64_t g_aigRegcodesPlainLimit = 8388608;   // AIG-regcodes.enc
inline constexpr std::uint64_t g_airportsDbPlainLimit = 8388608;    // airports.enc
inline constexpr std::uint64_t g_dbasePlainLimit = 16777216;        // dbase.enc
inline constexpr std::uint64_t g_airportFilePlainLimit = 67108864;  // airport files "{}{}.enc"

// The largest encrypted file whose plaintext can stay within plainLimit: the
// stream header plus one authentication tag per 4 KiB chunk (and one for a
// final empty chunk).
constexpr std::uint64_t gf_encryptedSizeLimit(std::uint64_t plainLimit)
{
    return crypto_secretstream_xchacha20poly1305_HEADERBYTES + plainLimit +
           crypto_secretstream_xchacha20poly1305_ABYTES * (plainLimit / 4096 + 2);
}

// One block of libsodium secure memory; wiped and freed on destruction. Move-only.
struct SecureBuffer {
    unsigned char* data = nullptr; // from sodium_malloc; null when empty
    std::uint64_t used = 0;        // plaintext bytes written so far
    std::uint64_t capacity = 0;    // validated plaintext size
    std::uint64_t allocated = 0;   // capacity, or 1 when capacity is 0

    SecureBuffer() = default;
    ~SecureBuffer();
    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;

    // Allocates max(size, 1) bytes (throws std::bad_alloc); used = 0.
    void allocate(std::uint64_t size);
    // Wipes and frees the block; all fields become 0.
    void release() noexcept;
};

// Either the decrypted buffer (ok) or the error text of a failed decryption.
struct DecryptResult {
    std::variant<SecureBuffer, std::string> value;
    bool ok = false;

    SecureBuffer& buffer() { return std::get<SecureBuffer>(value); }
    const SecureBuffer& buffer() const { return std::get<SecureBuffer>(value); }
    const std::string& error() const { return std::get<std::string>(value); }
};

// Decrypts `path` with the data-set key; plaintext larger than `limit` bytes is
// refused. Never throws for a bad file: the error text is in the result.
DecryptResult gf_decryptFile(const std::filesystem::path& path, std::uint64_t limit);

using DataKey = std::array<unsigned char, crypto_secretstream_xchacha20poly1305_KEYBYTES>;

// The reader behind gf_decryptFile: fills `out` or throws std::runtime_error.
void lf_readSecretStream(const DataKey& key, SecureBuffer& out, const std::filesystem::path& path,
                         std::uint64_t limit);
