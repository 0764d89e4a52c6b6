// The thread base of the workers, and the synchronous call onto the
// user-interface thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>

#include "platform/win32/win_handles.h"

namespace ferrune {

// The window posted WM_NULL when a worker queues a call.
void SetWakeUpWindow(HWND window);
// Runs every queued call in order of arrival; the loop calls it.
void ServeSynchronizeQueue();
// Calls queued and not yet served.
std::size_t PendingSynchronizeCalls();

class TThread {
 public:
  using CompletionHandler = std::function<void(TThread* sender)>;

  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Makes the object, then resumes its thread. Throws ferrune::Error with a
  // thread text of core/texts.h and the system's message. The object owns
  // itself and may be gone by the time this returns, so the caller gets only
  // a duplicate of the thread's handle (null if it could not be made), taken
  // before the thread ran, for outwaiting it.
  template <typename T, typename... Args>
  static UniqueHandle Start(CompletionHandler onTerminate, Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    thread->onTerminate_ = std::move(onTerminate);
    UniqueHandle copy;
    try {
      thread->CreateSuspended();
      copy.reset(thread->DuplicateThreadHandle());
      thread->Resume();
    } catch (...) {
      delete thread;
      throw;
    }
    return copy;
  }

  // Runs `call` on the user-interface thread and returns when it has; an
  // error it raised is raised again here.
  void Synchronize(const std::function<void()>& call);

  void RequestTerminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  std::exception_ptr FatalException() const { return fatal_; }

  // Test seams: how the platform thread is made (CreateThread by default),
  // and the event a worker's synchronous call waits on (a manual-reset
  // CreateEventW by default).
  using CreateThreadFn = HANDLE (*)(LPTHREAD_START_ROUTINE, void*, DWORD* id);
  static void SetCreateThreadForTesting(CreateThreadFn fn);
  using CreateEventFn = HANDLE (*)();
  static void SetCreateSyncEventForTesting(CreateEventFn fn);

 protected:
  TThread() = default;
  virtual void Execute() = 0;
  virtual void DoTerminate();

 private:
  friend void ServeSynchronizeQueue();

  void CreateSuspended();
  void Resume();
  HANDLE DuplicateThreadHandle() const;
  // The last steps of the thread procedure, run on the user-interface thread
  // when the completion could not be called synchronously.
  static void CompleteHandedOver(TThread* thread);
  static DWORD WINAPI ThreadProc(void* self);

  UniqueHandle handle_;
  DWORD id_ = 0;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool freeOnTerminate_ = true;
  DWORD returnValue_ = 0;
  std::exception_ptr fatal_;
  CompletionHandler onTerminate_;
};

}  // namespace ferrune
