// Driver for fuzz targets where libFuzzer is not available (GCC builds, and
// the sanitizer preset's test run). Three ways to run:
//   file arguments         each file is replayed once;
//   --corpus=DIR           every seed in DIR is run once as it is, then
//                          --runs mutants of the seeds: bit flips, bytes
//                          that matter to the parsers, tokens of --dict (in
//                          libFuzzer's dictionary format), cut, copied and
//                          repeated ranges, and splices of two seeds;
//   neither                --runs inputs built from the regex engine's
//                          pieces (the regex target's own generator).
// Everything is drawn from --seed, so a failure reproduces; the driver says
// which run it was in before each input when --trace is given, and
// --emit=N writes the bytes of run N to standard output instead of running.
// Usage: X_fuzz_seeded [--runs=N] [--seed=S] [--max-len=B] [--corpus=DIR]
//                      [--dict=FILE] [--trace] [--emit=N] [file...]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

bool ReadFile(const std::string& name, std::string& bytes) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One libFuzzer dictionary line (name="value" with \\, \" and \xHH); false
// for comments, blank lines and lines of another form.
bool ParseDictLine(const std::string& line, std::string& token) {
  const std::size_t open = line.find('"');
  const std::size_t close = line.rfind('"');
  if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open) return false;
  token.clear();
  for (std::size_t i = open + 1; i < close; ++i) {
    if (line[i] != '\\' || i + 1 >= close) {
      token += line[i];
    } else if (line[i + 1] == 'x' && i + 3 < close && HexValue(line[i + 2]) >= 0 &&
               HexValue(line[i + 3]) >= 0) {
      token += static_cast<char>(HexValue(line[i + 2]) * 16 + HexValue(line[i + 3]));
      i += 3;
    } else {
      token += line[++i];
    }
  }
  return !token.empty();
}

class Mutator {
 public:
  Mutator(unsigned long seed, std::vector<std::string> seeds, std::vector<std::string> dict,
          std::size_t maxLen)
      : rng_(static_cast<std::mt19937::result_type>(seed)),
        seeds_(std::move(seeds)),
        dict_(std::move(dict)),
        maxLen_(maxLen) {}

  std::string Next() {
    std::string s = seeds_.empty() ? std::string() : seeds_[Pick(seeds_.size())];
    for (std::size_t n = 1 + Pick(6); n > 0; --n) Mutate(s);
    if (s.size() > maxLen_) s.resize(maxLen_);
    return s;
  }

 private:
  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  std::size_t Position(const std::string& s) { return Pick(s.size() + 1); }

  std::string Token() {
    // Bytes that delimit, escape or start a double-byte character somewhere.
    static const char bytes[] = "\0\x01\t\r\n \"%',./:;=[]\\\x7F\x80\x81\x9F\xA0\xE0\xEF\xFC\xFF" "09Aaz";
    if (!dict_.empty() && Pick(3) != 0) return dict_[Pick(dict_.size())];
    return std::string(1, bytes[Pick(sizeof bytes - 1)]);
  }

  void Mutate(std::string& s) {
    switch (Pick(8)) {
      case 0:
        if (!s.empty()) s[Pick(s.size())] ^= static_cast<char>(1u << Pick(8));
        break;
      case 1:
        if (!s.empty()) s[Pick(s.size())] = Token()[0];
        break;
      case 2:
      case 3:
        s.insert(Position(s), Token());
        break;
      case 4:
        if (!s.empty()) {
          const std::size_t at = Pick(s.size());
          s.erase(at, 1 + Pick(std::min<std::size_t>(32, s.size() - at)));
        }
        break;
      case 5:
        if (!s.empty()) {
          const std::size_t at = Pick(s.size());
          const std::string piece = s.substr(at, 1 + Pick(std::min<std::size_t>(64, s.size() - at)));
          s.insert(Position(s), piece);
        }
        break;
      case 6: {
        // Runs of one token: what makes work grow faster than the input.
        const std::string token = Token();
        std::string run;
        for (std::size_t n = 2 + Pick(200); n > 0 && run.size() < maxLen_; --n) run += token;
        s.insert(Position(s), run);
        break;
      }
      case 7:
        if (!seeds_.empty()) {
          const std::string& other = seeds_[Pick(seeds_.size())];
          s = s.substr(0, Position(s)) + other.substr(Pick(other.size() + 1));
        }
        break;
    }
  }

