// Version information of program and library files, read the Windows way:
// ask for the block's size, read the block, then query values by key.
//
// Keys are paths such as "\\StringFileInfo\\040904E4\\FileVersion"; a run of
// backslashes counts as one separator and names compare without case. A bare
// library name ("QUORMGMT.DLL") is found the way a library to load would be.
// The build embeds the block (cmake/VersionBlock.cmake): on Linux an ELF
// section ".quor_version" of "QVB1" NUL key NUL value NUL ... pairs; on
// Windows a VERSIONINFO resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// windows.h defines these as macros; ours are plain functions.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue

namespace platform {

// Size of the file's version block; 0 when it has none or cannot be read.
std::uint32_t GetFileVersionInfoSize(const std::string& fileName);

// Copies the block into data (size bytes, as answered above). False when the
// file, the block or the room is missing.
bool GetFileVersionInfo(const std::string& fileName, std::uint32_t size, void* data);

// A string value of a block read above; nullopt when the key has no value.
std::optional<std::string> VerQueryValue(const void* block, const std::string& key);

}  // namespace platform
