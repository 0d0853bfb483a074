// What corvane prints, as its end-to-end tests expect it: the texts are written with their own
// line ends ("\r\n" mostly), before any translation by the console (see console.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Exit statuses as the platform reports them: POSIX keeps the low 8 bits (-1, -3 and -5 read 255,
// 253 and 251), Windows the whole 32-bit status.
#ifdef _WIN32
constexpr int EXIT_USAGE = -1;
constexpr int EXIT_BAD_SOURCE_DATE_EPOCH = -3;
constexpr int EXIT_PACKAGE_FAILED = -5;
#else
constexpr int EXIT_USAGE = 255;
constexpr int EXIT_BAD_SOURCE_DATE_EPOCH = 253;
constexpr int EXIT_PACKAGE_FAILED = 251;
#endif

// Inline, so that tables of cases in other files may use them while they are initialised.
inline const std::string BANNER = "corvane 2.2\r\nNode Descriptor Version: 52\r\n";
inline const std::string USAGE =
    "\r\nusage: corvane [file or dir] [file or dir] ... \r\n\n"
    "       Program autodetects directories and dives into them (1 level only)\r\n"
    "       Binary application image should have .bin extension in order to be\r\n"
    "       properly detected, encrypted and packaged for bootloader.\r\n"
    "       Application image will be automatically deleted by bootloader\r\n"
    "       after installation and storage place could be reused by application.\r\n\n";
// The banner and the creation of package.img.
inline const std::string CREATED = BANNER + "Creating output file package.img ...\r\n";

std::string closing(std::size_t package_size);
std::string processing(const std::string& path, std::size_t size);
// The lines of an ordinary file packed under name.
std::string packed_lines(const std::string& path, const std::string& name, std::size_t size);
// The lines of a firmware image encrypted under key (no key line for key 0).
std::string firmware_lines(const std::string& path, std::size_t size, std::uint32_t key);
std::string output_file_refused(const std::string& path);
std::string cannot_write();

// Writes bytes to root/relative, making the directories on the way.
void put_file(const std::filesystem::path& root, const std::string& relative,
              const std::string& bytes);
