// zrv on Windows: CryptoAPI on a verify-only context with a signature pair
// of its own in memory (never the window's key container), Win32 files, the
// console, and the system's code page tables and normalisation.
#include "platform.h"

#include <windows.h>
// after windows.h
#include <wincrypt.h>

#include "code_page_tables.h"
#include "crypt_context.h"
#include "cryptoapi_provider.h"
#include "utf.h"
#include "win32_file_system.h"

namespace ferrune::cli {
namespace {

constexpr std::size_t kMaxLine = 64 * 1024;
// The signature pair's size in the upper half of CryptGenKey's flags.
constexpr DWORD kPairBits = 1024;

void WipeWide(std::wstring& text) {
  if (!text.empty()) WipeBytes(text.data(), text.size() * sizeof(wchar_t));
  text.clear();
}

// Ctrl+C's own exit code here is 0xC000013A, and Wine's is 0.
constexpr UINT kInterruptedExit = 130;

BOOL WINAPI OnControl(DWORD) {
  // The first one cancels and lets the core clean up; a second one ends the
  // program at once, and the system removes its temporary file, marked for
  // deletion since its creation.
  if (CancelFlag().exchange(true)) TerminateProcess(GetCurrentProcess(), kInterruptedExit);
  return TRUE;
}

class WindowsConsole final : public Console {
 public:
  bool InputIsTerminal() override { return IsConsole(STD_INPUT_HANDLE); }
  bool ErrorIsTerminal() override { return IsConsole(STD_ERROR_HANDLE); }

  bool ReadHidden(const std::string& prompt, SecretBytes* line) override { return ReadLine(prompt, false, line); }

  bool ReadVisible(const std::string& prompt, std::string* line) override {
    SecretBytes bytes;
    if (!ReadLine(prompt, true, &bytes)) return false;
    line->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  }

  int ReadInputByte(std::uint8_t* byte) override {
    DWORD got = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), byte, 1, &got, nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got == 1 ? 1 : 0;
  }

  void WorkBegins() override { SetConsoleCtrlHandler(OnControl, TRUE); }
  void Error(const std::string& text) override { Write(STD_ERROR_HANDLE, text); }
  void Output(const std::string& text) override { Write(STD_OUTPUT_HANDLE, text); }

 private:
  static bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
  }

  static void Write(DWORD which, const std::string& text) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
      const std::wstring wide = WideFromUtf8(text);
      DWORD put = 0;
      WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &put, nullptr);
      return;
    }
    DWORD put = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  }

  // The console hands over UTF-16 whatever its code page; it goes on as UTF-8.
  static bool ReadLine(const std::string& prompt, bool echo, SecretBytes* line) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return false;
    const DWORD reading = (echo ? mode | ENABLE_ECHO_INPUT : mode & ~DWORD{ENABLE_ECHO_INPUT}) | ENABLE_LINE_INPUT |
                          ENABLE_PROCESSED_INPUT;
    // Echo goes off before the prompt shows, so nothing typed at it is seen.
    SetConsoleMode(input, reading);
    Write(STD_ERROR_HANDLE, prompt);
    // Room for the longest line up front: a growing string would leave
    // copies of what was typed behind.
    std::wstring text;
    text.reserve(kMaxLine);
    bool ended = false;
    for (;;) {
      wchar_t c = 0;
      DWORD got = 0;
      if (!ReadConsoleW(input, &c, 1, &got, nullptr) || got == 0) {
        ended = true;
        break;
      }
      if (c == L'\n' || c == L'\r') {
        if (c == L'\r') {
          // The line feed after it belongs to the same Enter.
          ReadConsoleW(input, &c, 1, &got, nullptr);
        }
        break;
      }
      if (text.size() < kMaxLine) text += c;
    }
    SetConsoleMode(input, mode);
    if (!echo) Write(STD_ERROR_HANDLE, "\n");
    if (ended && text.empty()) return false;
    std::u32string points;
    const bool valid = WideToCodePoints(text.data(), text.size(), true, &points);
    WipeWide(text);
    SecretText secret(std::move(points));
    std::string utf8;
    if (valid) {
      for (const char32_t c : secret.text) AppendUtf8(utf8, c);
    } else {
      utf8 = "\xFF";  // not UTF-8: refused as such later
    }
    *line = SecretBytes(utf8.data(), utf8.size());
    if (!utf8.empty()) WipeBytes(utf8.data(), utf8.size());
    return true;
  }
};

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
      *error = signing ? "The crypto provider cannot make a signature key." : "The crypto provider is not available.";
      return nullptr;
    }
    return std::make_unique<OwnedCryptoApiProvider>(std::move(context));
  }

  FileSystem& Files() override { return files_; }

  std::unique_ptr<ByteSource> OpenText(const std::wstring& path) override {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FileBytes>(file);
  }

  std::string Display(const std::wstring& path) override { return Utf8FromWide(path); }

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
    WipeWide(wide);
    if (size <= 0) {
      WipeWide(result);
      return false;
    }
    std::u32string points;
    const bool valid = WideToCodePoints(result.data(), static_cast<std::size_t>(size), true, &points);
    WipeWide(result);
    *out = SecretText(std::move(points));
    return valid;
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

std::unique_ptr<Console> MakeConsole() { return std::make_unique<WindowsConsole>(); }
std::unique_ptr<Platform> MakePlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace ferrune::cli
