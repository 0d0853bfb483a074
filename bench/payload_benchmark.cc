// Throughput of the payload checksum and cipher beside memcpy of the same buffer, the reference
// for what the memory can do.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "payload.h"

namespace {

std::vector<std::uint8_t> make_payload(const std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

void BM_payload_checksum(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = make_payload(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(payload_checksum(bytes.data(), bytes.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_crypt_payload(benchmark::State& state) {
  std::vector<std::uint8_t> bytes = make_payload(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    crypt_payload(bytes.data(), bytes.size(), 0x3FE83632);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_memcpy(benchmark::State& state) {
  const std::vector<std::uint8_t> source = make_payload(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The largest firmware image, and a large asset.
constexpr std::int64_t FIRMWARE = 126976;
constexpr std::int64_t LARGE = 16 << 20;

BENCHMARK(BM_payload_checksum)->Arg(FIRMWARE)->Arg(LARGE);
BENCHMARK(BM_crypt_payload)->Arg(FIRMWARE)->Arg(LARGE);
BENCHMARK(BM_memcpy)->Arg(FIRMWARE)->Arg(LARGE);

}  // namespace

BENCHMARK_MAIN();
