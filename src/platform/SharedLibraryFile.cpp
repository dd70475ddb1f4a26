// ELF header and program header checks with the native ELF types of <link.h>.
#include "platform/SharedLibraryFile.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/FileDescriptor.h"

namespace hollowmere {
namespace {

#if __BYTE_ORDER == __LITTLE_ENDIAN
constexpr unsigned char kByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char kByteOrder = ELFDATA2MSB;
#endif

#if __ELF_NATIVE_CLASS == 64
constexpr unsigned char kClass = ELFCLASS64;
#else
constexpr unsigned char kClass = ELFCLASS32;
#endif

// The machine this program was built for; 0 where it is not known here,
// which leaves that one check to the loader.
#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kMachine = EM_386;
#elif defined(__arm__)
constexpr int kMachine = EM_ARM;
#elif defined(__riscv)
constexpr int kMachine = EM_RISCV;
#elif defined(__powerpc64__)
constexpr int kMachine = EM_PPC64;
#elif defined(__s390x__)
constexpr int kMachine = EM_S390;
#else
constexpr int kMachine = 0;
#endif

bool ReadAt(int fd, void* buffer, std::size_t size, uint64_t offset) {
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got <= 0) return false;
    out += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

// offset + size <= fileSize, without overflow.
bool Within(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

std::string Number(uint64_t n) { return std::to_string(n); }

}  // namespace

std::optional<std::string> SharedLibraryProblem(const std::string& nativePath) {
  const FileDescriptor file(::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return "cannot be opened: " + std::string(std::strerror(errno));
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string("not a regular file");
  const auto size = static_cast<uint64_t>(st.st_size);

  ElfW(Ehdr) header{};
  if (size < sizeof header || !ReadAt(file.get(), &header, sizeof header, 0)) {
    return "too short for an ELF header (" + Number(size) + " bytes)";
  }
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return std::string("not an ELF file");
  if (header.e_ident[EI_CLASS] != kClass) {
    return "ELF class " + Number(header.e_ident[EI_CLASS]) + ", this program's is " + Number(kClass);
  }
  if (header.e_ident[EI_DATA] != kByteOrder) {
    return "ELF byte order " + Number(header.e_ident[EI_DATA]) + ", this program's is " + Number(kByteOrder);
  }
  if (header.e_ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT) {
    return std::string("unknown ELF version");
  }
  if (header.e_type != ET_DYN) return "not a shared library (ELF type " + Number(header.e_type) + ")";
  if (kMachine != 0 && header.e_machine != kMachine) {
    return "built for machine " + Number(header.e_machine) + ", this one is " + Number(kMachine);
  }
  if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 || header.e_phnum == PN_XNUM) {
    return std::string("no usable program header table");
  }
  const uint64_t tableSize = uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
  if (!Within(header.e_phoff, tableSize, size)) {
    return "program header table past the end of the file (" + Number(size) + " bytes)";
  }
  std::vector<ElfW(Phdr)> segments(header.e_phnum);
  if (!ReadAt(file.get(), segments.data(), tableSize, header.e_phoff)) {
    return std::string("program header table cannot be read");
  }
  bool loadable = false;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const ElfW(Phdr)& segment = segments[i];
    if (!Within(segment.p_offset, segment.p_filesz, size)) {
      return "segment " + Number(i) + " (bytes " + Number(segment.p_offset) + " to " +
             Number(segment.p_offset + segment.p_filesz) + ") past the end of the file (" + Number(size) +
             " bytes)";
    }
    if (segment.p_type == PT_LOAD) {
      if (segment.p_filesz > segment.p_memsz) return "segment " + Number(i) + " larger in the file than in memory";
      loadable = true;
    }
  }
  if (!loadable) return std::string("no loadable segment");
  return std::nullopt;
}

}  // namespace hollowmere
