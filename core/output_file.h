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
  // The temporary file goes after the proof that reads it.
  ~OutputFile() { StopProof(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // CannotWrite when no temporary file can be made. `permissions` are the
  // input's, for the output.
  Outcome Create(std::uint64_t expectedSize, std::uint32_t permissions, WrittenFile::Reads reads);
  // Runs `proof` on its own thread; it reads written() and says whether the
  // output is right: Success, CannotWrite when it cannot be read back,
  // Failed when it differs. `stop` wakes it when the work gives up.
  Outcome StartProof(std::function<Outcome()> proof, std::function<void()> stop = {});

  Outcome Append(const std::uint8_t* data, std::size_t length);
  Outcome FlushAndFinish();
  // Waits for the proof and gives its outcome.
  Outcome AwaitProof();
  // The rename into place; after it the operation is done (NotDurable too).
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
  Outcome proofOutcome_ = Outcome::Failed;
};

}  // namespace ferrune
