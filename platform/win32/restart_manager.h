// Which programs hold a file open, from the Restart Manager (rstrtmgr.dll,
// part of every supported Windows), so that "in use" can name them.
//
// Ask only after the system refused the file (a sharing violation or a
// lock), never on the way of a job that works: a session has the system look
// through its running processes. Deciding when is the caller's business.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <restartmanager.h>
// clang-format on

#include <string>
#include <vector>

namespace ferrune {

// The calls of the Restart Manager that ProgramsHolding makes, each
// returning the system's error code as its function does: the system's, and
// a fake in the tests (Wine's answers nothing to test against).
class RestartManager {
 public:
  virtual ~RestartManager() = default;
  // RmStartSession; on success `session` is to be ended by EndSession.
  virtual DWORD StartSession(DWORD* session) = 0;
  // RmRegisterResources with this one file.
  virtual DWORD RegisterFile(DWORD session, const std::wstring& path) = 0;
  // RmGetList: `count` is the room in `processes` and then how many were
  // written; `needed` how many there are (ERROR_MORE_DATA: more than room).
  virtual DWORD GetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes) = 0;
  virtual DWORD EndSession(DWORD session) = 0;
  // The file name of the process's image ("notepad.exe"); empty when it
  // cannot be had or the id now names a process started since.
  virtual std::wstring ImageName(const RM_UNIQUE_PROCESS& process) = 0;
};

// The real one, over rstrtmgr.dll. Stateless, so one serves every thread.
RestartManager& SystemRestartManager();

// The names of the programs that hold `path` (a full path, in "\\?\" form or
// not) open, as the system shows them ("Microsoft Word"), else their image
// names; each once, in the system's order, one line each, this process left
// out. Empty whenever the list cannot be had: then the caller says "in use"
// without names.
std::vector<std::wstring> ProgramsHolding(const std::wstring& path, RestartManager& rm);

}  // namespace ferrune
