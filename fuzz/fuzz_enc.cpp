// The encrypted data sets (input/*.enc).
#include <cstddef>
#include <cstdint>

#include "core/encrypted_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::filesystem::path path = kelo_fuzz::writeInput("input/data.enc", data, size);
    gf_decryptFile(path, 1 << 20);
    return 0;
}
