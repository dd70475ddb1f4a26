// CP932 <-> UTF-8 through glibc iconv. Each call opens its own descriptor so
// conversions hold no shared state.
#include "text/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace hollowmere::text {
namespace {

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle Open(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw EEncodingError(std::string("no converter from ") + from + " to " + to);
  }
  return IconvHandle(cd);
}

// Converts `in`; on an invalid sequence either throws or, when `replacement`
// is given, writes it and skips one input byte.
std::string Convert(std::string_view in, const char* to, const char* from,
                    const char* replacement) {
  IconvHandle cd = Open(to, from);
  std::string out;
  out.resize(in.size() * 3 + 16);
  char* inp = const_cast<char*>(in.data());
  std::size_t inleft = in.size();
  std::size_t used = 0;
  while (inleft > 0) {
    char* outp = out.data() + used;
    std::size_t outleft = out.size() - used;
    const std::size_t r = iconv(cd.get(), &inp, &inleft, &outp, &outleft);
    used = out.size() - outleft;
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else if (replacement != nullptr) {
      out.resize(used);
      out += replacement;
      used = out.size();
      out.resize(used + inleft * 3 + 16);
      ++inp;
      --inleft;
    } else {
      throw EEncodingError(std::string("text is not valid ") + from);
    }
  }
  out.resize(used);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) { return Convert(cp932, "UTF-8", "CP932", nullptr); }
std::string Utf8ToCp932(std::string_view utf8) { return Convert(utf8, "CP932", "UTF-8", nullptr); }
std::string Cp932ToUtf8Lossy(std::string_view cp932) {
  return Convert(cp932, "UTF-8", "CP932", "\xEF\xBF\xBD");
}

}  // namespace hollowmere::text
