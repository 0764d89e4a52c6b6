#include "app/toolkit/thread.h"

#include <deque>
#include <mutex>
#include <string>

#include "app/toolkit/application.h"
#include "app/toolkit/error.h"
#include "core/texts.h"

namespace ferrune {
namespace {

struct SyncRequest {
  const std::function<void()>* call;
  HANDLE done;
  std::exception_ptr error;
};

std::mutex g_queueLock;
std::deque<SyncRequest*> g_queue;
// Ended workers whose completion the loop runs, since no event could be made
// for the synchronous call.
std::deque<TThread*> g_handedOver;
HWND g_wakeUpWindow = nullptr;
TThread::CreateThreadFn g_createThread = nullptr;
TThread::CreateEventFn g_createEvent = nullptr;

// A synchronous call that could not be queued: it had no event to wait on.
class NoSyncEvent : public Error {
 public:
  using Error::Error;
};

std::wstring SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result(text ? text : L"", n);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
    result.pop_back();
  return result;
}

}  // namespace

void SetWakeUpWindow(HWND window) { g_wakeUpWindow = window; }

void ServeSynchronizeQueue() {
  for (;;) {
    SyncRequest* request = nullptr;
    TThread* ended = nullptr;
    {
      std::lock_guard<std::mutex> lock(g_queueLock);
      if (!g_queue.empty()) {
        request = g_queue.front();
        g_queue.pop_front();
      } else if (!g_handedOver.empty()) {
        ended = g_handedOver.front();
        g_handedOver.pop_front();
      } else {
        return;
      }
    }
    if (ended) {
      TThread::CompleteHandedOver(ended);
      continue;
    }
    try {
      (*request->call)();
    } catch (...) {
      request->error = std::current_exception();
    }
    SetEvent(request->done);
  }
}

std::size_t PendingSynchronizeCalls() {
  std::lock_guard<std::mutex> lock(g_queueLock);
  return g_queue.size();
}

void TThread::SetCreateThreadForTesting(CreateThreadFn fn) { g_createThread = fn; }
void TThread::SetCreateSyncEventForTesting(CreateEventFn fn) { g_createEvent = fn; }

TThread::~TThread() = default;

void TThread::Synchronize(const std::function<void()>& call) {
  if (GetCurrentThreadId() == TApplication::Instance().MainThreadId()) {
    call();
    return;
  }
  UniqueHandle done(g_createEvent ? g_createEvent() : CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) throw NoSyncEvent(texts::kThreadError + SystemMessage(GetLastError()));
  SyncRequest request{&call, done.get(), nullptr};
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.push_back(&request);
  }
  PostMessageW(g_wakeUpWindow, WM_NULL, 0, 0);
  WaitForSingleObject(done.get(), INFINITE);
  if (request.error) std::rethrow_exception(request.error);
}

HANDLE TThread::DuplicateThreadHandle() const {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle_.get(), GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
    return nullptr;
  return copy;
}

void TThread::CreateSuspended() {
  HANDLE h = g_createThread ? g_createThread(&ThreadProc, this, &id_)
                            : CreateThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &id_);
  if (!h) throw Error(texts::kThreadCreationError + SystemMessage(GetLastError()));
  handle_.reset(h);
  // Below the window's thread, so that it repaints and answers a close at
  // once while the work has both cores.
  SetThreadPriority(h, THREAD_PRIORITY_BELOW_NORMAL);
}

void TThread::Resume() {
  if (ResumeThread(handle_.get()) == DWORD(-1)) {
    const DWORD code = GetLastError();
    // The thread never ran; end it so that deleting this object is safe.
    TerminateThread(handle_.get(), 0);
    throw Error(texts::kThreadError + SystemMessage(code) + L" (" + std::to_wstring(code) + L")");
  }
}

// The completion runs on the window's thread while this one waits, and the
// object goes only after it. So the handler reads the job's results (and
// what the work left in process-wide values) without a lock, the call
// ordering the worker's writes before its reads, from an object that is
// still there.
void TThread::DoTerminate() {
  if (onTerminate_) Synchronize([this] { onTerminate_(this); });
}

DWORD WINAPI TThread::ThreadProc(void* self) {
  auto* thread = static_cast<TThread*>(self);
  if (!thread->terminated_) {
    try {
      thread->Execute();
    } catch (...) {
      thread->fatal_ = std::current_exception();
    }
  }
  const bool freeIt = thread->freeOnTerminate_;
  const DWORD result = thread->returnValue_;
  bool handOver = false;
  try {
    thread->DoTerminate();
  } catch (const NoSyncEvent&) {
    // The work may have changed files, so its completion must still reach
    // the window: the loop runs it from the queue, woken by a posted
    // message, and ends the object there.
    handOver = true;
  } catch (...) {
    // Nothing on this thread may show it; the handler's own errors were its to report.
  }
  if (handOver) {
    {
      std::lock_guard<std::mutex> lock(g_queueLock);
      g_handedOver.push_back(thread);
    }
    // From here the object is the loop's; a full queue only delays the wake-up.
    while (!PostMessageW(g_wakeUpWindow, WM_NULL, 0, 0) && IsWindow(g_wakeUpWindow)) ::Sleep(10);
    return result;
  }
  thread->finished_ = true;
  if (freeIt) delete thread;
  return result;
}

void TThread::CompleteHandedOver(TThread* thread) {
  const bool freeIt = thread->freeOnTerminate_;
  try {
    if (thread->onTerminate_) thread->onTerminate_(thread);
  } catch (...) {
    // As on the synchronous path: the handler's own errors were its to report.
  }
  thread->finished_ = true;
  if (freeIt) delete thread;
}

}  // namespace ferrune
