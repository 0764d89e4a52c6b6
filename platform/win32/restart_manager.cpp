#include "platform/win32/restart_manager.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "core/unique_any.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

// Room for the usual answer (one or two programs) in the first call.
constexpr UINT kFirstRoom = 4;
// A longer list tells the user nothing more, and a count from a broken
// service must not decide how much memory is taken.
constexpr UINT kMostProcesses = 64;

struct EndSessionOf {
  RestartManager* rm;
  void operator()(DWORD session) const { rm->EndSession(session); }
};
// Zero is a session like any other; no session is ever ~0.
using Session = UniqueAny<DWORD, EndSessionOf, NoneIs<DWORD, -1>>;

class SystemManager final : public RestartManager {
 public:
  DWORD StartSession(DWORD* session) override {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    return RmStartSession(session, 0, key);
  }
  DWORD RegisterFile(DWORD session, const std::wstring& path) override {
    LPCWSTR files[] = {path.c_str()};
    return RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr);
  }
  DWORD GetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes) override {
    DWORD reasons = 0;
    return RmGetList(session, needed, count, processes, &reasons);
  }
  DWORD EndSession(DWORD session) override { return RmEndSession(session); }
  std::wstring ImageName(const RM_UNIQUE_PROCESS& process) override {
    const UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.dwProcessId));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!handle || !GetProcessTimes(handle.get(), &created, &exited, &kernel, &user) ||
        CompareFileTime(&created, &process.ProcessStartTime) != 0) {
      return {};
    }
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(handle.get(), 0, image.data(), &size)) return {};
    image.resize(size);
    return image.substr(image.find_last_of(L'\\') + 1);
  }
};

// `path` as programs name their files and modules ("C:\x", "\\server\share\x"),
// which is what the Restart Manager compares with. A long path that would
// read otherwise without its prefix stays as it is: a name that ends in a dot
// or a space (the system drops them), a '/', a path too long.
std::wstring PlainForm(const std::wstring& path) {
  std::wstring plain;
  if (path.starts_with(LR"(\\?\UNC\)")) {
    plain = L"\\\\" + path.substr(8);
  } else if (path.starts_with(LR"(\\?\)") && path.size() > 6 && path[5] == L':' && path[6] == L'\\') {
    plain = path.substr(4);
  } else {
    return path;
  }
  if (plain.size() >= MAX_PATH || plain.find(L'/') != std::wstring::npos) return path;
  for (std::size_t i = 1; i <= plain.size(); ++i) {
    const bool nameEnds = i == plain.size() || plain[i] == L'\\';
    if (nameEnds && (plain[i - 1] == L'.' || plain[i - 1] == L' ')) return path;
  }
  return plain;
}

// The processes that hold `path`, or none when any call fails. The session
// ends before the caller looks further.
std::vector<RM_PROCESS_INFO> ListHolders(const std::wstring& path, RestartManager& rm) {
  DWORD handle = 0;
  if (rm.StartSession(&handle) != ERROR_SUCCESS) return {};
  const Session session(handle, EndSessionOf{&rm});
  if (rm.RegisterFile(session.get(), PlainForm(path)) != ERROR_SUCCESS) return {};
  std::vector<RM_PROCESS_INFO> processes(kFirstRoom);
  UINT needed = 0, count = kFirstRoom;
  DWORD error = rm.GetList(session.get(), &needed, &count, processes.data());
  // One retry: a list that grows again meanwhile is changing too fast to tell.
  if (error == ERROR_MORE_DATA && needed <= kMostProcesses) {
    processes.resize(needed);
    count = needed;
    error = rm.GetList(session.get(), &needed, &count, processes.data());
  }
  if (error != ERROR_SUCCESS) return {};
  processes.resize(std::min<std::size_t>(count, processes.size()));
  return processes;
}

// A program chooses its own name: as one line, so that no control character
// breaks the line it goes into or steers a terminal.
std::wstring OneLine(std::wstring name) {
  for (wchar_t& c : name) {
    if (c < L' ' || (c >= 0x7F && c <= 0x9F)) c = L' ';
  }
  const auto first = name.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  return name.substr(first, name.find_last_not_of(L' ') - first + 1);
}

}  // namespace

RestartManager& SystemRestartManager() {
  static SystemManager manager;
  return manager;
}

std::vector<std::wstring> ProgramsHolding(const std::wstring& path, RestartManager& rm) {
  std::vector<std::wstring> names;
  for (const RM_PROCESS_INFO& process : ListHolders(path, rm)) {
    if (process.Process.dwProcessId == GetCurrentProcessId()) continue;
    std::wstring name = OneLine({process.strAppName, wcsnlen(process.strAppName, std::size(process.strAppName))});
    if (name.empty()) name = OneLine(rm.ImageName(process.Process));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

}  // namespace ferrune