  std::mt19937 rng_;
  std::vector<std::string> seeds_;
  std::vector<std::string> dict_;
  std::size_t maxLen_;
};

// The regex target's inputs: flag byte, pattern, NUL, replacement, NUL, text.
std::string RegexInput(std::mt19937& rng) {
  static const char pieces[][4] = {"a", "b", "<", ">", "(", ")", "|", "*", "+", "?", "[", "]", "^", "$",
                                   ".", "-", "\\", "&", "x", "4", "1", "0", "\r", "\n", "\x83\x5C", "\x81\x40",
                                   "\x88\x9F", "\x9F", "\x82\xA0", "@", "n", "7"};
  const std::size_t pieceCount = sizeof pieces / sizeof pieces[0];
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  auto part = [&](std::size_t maxPieces) {
    std::string s;
    for (std::size_t n = pick(maxPieces + 1); n > 0; --n) s += pieces[pick(pieceCount)];
    return s;
  };
  std::string input(1, static_cast<char>(pick(2)));
  input += part(8);
  input.push_back('\0');
  input += part(3);
  input.push_back('\0');
  input += part(24);
  return input;
}

// The run whose input --emit asks for; none when negative.
long emit = -1;

// `index`: the run, or -1 for a seed as it is.
int Run(const std::string& input, long index, bool trace) {
  if (emit >= 0) {
    if (index == emit) {
      std::fwrite(input.data(), 1, input.size(), stdout);
      std::exit(0);
    }
    return 0;
  }
  if (trace) std::fprintf(stderr, "input %ld (%zu bytes)\n", index, input.size());
  return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  long runs = 20000;
  unsigned long seed = 1;
  std::size_t maxLen = 4096;
  bool trace = false;
  std::string corpus;
  std::string dictFile;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--runs=", 7) == 0) {
      runs = std::strtol(argv[i] + 7, nullptr, 10);
    } else if (std::strncmp(argv[i], "--seed=", 7) == 0) {
      seed = std::strtoul(argv[i] + 7, nullptr, 10);
    } else if (std::strncmp(argv[i], "--max-len=", 10) == 0) {
      maxLen = std::strtoul(argv[i] + 10, nullptr, 10);
    } else if (std::strncmp(argv[i], "--corpus=", 9) == 0) {
      corpus = argv[i] + 9;
    } else if (std::strncmp(argv[i], "--dict=", 7) == 0) {
      dictFile = argv[i] + 7;
    } else if (std::strncmp(argv[i], "--emit=", 7) == 0) {
      emit = std::strtol(argv[i] + 7, nullptr, 10);
    } else if (std::strcmp(argv[i], "--trace") == 0) {
      trace = true;
    } else {
      files.emplace_back(argv[i]);
    }
  }

  std::string bytes;
  if (!files.empty()) {
    for (const auto& name : files) {
      if (!ReadFile(name, bytes)) {
        std::fprintf(stderr, "cannot read %s\n", name.c_str());
        return 1;
      }
      Run(bytes, 0, trace);
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
  }

  const auto start = std::chrono::steady_clock::now();
  long done = 0;
  if (corpus.empty()) {
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    for (; done < runs; ++done) Run(RegexInput(rng), done, trace);
  } else {
    // Seeds in name order, so the mutants do not depend on the directory's.
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, error)) {
      if (entry.is_regular_file()) names.push_back(entry.path().string());
    }
    if (error || names.empty()) {
      std::fprintf(stderr, "no seeds in %s\n", corpus.c_str());
      return 1;
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> seeds;
    for (const auto& name : names) {
      if (!ReadFile(name, bytes)) {
        std::fprintf(stderr, "cannot read %s\n", name.c_str());
        return 1;
      }
      seeds.push_back(bytes);
    }
    std::vector<std::string> dict;
    if (!dictFile.empty()) {
      std::ifstream in(dictFile);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", dictFile.c_str());
        return 1;
      }
      std::string line, token;
      while (std::getline(in, line)) {
        if (ParseDictLine(line, token)) dict.push_back(token);
      }
    }
    for (const auto& s : seeds) Run(s, -1, trace);
    Mutator mutator(seed, seeds, std::move(dict), maxLen);
    for (; done < runs; ++done) Run(mutator.Next(), done, trace);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("ran %ld inputs, seed %lu, %.1f s (%.0f inputs/s)\n", done, seed, seconds,
              seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
  return 0;
}
