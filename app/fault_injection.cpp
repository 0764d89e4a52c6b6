#include "app/fault_injection.h"

#include <windows.h>

#include <cwchar>

#include "app/toolkit/thread.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "shell/registry_api.h"

namespace ferrune {

bool FaultRequested(const wchar_t* name) {
  wchar_t value[128];
  const DWORD n = GetEnvironmentVariableW(L"FERRUNE_FAULT", value, DWORD(std::size(value)));
  if (n == 0 || n >= std::size(value)) return false;
  return std::wcsstr(value, name) != nullptr;
}

namespace {

class DeniedRegistry : public RegistryApi {
 public:
  explicit DeniedRegistry(RegistryApi& real) : real_(real) {}
  RegHandle Root(RootKey which) override { return real_.Root(which); }
  RegStatus OpenKey(RegHandle, const std::wstring&, std::uint32_t, RegHandle*) override { return kDenied; }
  RegStatus CreateKey(RegHandle, const std::wstring&, std::uint32_t, RegHandle*) override { return kDenied; }
  RegStatus SetDefaultString(RegHandle, const std::wstring&) override { return kDenied; }
  RegStatus QuerySubKeys(RegHandle, std::uint32_t*, std::uint32_t*) override { return kDenied; }
  RegStatus CountValues(RegHandle, std::uint32_t*) override { return kDenied; }
  RegStatus EnumSubKey(RegHandle, std::uint32_t, std::uint32_t, std::wstring*) override { return kDenied; }
  RegStatus DeleteKey(RegHandle, const std::wstring&) override { return kDenied; }
  RegStatus CloseKey(RegHandle) override { return kDenied; }

 private:
  static constexpr RegStatus kDenied = ERROR_ACCESS_DENIED;
  RegistryApi& real_;
};

// The input deleted, but the folder's flush after it failed.
class FlushFailingDeletable final : public DeletableFile {
 public:
  explicit FlushFailingDeletable(std::unique_ptr<DeletableFile> real) : real_(std::move(real)) {}
  FileError Identity(FileIdentity* named) override { return real_->Identity(named); }
  bool Held(FileIdentity* held) override { return real_->Held(held); }
  Removed Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    Removed removed = real_->Delete(expected, outputStands);
    if (removed.removal != Removal::Deleted) return removed;
    return {Removal::DeletedNotDurable, FileError::Win32(ERROR_IO_DEVICE, FileOp::Flush), {}};
  }

 private:
  std::unique_ptr<DeletableFile> real_;
};

class FlushFailingInput final : public HeldFile {
 public:
  explicit FlushFailingInput(std::unique_ptr<HeldFile> real) : real_(std::move(real)) {}
  std::uint64_t Size() const override { return real_->Size(); }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return real_->ReadAt(offset, buffer, length);
  }
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return real_->ReadPastCache(offset, buffer, length);
  }
  FileMetadata Metadata() const override { return real_->Metadata(); }
  Opened<DeletableFile> ForDelete(const std::wstring& path) override {
    Opened<DeletableFile> opened = real_->ForDelete(path);
    if (opened.file) opened.file = std::make_unique<FlushFailingDeletable>(std::move(opened.file));
    return opened;
  }

 private:
  std::unique_ptr<HeldFile> real_;
};

class FlushFailingFileSystem final : public FileSystem {
 public:
  Opened<InputFile> OpenRead(const std::wstring& path) override { return real_.OpenRead(path); }
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override { return real_.CreateTemp(finalPath); }
  FileError Identify(const std::wstring& path, FileIdentity* seen) override { return real_.Identify(path, seen); }
  PathKind Kind(const std::wstring& path, FileError* error) override { return real_.Kind(path, error); }
  Taken OpenHeld(const std::wstring& path) override {
    Taken taken = real_.OpenHeld(path);
    if (taken.file) taken.file = std::make_unique<FlushFailingInput>(std::move(taken.file));
    return taken;
  }
  Hold HoldExisting(const std::wstring& path) override { return real_.HoldExisting(path); }
  void RemoveLeftovers(const std::wstring& path) override { real_.RemoveLeftovers(path); }
  std::vector<std::wstring> WhoHolds(const std::wstring& path) override { return real_.WhoHolds(path); }

 private:
  Win32FileSystem real_;
};

}  // namespace

std::unique_ptr<FileSystem> JobFileSystem() {
  if (FaultRequested(L"deleteflush")) return std::make_unique<FlushFailingFileSystem>();
  return std::make_unique<Win32FileSystem>();
}

RegistryApi& ShellRegistry() {
  static DeniedRegistry denied(PlatformRegistry());
  return FaultRequested(L"registry") ? static_cast<RegistryApi&>(denied) : PlatformRegistry();
}

void ApplyFaultInjection() {
  if (FaultRequested(L"thread")) {
    TThread::SetCreateThreadForTesting([](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    });
  }
  if (FaultRequested(L"syncevent")) {
    // A worker's first synchronous call (the repaint) gets its event; its
    // last one, the completion after the work, does not.
    TThread::SetCreateSyncEventForTesting([]() -> HANDLE {
      thread_local int calls = 0;
      if (++calls == 1) return CreateEventW(nullptr, TRUE, FALSE, nullptr);
      SetLastError(ERROR_NO_SYSTEM_RESOURCES);
      return nullptr;
    });
  }
}

}  // namespace ferrune
