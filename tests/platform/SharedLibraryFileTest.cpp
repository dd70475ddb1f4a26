// The check in front of the dynamic loader: the built sample plugin passes;
// cut copies, files that are no ELF file, and libraries for another class,
// byte order or machine are refused with a reason and never reach dlopen.
#include "platform/SharedLibraryFile.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "support/TestPaths.h"

namespace hollowmere {
namespace {

using testing::DistDir;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::string SamplePlugin() { return ReadFileBytes(DistDir() + "/plugins/spp-sample.so"); }

ElfW(Ehdr) Header(const std::string& bytes) {
  ElfW(Ehdr) h{};
  std::memcpy(&h, bytes.data(), sizeof h);
  return h;
}

std::string WithHeader(std::string bytes, const std::function<void(ElfW(Ehdr)&)>& change) {
  ElfW(Ehdr) h = Header(bytes);
  change(h);
  std::memcpy(bytes.data(), &h, sizeof h);
  return bytes;
}

ElfW(Phdr) Segment(const std::string& bytes, std::size_t i) {
  ElfW(Phdr) p{};
  std::memcpy(&p, bytes.data() + Header(bytes).e_phoff + i * sizeof p, sizeof p);
  return p;
}

// Where the last loadable segment ends in the file.
uint64_t LoadEnd(const std::string& bytes) {
  uint64_t end = 0;
  for (std::size_t i = 0; i < Header(bytes).e_phnum; ++i) {
    const ElfW(Phdr) p = Segment(bytes, i);
    if (p.p_type == PT_LOAD) end = std::max<uint64_t>(end, p.p_offset + p.p_filesz);
  }
  return end;
}

class SharedLibraryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample = SamplePlugin();
    ASSERT_GT(sample.size(), 4000u) << "build the sample plugin first";
  }
  // The problem the check finds in these bytes, written to a file.
  std::optional<std::string> Problem(const std::string& bytes) {
    const std::string path = dir.file("candidate.so");
    WriteFileBytes(path, bytes);
    return SharedLibraryProblem(path);
  }
  std::string sample;
  TempDir dir;
};

TEST_F(SharedLibraryFileTest, TheBuiltPluginPasses) {
  EXPECT_EQ(Problem(sample), std::nullopt);
  // Whatever follows the last segment (section headers) is not the loader's.
  ASSERT_LT(LoadEnd(sample), sample.size());
  EXPECT_EQ(Problem(sample.substr(0, LoadEnd(sample))), std::nullopt);
}

TEST_F(SharedLibraryFileTest, CutCopiesAreRefused) {
  const ElfW(Ehdr) h = Header(sample);
  const uint64_t tableEnd = h.e_phoff + uint64_t{h.e_phnum} * sizeof(ElfW(Phdr));
  const std::pair<uint64_t, const char*> cuts[] = {
      {0, "too short for an ELF header"},
      {3, "too short for an ELF header"},
      {sizeof(ElfW(Ehdr)) - 1, "too short for an ELF header"},
      {sizeof(ElfW(Ehdr)), "program header table past the end"},
      {tableEnd - 1, "program header table past the end"},
      {4000, "past the end of the file (4000 bytes)"},  // head -c 4000
      {LoadEnd(sample) - 1, "past the end of the file"},
  };
  for (const auto& [length, reason] : cuts) {
    const std::optional<std::string> problem = Problem(sample.substr(0, length));
    ASSERT_TRUE(problem.has_value()) << length;
    EXPECT_NE(problem->find(reason), std::string::npos) << length << ": " << *problem;
  }
}

TEST_F(SharedLibraryFileTest, FilesThatAreNoLibraryForThisMachineAreRefused) {
  const std::pair<std::string, const char*> files[] = {
      {"", "too short"},
      {"#!/bin/sh\necho hello\n" + std::string(100, '#'), "not an ELF file"},
      {WithHeader(sample, [](auto& e) { e.e_ident[EI_CLASS] = e.e_ident[EI_CLASS] == ELFCLASS64 ? ELFCLASS32 : ELFCLASS64; }),
       "ELF class"},
      {WithHeader(sample, [](auto& e) { e.e_ident[EI_DATA] = e.e_ident[EI_DATA] == ELFDATA2LSB ? ELFDATA2MSB : ELFDATA2LSB; }),
       "byte order"},
      {WithHeader(sample, [](auto& e) { e.e_machine = e.e_machine == EM_X86_64 ? EM_AARCH64 : EM_X86_64; }),
       "built for machine"},
      {WithHeader(sample, [](auto& e) { e.e_type = ET_EXEC; }), "not a shared library"},
      {WithHeader(sample, [](auto& e) { e.e_version = 9; }), "unknown ELF version"},
      {WithHeader(sample, [](auto& e) { e.e_phentsize = 12; }), "no usable program header table"},
      {WithHeader(sample, [](auto& e) { e.e_phnum = 0; }), "no usable program header table"},
      {WithHeader(sample, [](auto& e) { e.e_phnum = 60000; }), "program header table past the end"},
      {WithHeader(sample, [](auto& e) { e.e_phoff = ~decltype(e.e_phoff){0} - 8; }), "program header table past the end"},
  };
  for (const auto& [bytes, reason] : files) {
    const std::optional<std::string> problem = Problem(bytes);
    ASSERT_TRUE(problem.has_value()) << reason;
    EXPECT_NE(problem->find(reason), std::string::npos) << *problem;
  }
  std::filesystem::create_directory(dir.file("folder.so"));
  for (const std::string& path : {dir.file("folder.so"), std::string("/dev/zero")}) {
    EXPECT_EQ(SharedLibraryProblem(path), "not a regular file") << path;
  }
  EXPECT_NE(SharedLibraryProblem(dir.file("missing.so"))->find("cannot be opened"), std::string::npos);
}

TEST_F(SharedLibraryFileTest, ASegmentReachingPastTheEndIsRefusedWhereverItIs) {
  const ElfW(Ehdr) h = Header(sample);
  for (std::size_t i = 0; i < h.e_phnum; ++i) {
    std::string bytes = sample;
    ElfW(Phdr) p = Segment(bytes, i);
    p.p_offset = bytes.size() - p.p_filesz + 1;
    if (p.p_filesz == 0) p.p_filesz = 1;
    p.p_memsz = std::max(p.p_memsz, p.p_filesz);
    std::memcpy(bytes.data() + h.e_phoff + i * sizeof p, &p, sizeof p);
    const std::optional<std::string> problem = Problem(bytes);
    ASSERT_TRUE(problem.has_value()) << i;
    EXPECT_NE(problem->find("segment " + std::to_string(i)), std::string::npos) << *problem;
  }
}

}  // namespace
}  // namespace hollowmere
