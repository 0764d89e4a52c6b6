// Files encrypted natively by zrv open through the window, as a user would
// open them; files the window encrypts are left for zrv to open natively. The
// native halves are the interop_native_files and interop_window_files steps
// (tests/interop/interop.sh) around these tests. The Windows-1251 cases run
// in a second start of this program with a Russian locale, since the window
// takes its password bytes from the system's code page.
#include <gtest/gtest.h>

#include "control_ids.h"
#include "e2e_support.h"

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

// The final status: the click is posted, so until the window has taken it the
// status panel may still hold its first, empty text.
std::wstring Finish(App& app, const std::wstring& progress) {
  std::wstring status;
  WaitUntil(
      [&] {
        status = app.Text(kStatusText);
        return app.Page() == 3 && !status.empty() && status != progress;
      },
      60s);
  return status;
}

std::wstring DecryptThroughWindow(const std::wstring& path, const std::wstring& password) {
  App app(L"\"" + path + L"\" /encrypt");
  EXPECT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.WaitForPage(2));
  app.SetText(ids::Password, password);
  app.Click(kDecryptButton);
  const std::wstring status = Finish(app, L"Please wait while the file is decrypted");
  app.Click(kCloseButton);
  EXPECT_EQ(app.WaitForExit(), 0u);
  return status;
}

std::wstring EncryptThroughWindow(const std::wstring& path, const std::wstring& password) {
  App app(L"\"" + path + L"\" /crypt");
  EXPECT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.WaitForPage(1));
  app.SetText(ids::Password1, password);
  app.SetText(ids::Password2, password);
  app.Click(kEncryptButton);
  const std::wstring status = Finish(app, L"Please wait while the file is encrypted");
  app.Click(kCloseButton);
  EXPECT_EQ(app.WaitForExit(), 0u);
  return status;
}

// Opens the native files of `name` for these sizes through the window, from
// a copy so that the originals stay for another run.
void OpenNativeFiles(const std::string& name, std::initializer_list<const char*> sizes) {
  const std::wstring password = Password(name);
  ASSERT_FALSE(password.empty());
  const std::wstring dir = TempDir();
  for (const char* size : sizes) {
    SCOPED_TRACE(name + " " + size);
    const std::string file = std::string(size) + ".bin";
    const std::string sealed = ReadFileBytes(Work("native/" + name + "/" + file + ".zrv"));
    ASSERT_FALSE(sealed.empty()) << "no native file: run the interop_native_files step";
    const std::wstring encrypted = dir + L"\\" + Widened(file) + L".zrv";
    WriteFileBytes(encrypted, sealed);
    EXPECT_EQ(DecryptThroughWindow(encrypted, password), L"Decryption completed");
    EXPECT_EQ(ReadFileBytes(dir + L"\\" + Widened(file)), ReadFileBytes(Work("plain/" + file)));
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
    EXPECT_EQ(EncryptThroughWindow(plain, password), L"Encryption completed");
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
