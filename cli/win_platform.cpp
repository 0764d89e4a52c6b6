// zrv on Windows: CryptoAPI on a verify-only context with a signature pair
// of its own in memory (never the window's key container), Win32 files, and
// the system's code page tables and normalisation.
#include "cli/platform.h"

#include <windows.h>
// after windows.h
#include <wincrypt.h>

#include "cli/code_page_tables.h"
#include "core/texts.h"
#include "core/utf.h"
#include "platform/win32/crypt_context.h"
#include "platform/win32/cryptoapi_provider.h"
#include "platform/win32/long_path.h"
#include "platform/win32/win32_error_text.h"
#include "platform/win32/win32_file_system.h"

namespace ferrune::cli {
namespace {

// The signature pair's size in the upper half of CryptGenKey's flags.
constexpr DWORD kPairBits = 1024;

class FileBytes final : public Platform::ByteSource {
 public:
  explicit FileBytes(HANDLE file) : file_(file) {}
  ~FileBytes() override { CloseHandle(file_); }
  int Read(std::uint8_t* byte) override {
    if (next_ == end_) {
      DWORD got = 0;
      if (!ReadFile(file_, buffer_, sizeof buffer_, &got, nullptr)) return -1;
      if (got == 0) return 0;
      next_ = 0;
      end_ = got;
    }
    *byte = buffer_[next_++];
    return 1;
  }

 private:
  HANDLE file_;
  std::uint8_t buffer_[512];
  DWORD next_ = 0;
  DWORD end_ = 0;
};

// The CryptoAPI provider together with the context it runs on.
class OwnedCryptoApiProvider final : public Provider {
 public:
  explicit OwnedCryptoApiProvider(CryptContext context) : context_(std::move(context)), inner_(context_.handle()) {}
  std::unique_ptr<ProviderHash> Hash(std::initializer_list<ByteView> parts) override { return inner_.Hash(parts); }
  bool HashValue(ProviderHash& hash, SecretBytes* value) override { return inner_.HashValue(hash, value); }
  std::unique_ptr<ProviderKey> DeriveKey(ProviderHash& hash) override { return inner_.DeriveKey(hash); }
  bool ExportSignaturePublicKey(std::vector<std::uint8_t>* blob) override {
    return inner_.ExportSignaturePublicKey(blob);
  }
  bool Sign(ProviderHash& hash, std::vector<std::uint8_t>* signature) override { return inner_.Sign(hash, signature); }
  std::unique_ptr<ProviderPublicKey> ImportPublicKey(ByteView blob) override { return inner_.ImportPublicKey(blob); }
  bool Verify(ProviderHash& hash, ByteView signature, ProviderPublicKey& key) override {
    return inner_.Verify(hash, signature, key);
  }

 private:
  CryptContext context_;
  CryptoApiProvider inner_;
};

class WindowsPlatform final : public Platform {
 public:
  std::unique_ptr<Provider> MakeProvider(bool signing, std::string* error) override {
    // Never the window's key container: a pair of its own, in memory, when signing.
    CryptContext context = CryptContext::OpenEphemeral(signing ? std::optional<DWORD>(kPairBits << 16) : std::nullopt);
    if (!context.available()) {
      *error = signing ? texts::kNoSignatureKey : texts::kProviderMissing;
      return nullptr;
    }
    return std::make_unique<OwnedCryptoApiProvider>(std::move(context));
  }

  FileSystem& Files() override { return files_; }

  std::unique_ptr<ByteSource> OpenText(const std::wstring& path) override {
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FileBytes>(file);
  }

  std::string Display(const std::wstring& path) override { return Utf8FromWide(path); }
  // The line goes on after the reason, or ends there: without Windows' period.
  std::string ErrorText(const FileError& error) override {
    std::wstring text = SystemErrorText(error);
    if (text.ends_with(L'.')) text.pop_back();
    return Utf8FromWide(text);
  }

  bool CodePageAvailable(int codePage) override {
    return CodePageUpperHalf(codePage) != nullptr && IsValidCodePage(static_cast<UINT>(codePage));
  }

  bool Normalize(const std::u32string& text, NormalForm form, SecretText* out) override {
    std::wstring wide;
    if (!CodePointsToWide(text, &wide)) return false;
    if (wide.empty()) {
      out->Wipe();
      return true;
    }
    const NORM_FORM normForm = form == NormalForm::Composed ? NormalizationC : NormalizationD;
    std::wstring result;
    int size = NormalizeString(normForm, wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    // The first answer is an estimate; the call says when it was too small.
    for (int attempt = 0; attempt < 8 && size > 0; ++attempt) {
      result.assign(static_cast<std::size_t>(size), L'\0');
      size = NormalizeString(normForm, wide.data(), static_cast<int>(wide.size()), result.data(), size);
      if (size > 0) break;
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      size = -size;
    }
    WipeString(wide);
    if (size <= 0) {
      WipeString(result);
      return false;
    }
    std::u32string points;
    const bool valid = WideToCodePoints(result.data(), static_cast<std::size_t>(size), true, &points);
    WipeString(result);
    *out = SecretText(std::move(points));
    return valid;
  }

  std::optional<SecretBytes> StandardBytes(const std::u32string& text, int codePage) override {
    std::wstring wide;
    if (!CodePointsToWide(text, &wide)) return std::nullopt;
    if (wide.empty()) return SecretBytes();
    const UINT page = static_cast<UINT>(codePage);
    const int size =
        WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::optional<SecretBytes> bytes;
    if (size > 0) {
      bytes.emplace(static_cast<std::size_t>(size));
      if (WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()),
                              reinterpret_cast<char*>(bytes->data()), size, nullptr, nullptr) != size) {
        bytes.reset();
      }
    }
    WipeString(wide);
    return bytes;
  }

  std::optional<std::uint8_t> ToCodePage(char32_t c, int codePage) override {
    if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    const wchar_t wide = static_cast<wchar_t>(c);
    char out[4] = {};
    BOOL usedDefault = FALSE;
    // No best fit: it would make other passwords give the same bytes.
    const int n = WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, &wide, 1, out, sizeof out,
                                      nullptr, &usedDefault);
    if (n != 1 || usedDefault) return std::nullopt;
    return static_cast<std::uint8_t>(out[0]);
  }

 private:
  Win32FileSystem files_;
};

}  // namespace

std::unique_ptr<Platform> MakePlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace ferrune::cli
