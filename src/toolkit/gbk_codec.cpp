#include "toolkit/gbk_codec.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <iconv.h>

namespace mirabex {
namespace {

// Move-only owner of one iconv conversion descriptor.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(m_handle);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_handle; }

 private:
  iconv_t m_handle;
};

// Converts whole input; an undecodable sequence skips one input unit and emits
// the target's '?', an unrepresentable character likewise.
std::string convert(std::string_view input, const char* to, const char* from, std::size_t inputUnit,
                    std::string_view question) {
  std::string output;
  if (input.empty()) return output;
  // One descriptor per direction and thread: opening iconv per call is costly on large pages.
  thread_local std::map<std::string, std::unique_ptr<IconvHandle>> descriptors;
  auto& slot = descriptors[std::string(to) + "<" + from];
  if (!slot) slot = std::make_unique<IconvHandle>(to, from);
  IconvHandle* handle = slot.get();
  if (handle == nullptr || !handle->valid()) return std::string(input);
  iconv(handle->get(), nullptr, nullptr, nullptr, nullptr);

  output.resize(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char* out = output.data();
  std::size_t outLeft = output.size();
  while (inLeft > 0) {
    const std::size_t rc = iconv(handle->get(), &in, &inLeft, &out, &outLeft);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      const std::size_t used = static_cast<std::size_t>(out - output.data());
      output.resize(output.size() * 2);
      out = output.data() + used;
      outLeft = output.size() - used;
      continue;
    }
    // EILSEQ or EINVAL: replace one unit and carry on.
    if (outLeft < question.size()) {
      const std::size_t used = static_cast<std::size_t>(out - output.data());
      output.resize(output.size() * 2);
      out = output.data() + used;
      outLeft = output.size() - used;
    }
    std::memcpy(out, question.data(), question.size());
    out += question.size();
    outLeft -= question.size();
    const std::size_t skip = inputUnit < inLeft ? inputUnit : inLeft;
    in += skip;
    inLeft -= skip;
    iconv(handle->get(), nullptr, nullptr, nullptr, nullptr);
  }
  output.resize(static_cast<std::size_t>(out - output.data()));
  return output;
}

constexpr std::string_view kQuestion8 = "?";
constexpr std::string_view kQuestion16{"?\0", 2};

std::string_view upToZero(std::string_view text) {
  const std::size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

const char* iconvName(int codePage) {
  switch (codePage) {
    case 936: return "CP936";
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    default: return nullptr;
  }
}

std::u16string fromLittleEndian(const std::string& bytes) {
  std::u16string result(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < result.size(); ++i) {
    result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return result;
}

std::string toLittleEndian(std::u16string_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

}  // namespace

std::string gbkToUtf8(std::string_view gbk) { return convert(gbk, "UTF-8", "CP936", 1, kQuestion8); }

Text utf8ToGbk(std::string_view utf8) { return convert(utf8, "CP936", "UTF-8", 1, kQuestion8); }

std::u16string gbkToUtf16(std::string_view gbk) {
  return fromLittleEndian(convert(gbk, "UTF-16LE", "CP936", 1, kQuestion16));
}

Text utf16ToGbk(std::u16string_view utf16) {
  return convert(toLittleEndian(utf16), "CP936", "UTF-16LE", 2, kQuestion8);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  return fromLittleEndian(convert(utf8, "UTF-16LE", "UTF-8", 1, kQuestion16));
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  return convert(toLittleEndian(utf16), "UTF-8", "UTF-16LE", 2, kQuestion8);
}

Text ConvertCodePage(std::string_view text, int sourceCodePage, int targetCodePage) {
  const char* from = iconvName(sourceCodePage);
  const char* to = iconvName(targetCodePage);
  const std::string_view input = upToZero(text);
  if (from == nullptr || to == nullptr) return Text(input);
  if (sourceCodePage == targetCodePage) return Text(input);
  const std::string_view question = targetCodePage == 1200 ? kQuestion16 : kQuestion8;
  return convert(input, to, from, sourceCodePage == 1200 ? 2 : 1, question);
}

}  // namespace mirabex
