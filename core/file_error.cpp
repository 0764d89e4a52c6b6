#include "core/file_error.h"

namespace ferrune {

std::string_view FileOpName(FileOp op) {
  switch (op) {
    case FileOp::Open: return "open";
    case FileOp::Hold: return "hold";
    case FileOp::Read: return "read";
    case FileOp::ReadPastCache: return "read past the cache";
    case FileOp::Write: return "write";
    case FileOp::Flush: return "flush";
    case FileOp::Stamp: return "stamp";
    case FileOp::Create: return "create";
    case FileOp::Commit: return "commit";
    case FileOp::SetAside: return "set aside";
    case FileOp::PutBack: return "put back";
    case FileOp::Delete: return "delete";
    case FileOp::Identify: return "identify";
  }
  return "?";
}

}  // namespace ferrune
