// What the tool needs of the system it runs on. The POSIX build puts OpenSSL
// and POSIX calls behind it, the Windows build CryptoAPI and Win32.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/secret_text.h"
#include "core/file_system.h"
#include "core/provider.h"
#include "core/secret_bytes.h"

namespace ferrune::cli {

enum class NormalForm { Composed, Decomposed };

// Longer password lines are refused, never cut, nor read on without end.
inline constexpr std::size_t kMaxPasswordLine = 64 * 1024;

// What a prompt got: a line, the end of the input, or a line longer than
// kMaxPasswordLine bytes of UTF-8, of which nothing is kept.
enum class Typed { Line, End, TooLong };

class Console {
 public:
  virtual ~Console() = default;
  virtual bool InputIsTerminal() = 0;
  virtual bool ErrorIsTerminal() = 0;
  // Shows `prompt` on the terminal and reads one whole line as UTF-8
  // without echoing it.
  virtual Typed ReadHidden(const std::string& prompt, SecretBytes* line) = 0;
  // The same with echo, for a question.
  virtual bool ReadVisible(const std::string& prompt, std::string* line) = 0;
  // One byte of standard input: 1, 0 at its end, -1 on an error.
  virtual int ReadInputByte(std::uint8_t* byte) = 0;
  // From here on an interrupt cancels the file at hand rather than ending
  // the program, so that no temporary file is left behind.
  virtual void WorkBegins() {}
  // UTF-8 text to standard error, or to standard output.
  virtual void Error(const std::string& text) = 0;
  virtual void Output(const std::string& text) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;
  // Null with a sentence in `error` when the crypto library cannot serve;
  // `signing` when the run will write encrypted files.
  virtual std::unique_ptr<Provider> MakeProvider(bool signing, std::string* error) = 0;
  virtual FileSystem& Files() = 0;
  // A file's bytes as a reader of one byte at a time, like ReadInputByte.
  class ByteSource {
   public:
    virtual ~ByteSource() = default;
    virtual int Read(std::uint8_t* byte) = 0;
  };
  virtual std::unique_ptr<ByteSource> OpenText(const std::wstring& path) = 0;
  // A path as the user wrote it, for messages.
  virtual std::string Display(const std::wstring& path) = 0;
  // The system's own words for an error of its domain, as UTF-8, without a
  // final period or line break.
  virtual std::string ErrorText(const FileError& error) = 0;

  virtual bool CodePageAvailable(int codePage) = 0;
  virtual bool Normalize(const std::u32string& text, NormalForm form, SecretText* out) = 0;
  virtual std::optional<std::uint8_t> ToCodePage(char32_t c, int codePage) = 0;
  // The text in the bytes of the system's standard conversion to the code
  // page, which puts a look-alike or the default character in place of what
  // the page lacks, as earlier versions took their passwords. Empty optional
  // where the system has no such conversion.
  virtual std::optional<SecretBytes> StandardBytes(const std::u32string& text, int codePage) = 0;
};

// The system this build runs on: each platform's file defines these.
std::unique_ptr<Console> MakeConsole();
std::unique_ptr<Platform> MakePlatform();

// Set by the first interrupt once the work has begun (SIGINT and the like,
// Ctrl+C or Ctrl+Break).
inline std::atomic<bool>& CancelFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

}  // namespace ferrune::cli
