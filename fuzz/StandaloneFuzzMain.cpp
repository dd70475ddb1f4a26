// Driver for fuzz targets where libFuzzer is not available (GCC builds):
// with file arguments it replays each file once; without, it feeds a fixed
// number of pseudo-random inputs, built from bytes that matter to the engine
// (operators, escapes, lead and trail bytes, CR, LF), from a fixed seed so
// that a failure reproduces.
// Usage: RegExp_fuzz_seeded [--runs=N] [--seed=S] [file...]
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  long runs = 20000;
  unsigned long seed = 1;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) {
      runs = std::strtol(argv[i] + 7, nullptr, 10);
    } else if (std::strncmp(argv[i], "--seed=", 7) == 0) {
      seed = std::strtoul(argv[i] + 7, nullptr, 10);
    } else {
      files.emplace_back(argv[i]);
    }
  }
  if (!files.empty()) {
    for (const auto& name : files) {
      std::ifstream in(name, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", name.c_str());
        return 1;
      }
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
  }

  static const char pieces[][4] = {"a", "b", "<", ">", "(", ")", "|", "*", "+", "?", "[", "]", "^", "$",
                                   ".", "-", "\\", "&", "x", "4", "1", "0", "\r", "\n", "\x83\x5C", "\x81\x40",
                                   "\x88\x9F", "\x9F", "\x82\xA0", "@", "n", "7"};
  const std::size_t pieceCount = sizeof pieces / sizeof pieces[0];
  std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  auto part = [&](std::size_t maxPieces) {
    std::string s;
    for (std::size_t n = pick(maxPieces + 1); n > 0; --n) s += pieces[pick(pieceCount)];
    return s;
  };
  for (long r = 0; r < runs; ++r) {
    std::string input(1, static_cast<char>(pick(2)));
    input += part(8);
    input.push_back('\0');
    input += part(3);
    input.push_back('\0');
    input += part(24);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  std::printf("ran %ld inputs, seed %lu\n", runs, seed);
  return 0;
}
