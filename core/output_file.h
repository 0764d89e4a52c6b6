// One output under construction: a temporary file beside the final name, the
// proof that reads it back on a second thread, and the rename. Whatever has
// not been committed is removed when this goes away.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/file_system.h"
#include "core/outcome.h"
#include "core/written_file.h"

namespace ferrune {

class OutputFile {
 public:
  OutputFile(StreamFiles& fs, std::wstring finalPath) : fs_(fs), finalPath_(std::move(finalPath)) {}
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // CannotWrite when no temporary file can be made.
  Outcome Create(std::uint64_t expectedSize);
  // Runs `proof` on its own thread; it reads written() and says whether the
  // output is right. `stop` wakes it when the work gives up.
  Outcome StartProof(std::function<bool()> proof, std::function<void()> stop = {});

  Outcome Append(const std::uint8_t* data, std::size_t length);
  Outcome FlushAndFinish();
  // Waits for the proof; Failed when it does not hold.
  Outcome AwaitProof();
  // The rename into place; after it the operation is done.
  Outcome Commit();

  WrittenFile& written() { return *written_; }

 private:
  void StopProof();

  StreamFiles& fs_;
  const std::wstring finalPath_;
  std::unique_ptr<TempFile> temp_;
  std::unique_ptr<WrittenFile> written_;
  std::thread proofThread_;
  std::function<void()> stopProof_;
  bool proofHeld_ = false;
};

}  // namespace ferrune
