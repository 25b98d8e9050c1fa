// The tblo bundle: generated airport files of weekly traffic airports that the
// archive does not cover yet, packed as tblo/tblo.zip for the user to send to
// the maker, with the maker's address in "email address.txt" beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

class ZipArchive;

// The maker's address for airport files to be learned offline, fixed at build
// time (KELO_TBLO_ADDRESS; a placeholder unless the build names one).
extern const std::string_view g_tbloContactAddress;

enum class TbloOutcome {
    Nothing,  // no file to learn: tblo is not needed
    Bundle,   // tblo.zip and "email address.txt" wait to be sent
    ZipFailed // the copies stay in tblo; nothing is offered for sending
};

void lf_copySimaddonToTblo();
void lf_copyThirdpartyToTblo();
TbloOutcome lf_finishTblo();
bool lf_zipFolder(const std::filesystem::path& target);
bool lf_closeZip(ZipArchive& archive, const std::filesystem::path& target, size_t added);
std::optional<std::vector<char>> lf_readFileBytes(const std::filesystem::path& path);
