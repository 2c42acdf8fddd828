#include "tests/support/faulty_file_system.h"

namespace merva {

namespace {

class FaultyFile : public IFileHandle {
 public:
  FaultyFile(FaultyFileSystem& owner, std::unique_ptr<IFileHandle> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    return owner_.ShouldFail(FileOp::kRead) ? owner_.Code() : inner_->Read(buffer, count, done);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    return owner_.ShouldFail(FileOp::kWrite) ? owner_.Code() : inner_->Write(buffer, count, done);
  }
  int Seek(int64_t position) override {
    return owner_.ShouldFail(FileOp::kSeek) ? owner_.Code() : inner_->Seek(position);
  }
  int Size(int64_t& size) override {
    return owner_.ShouldFail(FileOp::kSize) ? owner_.Code() : inner_->Size(size);
  }
  int Position(int64_t& position) override {
    return owner_.ShouldFail(FileOp::kPosition) ? owner_.Code() : inner_->Position(position);
  }
  int Flush() override {
    return owner_.ShouldFail(FileOp::kFlush) ? owner_.Code() : inner_->Flush();
  }
  int Close() override {
    // The handle is released even when the close reports a failure, as the system does.
    const int result = inner_->Close();
    return owner_.ShouldFail(FileOp::kClose) ? owner_.Code() : result;
  }

 private:
  FaultyFileSystem& owner_;
  std::unique_ptr<IFileHandle> inner_;
};

}  // namespace

std::set<FileOp> FaultyFileSystem::AllOps() {
  std::set<FileOp> all;
  for (int op = 0; op <= static_cast<int>(FileOp::kMoveFolder); ++op)
    all.insert(static_cast<FileOp>(op));
  return all;
}

void FaultyFileSystem::FailAt(uint64_t nth, int code, std::set<FileOp> kinds) {
  fail_at_ = nth;
  code_ = code;
  kinds_ = std::move(kinds);
  count_ = 0;
  fired_ = false;
}

bool FaultyFileSystem::ShouldFail(FileOp op) {
  if (!kinds_.count(op)) return false;
  // A helper thread of the run (a flush beside the writing) may come here too.
  const uint64_t nth = ++count_;
  if (fail_at_ == 0 || nth != fail_at_) return false;
  fired_ = true;
  return true;
}

int FaultyFileSystem::Open(const std::string& path, OpenAccess access,
                           std::unique_ptr<IFileHandle>& handle) {
  if (ShouldFail(FileOp::kOpen)) return code_;
  std::unique_ptr<IFileHandle> inner;
  const int result = inner_.Open(path, access, inner);
  if (result == 0) handle = std::make_unique<FaultyFile>(*this, std::move(inner));
  return result;
}

int FaultyFileSystem::Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) {
  if (ShouldFail(FileOp::kCreate)) return code_;
  std::unique_ptr<IFileHandle> inner;
  const int result = inner_.Create(path, inner);
  if (result == 0) handle = std::make_unique<FaultyFile>(*this, std::move(inner));
  return result;
}

bool FaultyFileSystem::DeleteFile(const std::string& path) {
  return !ShouldFail(FileOp::kDelete) && inner_.DeleteFile(path);
}

int FaultyFileSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  if (ShouldFail(FileOp::kMove)) return code_ != 0 ? code_ : 1;  // a move fails with some code
  return inner_.MoveFileReplace(from, to);
}

bool FaultyFileSystem::CreateDirectory(const std::string& path) {
  return !ShouldFail(FileOp::kCreateDirectory) && inner_.CreateDirectory(path);
}

bool FaultyFileSystem::RemoveDirectory(const std::string& path) {
  return !ShouldFail(FileOp::kRemoveDirectory) && inner_.RemoveDirectory(path);
}

bool FaultyFileSystem::ListFolder(const std::string& path, std::vector<std::string>& names) {
  return !ShouldFail(FileOp::kList) && inner_.ListFolder(path, names);
}

int FaultyFileSystem::MoveFolder(const std::string& from, const std::string& to) {
  return ShouldFail(FileOp::kMoveFolder) ? code_ : inner_.MoveFolder(from, to);
}

AccessSpy::AccessSpy() : FaultyFileSystem(SystemFileSystem()) {}

}  // namespace merva
