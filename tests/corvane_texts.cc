#include "corvane_texts.h"

#include <cstdio>

#include "scratch.h"

std::string closing(const std::size_t package_size) {
  return "Package size: " + std::to_string(package_size) + "\r\nDone.\r\n";
}

std::string processing(const std::string& path, const std::size_t size) {
  return "Processing " + path + " (" + std::to_string(size) + "B) ...\r\n";
}

std::string packed_lines(const std::string& path, const std::string& name, const std::size_t size) {
  return processing(path, size) + "Packing as " + name +
         " ...\r\nReading ... Checking ... Writting ...\r\n";
}

std::string firmware_lines(const std::string& path, const std::size_t size,
                           const std::uint32_t key) {
  char key_line[64];
  std::snprintf(key_line, sizeof key_line, "\r\nSession key: 0x%08x, Encrypting ...\r\n", key);
  return processing(path, size) + "Firmware size: " + std::to_string(size) +
         "B (Remains: " + std::to_string(126976 - size) + "B)\r\nReading ... " +
         (key != 0 ? key_line : "") + "Checking ... Writting ...\r\n";
}

std::string output_file_refused(const std::string& path) {
  return "Can NOT pack " + path + ": it is the output file !\r\n";
}

std::string cannot_write() {
  return "Can NOT write output file package.img !\r\n";
}

void put_file(const std::filesystem::path& root, const std::string& relative,
              const std::string& bytes) {
  std::filesystem::create_directories((root / relative).parent_path());
  write_file(root / relative, bytes);
}
