#pragma once

// Reading whole files. Photographs are only ever opened for reading.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tamblure {

// Every byte of the file. Raises EFOpenError ("Impossible d'ouvrir le fichier
// %s") when it cannot be opened or read, and EOutOfMemory when it is larger
// than maxBytes.
std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path,
                                        std::uint64_t maxBytes = std::uint64_t{1} << 30);

// The same without raising: false when the file cannot be opened or read, or
// is larger than maxBytes.
bool tryReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out,
                      std::uint64_t maxBytes = std::uint64_t{1} << 30);

} // namespace tamblure
