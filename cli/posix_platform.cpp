// zrv on POSIX: OpenSSL's libcrypto, POSIX files, text through
// libunistring and the code page tables.
#include "cli/platform.h"

#include <fcntl.h>
#include <uninorm.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/code_page_tables.h"
#include "platform/openssl/openssl_provider.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_error_text.h"
#include "platform/posix/posix_file_system.h"

namespace ferrune::cli {
namespace {

class FileBytes final : public Platform::ByteSource {
 public:
  explicit FileBytes(int fd) : fd_(fd) {}
  ~FileBytes() override { ::close(fd_); }
  int Read(std::uint8_t* byte) override {
    if (next_ == end_) {
      ssize_t got;
      do {
        got = ::read(fd_, buffer_, sizeof buffer_);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) return got < 0 ? -1 : 0;
      next_ = 0;
      end_ = static_cast<std::size_t>(got);
    }
    *byte = buffer_[next_++];
    return 1;
  }

 private:
  int fd_;
  std::uint8_t buffer_[512];
  std::size_t next_ = 0;
  std::size_t end_ = 0;
};

class PosixPlatform final : public Platform {
 public:
  std::unique_ptr<Provider> MakeProvider(bool, std::string* error) override { return OpenSslProvider::Create(error); }
  FileSystem& Files() override { return files_; }
  std::unique_ptr<ByteSource> OpenText(const std::wstring& path) override {
    const int fd = ::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    return std::make_unique<FileBytes>(fd);
  }
  std::string Display(const std::wstring& path) override { return ToNativePath(path); }
  std::string ErrorText(const FileError& error) override { return PosixErrorText(error.code); }

  bool CodePageAvailable(int codePage) override { return CodePageUpperHalf(codePage) != nullptr; }

  bool Normalize(const std::u32string& text, NormalForm form, SecretText* out) override {
    if (text.empty()) {
      out->Wipe();
      return true;
    }
    std::size_t length = 0;
    uint32_t* result = u32_normalize(form == NormalForm::Composed ? UNINORM_NFC : UNINORM_NFD,
                                     reinterpret_cast<const uint32_t*>(text.data()), text.size(), nullptr, &length);
    if (!result) return false;
    *out = SecretText(std::u32string(reinterpret_cast<const char32_t*>(result), length));
    WipeBytes(result, length * sizeof(uint32_t));
    std::free(result);
    return true;
  }

  // No best-fit table here: such files open with zrv.exe or the window.
  std::optional<SecretBytes> StandardBytes(const std::u32string&, int) override { return std::nullopt; }

  std::optional<std::uint8_t> ToCodePage(char32_t c, int codePage) override {
    if (c < 0x80) return static_cast<std::uint8_t>(c);
    const char16_t* upper = CodePageUpperHalf(codePage);
    if (!upper || c > 0xFFFF) return std::nullopt;
    for (int i = 0; i < 128; ++i) {
      if (upper[i] == c) return static_cast<std::uint8_t>(0x80 + i);
    }
    return std::nullopt;
  }

 private:
  PosixFileSystem files_;
};

}  // namespace

std::unique_ptr<Platform> MakePlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace ferrune::cli
