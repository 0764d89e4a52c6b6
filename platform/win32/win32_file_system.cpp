#include "win32_file_system.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "win_handle.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = 1u << 30;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Positional, so two threads may share the handle.
bool ReadAtOffset(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  while (length > 0) {
    const auto part = static_cast<DWORD>(std::min(length, kMaxIo));
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(file, buffer, part, &got, &at) || got == 0) return false;
    buffer += got;
    offset += got;
    length -= got;
  }
  return true;
}

bool WriteAtOffset(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const auto part = static_cast<DWORD>(std::min(length, kMaxIo));
    OVERLAPPED at = At(offset);
    DWORD put = 0;
    if (!WriteFile(file, data, part, &put, &at) || put == 0) return false;
    data += put;
    offset += put;
    length -= put;
  }
  return true;
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }

 private:
  UniqueHandle file_;
  const std::uint64_t size_;
};

class Win32TempFile final : public TempFile {
 public:
  Win32TempFile(UniqueHandle file, std::wstring where) : path(std::move(where)), file_(std::move(file)) {}
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return WriteAtOffset(file_.get(), offset, data, length);
  }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }
  bool Flush() override { return FlushFileBuffers(file_.get()) != FALSE; }
  void Close() { file_.reset(); }

  const std::wstring path;

 private:
  UniqueHandle file_;
};

std::atomic<unsigned> tempCounter{0};

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::unique_ptr<InputFile> Win32FileSystem::OpenRead(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<Win32InputFile>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<TempFile> Win32FileSystem::CreateTemp(const std::wstring& finalPath) {
  // A short name in the same folder, so the rename never crosses volumes.
  const std::wstring folder = FolderOf(finalPath);
  for (int attempt = 0; attempt < 64; ++attempt) {
    wchar_t name[48];
    std::swprintf(name, 48, L"~ferrune-%08lx-%08x.tmp", GetCurrentProcessId(),
                  tempCounter.fetch_add(1) ^ static_cast<unsigned>(GetTickCount64()));
    std::wstring path = folder + name;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return std::make_unique<Win32TempFile>(std::move(file), std::move(path));
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

bool Win32FileSystem::Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  auto& temp = static_cast<Win32TempFile&>(*file);
  temp.Close();
  if (MoveFileExW(temp.path.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temp.path.c_str());
  return false;
}

void Win32FileSystem::Discard(std::unique_ptr<TempFile> file) {
  auto& temp = static_cast<Win32TempFile&>(*file);
  temp.Close();
  DeleteFileW(temp.path.c_str());
}

bool Win32FileSystem::Remove(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

}  // namespace ferrune
