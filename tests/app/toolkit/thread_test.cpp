// The synchronous call onto the user-interface thread and the thread base.
#include "app/toolkit/thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/toolkit/application.h"

namespace ferrune {
namespace {

// Runs the given work on its thread.
class TestThread : public TThread {
 public:
  explicit TestThread(std::function<void(TestThread&)> work) : work_(std::move(work)) {}
  using TThread::Synchronize;

 protected:
  void Execute() override { work_(*this); }

 private:
  std::function<void(TestThread&)> work_;
};

class SynchronizeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TApplication::Instance().Initialize(GetModuleHandleW(nullptr)); }
  void TearDown() override {
    TThread::SetCreateThreadForTesting(nullptr);
    TThread::SetCreateSyncEventForTesting(nullptr);
  }

  // The loop, until `done` or a time-out.
  static bool RunLoopUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, nullptr);  // wakes the loop to look at the clock
    TApplication::Instance().Run([&] { return done() || GetTickCount() - start > timeoutMs; });
    KillTimer(nullptr, timer);
    return done();
  }

  static bool WaitFor(const std::function<bool()>& ok, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    while (!ok()) {
      if (GetTickCount() - start > timeoutMs) return false;
      Sleep(5);
    }
    return true;
  }
};

TEST_F(SynchronizeTest, ServesCallsInOrderOfArrivalAndOnlyFromTheLoop) {
  std::vector<int> served;
  std::atomic<int> ended{0};
  const DWORD uiThread = GetCurrentThreadId();
  std::atomic<bool> allOnUiThread{true};
  for (int i = 0; i < 3; ++i) {
    TThread::Start<TestThread>([&](TThread*) { ++ended; },
                               [&, i](TestThread& self) {
                                 // Queue only once the ones before are queued, so the order is known.
                                 while (PendingSynchronizeCalls() != std::size_t(i)) Sleep(1);
                                 self.Synchronize([&, i] {
                                   if (GetCurrentThreadId() != uiThread) allOnUiThread = false;
                                   served.push_back(i);
                                 });
                               });
    ASSERT_TRUE(WaitFor([&] { return PendingSynchronizeCalls() == std::size_t(i + 1); }));
  }
  // Not in the loop: the workers wait, nothing has run.
  Sleep(100);
  EXPECT_TRUE(served.empty());
  EXPECT_EQ(PendingSynchronizeCalls(), 3u);
  ASSERT_TRUE(RunLoopUntil([&] { return ended == 3; }));
  EXPECT_EQ(served, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(allOnUiThread);
}

TEST_F(SynchronizeTest, HandsAnErrorBackToTheWorker) {
  std::string caught;
  std::atomic<bool> done{false};
  TThread::Start<TestThread>([&](TThread*) { done = true; },
                             [&](TestThread& self) {
                               try {
                                 self.Synchronize([] { throw std::runtime_error("refused on the UI thread"); });
                               } catch (const std::runtime_error& e) {
                                 caught = e.what();
                               }
                             });
  ASSERT_TRUE(RunLoopUntil([&] { return done.load(); }));
  EXPECT_EQ(caught, "refused on the UI thread");
}

TEST_F(SynchronizeTest, RunsTheCompletionOnceAlsoWhenTheWorkThrows) {
  std::atomic<int> completions{0};
  bool hadFatal = false;
  bool onUiThread = false;
  const DWORD uiThread = GetCurrentThreadId();
  TThread::Start<TestThread>(
      [&](TThread* sender) {
        ++completions;
        hadFatal = sender->FatalException() != nullptr;
        onUiThread = GetCurrentThreadId() == uiThread;
      },
      [](TestThread&) { throw std::runtime_error("work failed"); });
  ASSERT_TRUE(RunLoopUntil([&] { return completions > 0; }));
  // Give a second completion the chance to show up, if there were one.
  RunLoopUntil([] { return false; }, 200);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(hadFatal);
  EXPECT_TRUE(onUiThread);
}

TEST_F(SynchronizeTest, CallsMadeOnTheUiThreadRunAtOnce) {
  bool ran = false;
  std::atomic<bool> done{false};
  // The worker itself only ends; a local object serves to call Synchronize here.
  UniqueHandle thread = TThread::Start<TestThread>([&](TThread*) { done = true; }, [](TestThread&) {});
  ASSERT_TRUE(thread);
  ASSERT_TRUE(RunLoopUntil([&] { return done.load(); }));
  EXPECT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0) << "the handle outlives the worker";
  TestThread local([](TestThread&) {});
  local.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(SynchronizeTest, ACompletionWithoutAnEventStillRunsOnceFromTheLoop) {
  TThread::SetCreateSyncEventForTesting([]() -> HANDLE {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  });
  std::string workSaw;
  std::atomic<int> completions{0};
  bool onUiThread = false, senderAlive = false;
  const DWORD uiThread = GetCurrentThreadId();
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> objectAlive = token;
  TThread::Start<TestThread>(
      [&](TThread* sender) {
        ++completions;
        onUiThread = GetCurrentThreadId() == uiThread;
        senderAlive = !objectAlive.expired() && sender->FatalException() == nullptr;
      },
      [&, token = std::move(token)](TestThread& self) {
        try {
          self.Synchronize([] {});
        } catch (const std::exception& e) {
          workSaw = e.what();
        }
      });
  // Outside the loop nothing runs, even though the worker has ended.
  Sleep(200);
  EXPECT_EQ(completions, 0);
  ASSERT_TRUE(RunLoopUntil([&] { return completions > 0; }));
  RunLoopUntil([] { return false; }, 200);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(onUiThread);
  EXPECT_TRUE(senderAlive) << "the worker is destroyed only after its completion";
  EXPECT_TRUE(objectAlive.expired()) << "and then it is";
  EXPECT_EQ(workSaw.rfind("Thread Error: ", 0), 0u) << workSaw;
}

TEST_F(SynchronizeTest, ReportsAThreadThatCannotBeCreated) {
  TThread::SetCreateThreadForTesting([](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  });
  bool completed = false;
  try {
    TThread::Start<TestThread>([&](TThread*) { completed = true; }, [](TestThread&) {});
    FAIL() << "no error raised";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Thread creation error: ", 0), 0u) << e.what();
    EXPECT_GT(std::string(e.what()).size(), std::string("Thread creation error: ").size());
  }
  RunLoopUntil([] { return false; }, 100);
  EXPECT_FALSE(completed);
}

}  // namespace
}  // namespace ferrune
