#include "tests/support/faulty_file_system.h"

namespace merva {

namespace {

class TFaultyFile : public IFileHandle {
 public:
  TFaultyFile(TFaultyFileSystem& owner, std::unique_ptr<IFileHandle> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    return owner_.ShouldFail(TFileOp::kRead) ? owner_.Code() : inner_->Read(buffer, count, done);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    return owner_.ShouldFail(TFileOp::kWrite) ? owner_.Code() : inner_->Write(buffer, count, done);
  }
  int Seek(int64_t position) override {
    return owner_.ShouldFail(TFileOp::kSeek) ? owner_.Code() : inner_->Seek(position);
  }
  int Size(int64_t& size) override {
    return owner_.ShouldFail(TFileOp::kSize) ? owner_.Code() : inner_->Size(size);
  }
  int Position(int64_t& position) override {
    return owner_.ShouldFail(TFileOp::kPosition) ? owner_.Code() : inner_->Position(position);
  }
  int Flush() override {
    return owner_.ShouldFail(TFileOp::kFlush) ? owner_.Code() : inner_->Flush();
  }
  int Close() override {
    // The handle is released even when the close reports a failure, as the system does.
    const int result = inner_->Close();
    return owner_.ShouldFail(TFileOp::kClose) ? owner_.Code() : result;
  }

 private:
  TFaultyFileSystem& owner_;
  std::unique_ptr<IFileHandle> inner_;
};

}  // namespace

std::set<TFileOp> TFaultyFileSystem::AllOps() {
  std::set<TFileOp> all;
  for (int op = 0; op <= static_cast<int>(TFileOp::kMoveFolder); ++op)
    all.insert(static_cast<TFileOp>(op));
  return all;
}

void TFaultyFileSystem::FailAt(uint64_t nth, int code, std::set<TFileOp> kinds) {
  fail_at_ = nth;
  code_ = code;
  kinds_ = std::move(kinds);
  count_ = 0;
  fired_ = false;
}

bool TFaultyFileSystem::ShouldFail(TFileOp op) {
  if (!kinds_.count(op)) return false;
  // A helper thread of the run (a flush beside the writing) may come here too.
  const uint64_t nth = ++count_;
  if (fail_at_ == 0 || nth != fail_at_) return false;
  fired_ = true;
  return true;
}

int TFaultyFileSystem::Open(const std::string& path, TOpenAccess access,
                            std::unique_ptr<IFileHandle>& handle) {
  if (ShouldFail(TFileOp::kOpen)) return code_;
  std::unique_ptr<IFileHandle> inner;
  const int result = inner_.Open(path, access, inner);
  if (result == 0) handle = std::make_unique<TFaultyFile>(*this, std::move(inner));
  return result;
}

int TFaultyFileSystem::Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) {
  if (ShouldFail(TFileOp::kCreate)) return code_;
  std::unique_ptr<IFileHandle> inner;
  const int result = inner_.Create(path, inner);
  if (result == 0) handle = std::make_unique<TFaultyFile>(*this, std::move(inner));
  return result;
}

bool TFaultyFileSystem::DeleteFile(const std::string& path) {
  return !ShouldFail(TFileOp::kDelete) && inner_.DeleteFile(path);
}

int TFaultyFileSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  if (ShouldFail(TFileOp::kMove)) return code_ != 0 ? code_ : 1;  // a move fails with some code
  return inner_.MoveFileReplace(from, to);
}

bool TFaultyFileSystem::CreateDirectory(const std::string& path) {
  return !ShouldFail(TFileOp::kCreateDirectory) && inner_.CreateDirectory(path);
}

bool TFaultyFileSystem::RemoveDirectory(const std::string& path) {
  return !ShouldFail(TFileOp::kRemoveDirectory) && inner_.RemoveDirectory(path);
}

bool TFaultyFileSystem::ListFolder(const std::string& path, std::vector<std::string>& names) {
  return !ShouldFail(TFileOp::kList) && inner_.ListFolder(path, names);
}

int TFaultyFileSystem::MoveFolder(const std::string& from, const std::string& to) {
  return ShouldFail(TFileOp::kMoveFolder) ? code_ : inner_.MoveFolder(from, to);
}

TAccessSpy::TAccessSpy() : TFaultyFileSystem(SystemFileSystem()) {}

}  // namespace merva
