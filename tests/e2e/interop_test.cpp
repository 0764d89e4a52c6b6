// Files encrypted natively by zrv open through the window, as a user would
// open them; files the window encrypts are left for zrv to open natively. The
// native halves are the interop_native_files and interop_window_files steps
// (tests/interop/interop.sh) around these tests. The Windows-1251 cases run
// in a second start of this program with a Russian locale, since the window
// takes its password bytes from the system's code page.
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

std::wstring Widened(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring out(std::size_t(n > 0 ? n : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), out.data(), n);
  return out;
}

// The first line of the same password file the native side reads.
std::wstring Password(const std::string& name) {
  std::string bytes = ReadFileBytes(ToWindowsPath(std::string(FERRUNE_INTEROP_PASSWORDS_UNIX) + "/" + name + ".pw"));
  bytes = bytes.substr(0, bytes.find('\n'));
  return Widened(bytes);
}

std::wstring Work(const std::string& part) { return ToWindowsPath(std::string(FERRUNE_INTEROP_DIR_UNIX) + "/" + part); }

// How the context menu starts a job, and the page's edits and button.
struct Job {
  const wchar_t* verb;
  int page;
  std::vector<int> edits;
  int button;
  const wchar_t* progress;
};
const Job kDecrypt{L"/encrypt", 2, {ids::Password}, kDecryptButton, L"Please wait while the file is decrypted"};
const Job kEncrypt{
    L"/crypt", 1, {ids::Password1, ids::Password2}, kEncryptButton, L"Please wait while the file is encrypted"};

// `password` typed in every edit, the button clicked, the window closed
// after; the final status.
std::wstring ThroughWindow(const Job& job, const std::wstring& path, const std::wstring& password) {
  App app(L"\"" + path + L"\" " + job.verb);
  EXPECT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.WaitForPage(job.page));
  for (const int edit : job.edits) app.SetText(edit, password);
  app.Click(job.button);
  const std::wstring status = app.WaitForStatusOtherThan(job.progress);
  app.Click(kCloseButton);
  EXPECT_EQ(app.WaitForExit(), 0u);
  return status;
}

// Opens the native files of `name` for these sizes through the window, from
// a copy so that the originals stay for another run.
void OpenNativeFiles(const std::string& name, std::initializer_list<const char*> sizes) {
  const std::wstring password = Password(name);
  ASSERT_FALSE(password.empty());
  const TempFolder dir;
  for (const char* size : sizes) {
    SCOPED_TRACE(name + " " + size);
    const std::string file = std::string(size) + ".bin";
    const std::string sealed = ReadFileBytes(Work("native/" + name + "/" + file + ".zrv"));
    ASSERT_FALSE(sealed.empty()) << "no native file: run the interop_native_files step";
    const std::wstring encrypted = dir / (Widened(file) + L".zrv");
    WriteFileBytes(encrypted, sealed);
    EXPECT_EQ(ThroughWindow(kDecrypt, encrypted, password), L"Decryption completed");
    EXPECT_EQ(ReadFileBytes(dir / Widened(file)), ReadFileBytes(Work("plain/" + file)));
    EXPECT_FALSE(FileExists(encrypted));
  }
}

// Encrypts plain files through the window where the native side looks for them.
void SealForNative(const std::string& name, std::initializer_list<const char*> sizes) {
  const std::wstring password = Password(name);
  for (const char* size : sizes) {
    SCOPED_TRACE(name + " " + size);
    const std::string file = std::string(size) + ".bin";
    const std::wstring plain = Work("window/" + name + "/" + file);
    WriteFileBytes(plain, ReadFileBytes(Work("plain/" + file)));
    EXPECT_EQ(ThroughWindow(kEncrypt, plain, password), L"Encryption completed");
    EXPECT_FALSE(FileExists(plain));
    EXPECT_TRUE(FileExists(plain + L".zrv"));
  }
}

TEST(Interop, NativeFilesOpenThroughTheWindow) {
  ASSERT_EQ(GetACP(), 1252u);
  OpenNativeFiles("ascii", {"0", "7", "1048575", "1048576", "1048577", "5242999"});
  OpenNativeFiles("cp1252", {"7", "1048576"});
}

TEST(Interop, TheWindowSealsFilesForNativeZrv) {
  ASSERT_EQ(GetACP(), 1252u);
  SealForNative("ascii", {"0", "1048577"});
  SealForNative("cp1252", {"7", "5242999"});
}

TEST(InteropCp1251, NativeFilesOpenThroughTheWindow) {
  ASSERT_EQ(GetACP(), 1251u) << "run with LC_ALL=ru_RU.UTF-8";
  OpenNativeFiles("cp1251", {"7", "1048576"});
}

TEST(InteropCp1251, TheWindowSealsFilesForNativeZrv) {
  ASSERT_EQ(GetACP(), 1251u) << "run with LC_ALL=ru_RU.UTF-8";
  SealForNative("cp1251", {"0", "1048575"});
}

}  // namespace
}  // namespace e2e
