// Who holds a file, over a Restart Manager that answers as each row says.
#include "platform/win32/restart_manager.h"

#include <gtest/gtest.h>

namespace ferrune {
namespace {

const std::wstring kThisProcess = L"(this process)", kPath = LR"(\\?\C:\t1\report.docx)", kPlain = kPath.substr(4);

struct Row {
  std::vector<std::wstring> apps, names;  // apps: processes 1000, 1001, ... of images holder1000, ...
  std::wstring log;  // the calls by their letters: Start, Register (? for another form of the path), List, End
  DWORD startError = 0, registerError = 0, listError = 0, grow = 0;  // grow: holders added meanwhile
};

struct FakeRestartManager : RestartManager, Row {
  std::wstring calls;
  explicit FakeRestartManager(const Row& row) : Row(row) {}
  DWORD StartSession(DWORD* session) override { return calls += L'S', *session = 0, startError; }
  DWORD RegisterFile(DWORD, const std::wstring& p) override {
    return calls += p == kPlain ? L'R' : L'?', registerError;
  }
  DWORD GetList(DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO* out) override {
    calls += L'L';
    if (listError != 0) return listError;
    *needed = static_cast<UINT>(apps.size());
    if (*count < *needed) return apps.resize(*needed + grow, L"late"), ERROR_MORE_DATA;
    for (UINT i = *count = *needed; i-- > 0;) {
      out[i] = {{apps[i] == kThisProcess ? GetCurrentProcessId() : 1000 + i, {}}, {}, {}, RmUnknownApp, 0, 0, 0};
      apps[i].copy(out[i].strAppName, CCH_RM_MAX_APP_NAME);
    }
    return ERROR_SUCCESS;
  }
  DWORD EndSession(DWORD) override { return calls += L'E', ERROR_SUCCESS; }
  std::wstring ImageName(const RM_UNIQUE_PROCESS& p) override { return L"holder" + std::to_wstring(p.dwProcessId); }
};

TEST(RestartManager, NamesEachHolderOnceOrNoneAndAlwaysEndsTheSession) {
  const Row rows[] = {
      {{L"Microsoft Word"}, {L"Microsoft Word"}, L"SRLE"},
      {{L"Microsoft Word", L"Notepad", L"Microsoft Word"}, {L"Microsoft Word", L"Notepad"}, L"SRLE"},
      {{L"", L"\t", L" Evil\x1b[2J\n", kThisProcess}, {L"holder1000", L"holder1001", L"Evil [2J"}, L"SRLE"},
      {{L"A", L"B", L"C", L"D", L"E"}, {L"A", L"B", L"C", L"D", L"E"}, L"SRLLE"},
      {{L"A", L"B", L"C", L"D", L"E"}, {}, L"SRLLE", 0, 0, 0, 1},
      {{L"A"}, {}, L"S", ERROR_SEM_TIMEOUT},
      {{L"A"}, {}, L"SRE", 0, ERROR_ACCESS_DENIED},
      {{L"A"}, {}, L"SRLE", 0, 0, ERROR_WRITE_FAULT},
  };
  for (const Row& row : rows) {
    FakeRestartManager rm(row);
    EXPECT_EQ(ProgramsHolding(kPath, rm), row.names) << row.log;
    EXPECT_EQ(rm.calls, row.log) << "each call in turn, the fault reached, the session ended once";
  }
}

}  // namespace
}  // namespace ferrune
