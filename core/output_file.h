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

  // CannotWrite when no temporary file can be made. `from` is what the
  // output takes from its input, given to it before it has its name.
  Outcome Create(std::uint64_t expectedSize, FileMetadata from, WrittenFile::Reads reads);
  // Runs `proof` on its own thread; it reads written() and says whether the
  // output is right: Success, CannotWrite when it cannot be read back,
  // Failed when it differs. `stop` wakes it when the work gives up.
  Outcome StartProof(std::function<Outcome()> proof, std::function<void()> stop = {});

  Outcome Append(const std::uint8_t* data, std::size_t length);
  Outcome FlushAndFinish();
  // Waits for the proof and gives its outcome.
  Outcome AwaitProof();
  // The input's dates, attributes and mark, then the rename into place,
  // which replaces nothing; after it the operation is done (NotDurable too).
  // An output that cannot take its mark is removed: without it, it would
  // open without the warning its input carried.
  Outcome Commit();

  WrittenFile& written() { return *written_; }

 private:
  void StopProof();

  StreamFiles& fs_;
  const std::wstring finalPath_;
  FileMetadata from_;
  std::unique_ptr<TempFile> temp_;
  std::unique_ptr<WrittenFile> written_;
  std::thread proofThread_;
  std::function<void()> stopProof_;
  Outcome proofOutcome_ = Outcome::Failed;
};

}  // namespace ferrune
