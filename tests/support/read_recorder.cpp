#include "tests/support/read_recorder.h"

namespace merva::test {

namespace {

// Passes everything to the inner handle and records where each read started. A copy inside the
// system is refused, so that every byte goes through Read and is seen.
class TRecordingHandle : public IFileHandle {
 public:
  TRecordingHandle(std::unique_ptr<IFileHandle> inner, std::vector<TRead>& reads)
      : inner_(std::move(inner)), reads_(reads) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    int64_t at = 0;
    const int code = inner_->Position(at);
    if (code != 0) return code;
    const int read = inner_->Read(buffer, count, done);
    if (read == 0 && done > 0) reads_.push_back({at, done});
    return read;
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    return inner_->Write(buffer, count, done);
  }
  int Seek(int64_t position) override { return inner_->Seek(position); }
  int Size(int64_t& size) override { return inner_->Size(size); }
  int Position(int64_t& position) override { return inner_->Position(position); }
  int Flush() override { return inner_->Flush(); }
  int Close() override { return inner_->Close(); }

 private:
  std::unique_ptr<IFileHandle> inner_;
  std::vector<TRead>& reads_;
};

}  // namespace

int TReadRecorder::Open(const std::string& path, TOpenAccess access,
                        std::unique_ptr<IFileHandle>& handle) {
  const int code = inner_.Open(path, access, handle);
  if (code == 0 && path == watched_)
    handle = std::make_unique<TRecordingHandle>(std::move(handle), reads_);
  return code;
}

}  // namespace merva::test
