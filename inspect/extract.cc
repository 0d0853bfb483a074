#include "extract.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "payload.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t CHUNK_SIZE = 64 * 1024;
static_assert(CHUNK_SIZE % KEY_STREAM_PERIOD == 0, "chunks must keep the key stream in step");

int write_chunks(std::ofstream* const stream, const std::uint8_t* const payload,
                 const std::size_t length, const std::uint32_t key) {
  std::vector<std::uint8_t> chunk(std::min(length, CHUNK_SIZE));
  for (std::size_t done = 0; done < length;) {
    const std::size_t count = std::min(length - done, CHUNK_SIZE);
    std::copy(payload + done, payload + done + count, chunk.begin());
    crypt_payload(chunk.data(), count, key);
    stream->write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(count));
    done += count;
  }
  stream->close();
  return stream->fail() ? -1 : 0;
}

}  // namespace

bool is_plain_file_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string::npos;
}

std::string take_file_name(const std::string& name, FileNames* const names) {
  const std::string key = folded_name(name);
  std::size_t& suffix = names->next_suffixes[key];
  // Counting on from the last suffix given keeps a thousand nodes of one name from retrying the
  // names before them.
  std::string candidate = suffix == 0 ? name : name + "." + std::to_string(suffix);
  while (!names->taken.insert(folded_name(candidate)).second) {
    candidate = name + "." + std::to_string(++suffix);
  }
  ++suffix;
  return candidate;
}

int prepare_directory(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  return fs::is_directory(directory, error) ? 0 : -1;
}

int write_payload_file(const fs::path& file, const std::uint8_t* const payload,
                       const std::size_t length, const std::uint32_t key) {
  std::error_code error;
  const fs::file_status existing = fs::symlink_status(file, error);
  if (fs::is_directory(existing)) return -1;
  if (fs::exists(existing) && !fs::remove(file, error)) return -1;
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  if (!stream || write_chunks(&stream, payload, length, key) != 0) {
    fs::remove(file, error);
    return -1;
  }
  return 0;
}
