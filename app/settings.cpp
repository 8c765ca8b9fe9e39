#include "app/settings.h"

#include <iconv.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "app/app_paths.h"
#include "base/path.h"
#include "base/utf8.h"

namespace glimpses {

namespace {

// Only the first two lines matter and each is cut at 259 units (at most two
// bytes each in GBK), so a short prefix of the file holds everything read.
constexpr std::size_t kReadPrefix = 64 * 1024;
constexpr char16_t kReplacement = 0xFFFD;

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Iconv = std::unique_ptr<void, IconvCloser>;

Iconv OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return Iconv(cd);
}

// The UTF-16 text of GBK `bytes`; a byte that starts no valid sequence
// becomes U+FFFD and the decoding goes on after it.
std::u16string DecodeGbk(const std::string& bytes) {
  std::u16string text;
  Iconv cd = OpenIconv("UTF-16LE", "GBK");
  if (!cd) {
    for (unsigned char c : bytes) text += c < 0x80 ? char16_t{c} : kReplacement;
    return text;
  }
  std::string input = bytes;
  char* in = input.data();
  std::size_t inLeft = input.size();
  std::string output(4 * input.size() + 4, '\0');
  while (inLeft > 0) {
    char* out = output.data();
    std::size_t outLeft = output.size();
    std::size_t result = iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &out, &outLeft);
    for (const char* p = output.data(); p + 1 < out; p += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
    }
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      text += kReplacement;
      ++in;
      --inLeft;
    }
  }
  return text;
}

// Writes the GBK bytes of `text`; false when a unit has no GBK form (a lone
// surrogate included).
bool EncodeGbk(const std::u16string& text, std::string* bytes) {
  Iconv cd = OpenIconv("GBK", "UTF-16LE");
  if (!cd) return false;
  std::string input;
  input.reserve(2 * text.size());
  for (char16_t unit : text) {
    input += static_cast<char>(unit & 0xFF);
    input += static_cast<char>(unit >> 8);
  }
  char* in = input.data();
  std::size_t inLeft = input.size();
  std::string output(2 * text.size() + 4, '\0');
  char* out = output.data();
  std::size_t outLeft = output.size();
  if (iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    return false;
  }
  bytes->assign(output.data(), out);
  return true;
}

// Reads lines the way a wide stream's getline with a 260-unit buffer does:
// once a read hits the end of the text or overflows, every later read gives
// an empty string.
class LineReader {
 public:
  explicit LineReader(const std::u16string& text) : text_(text) {}

  std::u16string Next() {
    std::u16string line;
    if (done_) return line;
    while (true) {
      if (pos_ == text_.size()) {
        done_ = true;
        return line;
      }
      char16_t c = text_[pos_];
      if (c == u'\n') {
        ++pos_;
        return line;
      }
      if (line.size() == kSettingsLineLimit) {
        done_ = true;
        return line;
      }
      line += c;
      ++pos_;
    }
  }

 private:
  const std::u16string& text_;
  std::size_t pos_ = 0;
  bool done_ = false;
};

SettingsError CheckValue(const std::u16string& value, std::string* bytes) {
  if (value.find_first_of(u"\r\n") != std::u16string::npos) return SettingsError::kLineBreak;
  if (value.size() > kSettingsLineLimit) return SettingsError::kTooLong;
  if (!EncodeGbk(value, bytes)) return SettingsError::kNotGbk;
  return SettingsError::kNone;
}

}  // namespace

Settings DefaultSettings() {
  Settings settings;
  settings.outputDir = AnsiToWide(HomeDir()) + u"/Thumbs缩略图";
  return settings;
}

Settings DecodeSettings(const Bytes& fileBytes) {
  // Text mode: CR LF reads as LF. GBK trail bytes are never 0x0D or 0x0A, so
  // this can be done on the bytes before decoding.
  std::string bytes;
  bytes.reserve(fileBytes.size());
  for (std::size_t i = 0; i < fileBytes.size(); ++i) {
    if (fileBytes[i] == '\r' && i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n') continue;
    bytes += static_cast<char>(fileBytes[i]);
  }
  std::u16string text = DecodeGbk(bytes);
  LineReader reader(text);
  Settings settings;
  settings.keywords = reader.Next();
  settings.outputDir = reader.Next();
  return settings;
}

Settings LoadSettings(const std::string& path) {
  std::optional<Bytes> bytes = ReadFileRange(path, 0, kReadPrefix);
  if (!bytes) return Settings{};
  return DecodeSettings(*bytes);
}

Bytes EncodeSettings(const Settings& settings, SettingsError* error) {
  std::string keywords;
  std::string outputDir;
  SettingsError result = CheckValue(settings.keywords, &keywords);
  if (result == SettingsError::kNone) result = CheckValue(settings.outputDir, &outputDir);
  if (error != nullptr) *error = result;
  if (result != SettingsError::kNone) return {};
  std::string text = keywords + "\r\n" + outputDir + "\r\n";
  return Bytes(text.begin(), text.end());
}

SettingsError SaveSettings(const std::string& path, const Settings& settings) {
  SettingsError error = SettingsError::kNone;
  Bytes bytes = EncodeSettings(settings, &error);
  if (error != SettingsError::kNone) return error;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
  }
  if (!WriteFileAtomically(path, bytes.data(), bytes.size(), /*synced=*/true)) return SettingsError::kWrite;
  return SettingsError::kNone;
}

}  // namespace glimpses
