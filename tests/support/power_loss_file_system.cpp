#include "tests/support/power_loss_file_system.h"

#include <algorithm>

#include "core/errors.h"
#include "tests/support/fakes.h"

namespace merva {

namespace {

class TPowerLossFile : public IFileHandle {
 public:
  TPowerLossFile(TPowerLossFileSystem& fs, std::unique_ptr<IFileHandle> live,
                 std::shared_ptr<TMemoryFileSystem::Bytes> inode)
      : fs_(fs), live_(std::move(live)), inode_(std::move(inode)) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    return live_->Read(buffer, count, done);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    if (!fs_.Operate()) return kAccessDenied;
    return live_->Write(buffer, count, done);
  }
  int Seek(int64_t position) override { return live_->Seek(position); }
  int Size(int64_t& size) override { return live_->Size(size); }
  int Position(int64_t& position) override { return live_->Position(position); }
  int Flush() override {
    if (!fs_.Operate()) return kAccessDenied;
    fs_.Flushed(inode_);
    return 0;
  }
  int Close() override { return live_->Close(); }

 private:
  TPowerLossFileSystem& fs_;
  std::unique_ptr<IFileHandle> live_;
  std::shared_ptr<TMemoryFileSystem::Bytes> inode_;
};

}  // namespace

TPowerLossFileSystem::TPowerLossFileSystem(TMemoryFileSystem& live) : live_(live) {
  for (const auto& [path, inode] : live.Files()) {
    files_[path] = inode;
    bytes_[inode.get()] = *inode;
  }
  folders_ = live.Folders();
}

bool TPowerLossFileSystem::Operate() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (cut_) return false;
  ++operations_;
  if (cutAt_ != 0 && operations_ >= cutAt_) cut_ = true;
  return !cut_;
}

void TPowerLossFileSystem::Flushed(const TInode& inode) {
  const std::lock_guard<std::mutex> lock(mutex_);
  bytes_[inode.get()] = *inode;
}

TPowerLossFileSystem::TInode TPowerLossFileSystem::InodeOf(const std::string& path) const {
  const auto it = live_.Files().find(Key(path));
  return it == live_.Files().end() ? nullptr : it->second;
}

void TPowerLossFileSystem::Note(TChange change) {
  const std::lock_guard<std::mutex> lock(mutex_);
  change.From = Key(change.From);
  change.To = Key(change.To);
  pending_.push_back(std::move(change));
}

int TPowerLossFileSystem::Open(const std::string& path, TOpenAccess access,
                               std::unique_ptr<IFileHandle>& handle) {
  if (cut_) return kAccessDenied;
  std::unique_ptr<IFileHandle> live;
  const int code = live_.Open(path, access, live);
  if (code != 0) return code;
  handle = std::make_unique<TPowerLossFile>(*this, std::move(live), InodeOf(path));
  return 0;
}

int TPowerLossFileSystem::Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) {
  if (!Operate()) return kAccessDenied;
  std::unique_ptr<IFileHandle> live;
  const int code = live_.Create(path, live);
  if (code != 0) return code;
  const TInode inode = InodeOf(path);
  Note({TChange::kCreate, path, "", inode});
  handle = std::make_unique<TPowerLossFile>(*this, std::move(live), inode);
  return 0;
}

bool TPowerLossFileSystem::DeleteFile(const std::string& path) {
  if (!Operate() || !live_.DeleteFile(path)) return false;
  Note({TChange::kDelete, path, "", nullptr});
  return true;
}

int TPowerLossFileSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  if (!Operate()) return kAccessDenied;
  const int code = live_.MoveFileReplace(from, to);
  if (code == 0) Note({TChange::kMove, from, to, nullptr});
  return code;
}

bool TPowerLossFileSystem::CreateDirectory(const std::string& path) {
  if (!Operate() || !live_.CreateDirectory(path)) return false;
  Note({TChange::kMakeFolder, path, "", nullptr});
  return true;
}

bool TPowerLossFileSystem::RemoveDirectory(const std::string& path) {
  if (!Operate() || !live_.RemoveDirectory(path)) return false;
  Note({TChange::kRemoveFolder, path, "", nullptr});
  return true;
}

int TPowerLossFileSystem::MoveFolder(const std::string& from, const std::string& to) {
  if (!Operate()) return kAccessDenied;
  const int code = live_.MoveFolder(from, to);
  if (code == 0) Note({TChange::kMoveFolder, from, to, nullptr});
  return code;
}

int TPowerLossFileSystem::FlushFolder(const std::string& path) {
  if (!Operate()) return kAccessDenied;
  const std::lock_guard<std::mutex> lock(mutex_);
  const std::string folder = Key(path);
  // Everything up to the last change in this folder is committed, in order.
  size_t last = 0;
  for (size_t i = 0; i < pending_.size(); ++i)
    if (Parent(pending_[i].From) == folder ||
        (!pending_[i].To.empty() && Parent(pending_[i].To) == folder))
      last = i + 1;
  for (size_t i = 0; i < last; ++i) Apply(pending_[i]);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(last));
  return 0;
}

void TPowerLossFileSystem::Apply(const TChange& change) {
  const auto inside = [&](const std::string& key) {
    return key.compare(0, change.From.size() + 1, change.From + "\\") == 0;
  };
  switch (change.Kind) {
    case TChange::kCreate:
      files_[change.From] = change.Inode;
      break;
    case TChange::kMove: {
      const auto it = files_.find(change.From);
      if (it == files_.end()) break;
      const TInode inode = it->second;
      files_.erase(it);
      files_[change.To] = inode;
      break;
    }
    case TChange::kDelete:
      files_.erase(change.From);
      break;
    case TChange::kMakeFolder:
      folders_.insert(change.From);
      break;
    case TChange::kRemoveFolder:
      folders_.erase(change.From);
      break;
    case TChange::kMoveFolder: {
      std::map<std::string, TInode> files;
      for (const auto& [key, inode] : files_)
        files[inside(key) ? change.To + key.substr(change.From.size()) : key] = inode;
      std::set<std::string> folders;
      for (const std::string& key : folders_)
        folders.insert(
            key == change.From || inside(key) ? change.To + key.substr(change.From.size()) : key);
      files_.swap(files);
      folders_.swap(folders);
      break;
    }
  }
}

std::unique_ptr<TMemoryFileSystem> TPowerLossFileSystem::AfterCut() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto disk = std::make_unique<TMemoryFileSystem>();
  for (const std::string& folder : folders_) disk->AddDirectory(folder);
  for (const auto& [path, inode] : files_) {
    const auto flushed = bytes_.find(inode.get());
    disk->Put(path, flushed == bytes_.end()
                        ? std::string()
                        : std::string(flushed->second.begin(), flushed->second.end()));
  }
  return disk;
}

namespace test {

std::map<std::string, std::string> DiskOf(const TMemoryFileSystem& fs) {
  std::map<std::string, std::string> tree;
  for (const auto& [path, bytes] : fs.Files())
    tree[path] = "file " + std::string(bytes->begin(), bytes->end());
  for (const std::string& folder : fs.Folders()) tree[folder] = "folder";
  return tree;
}

std::unique_ptr<TMemoryFileSystem> CopyOf(const TMemoryFileSystem& fs) {
  auto copy = std::make_unique<TMemoryFileSystem>();
  for (const std::string& folder : fs.Folders()) copy->AddDirectory(folder);
  for (const auto& [path, bytes] : fs.Files())
    copy->Put(path, std::string(bytes->begin(), bytes->end()));
  return copy;
}

TCutResults CutAtEveryOperation(const TMemoryFileSystem& start,
                                const std::function<void(IFileSystem&)>& run,
                                const std::function<void(TMemoryFileSystem&)>& nextRun) {
  const auto before = DiskOf(start);
  const std::unique_ptr<TMemoryFileSystem> finished = CopyOf(start);
  run(*finished);
  const auto after = DiskOf(*finished);
  TCutResults results;
  for (uint64_t cut = 1;; ++cut) {
    const std::unique_ptr<TMemoryFileSystem> live = CopyOf(start);
    TPowerLossFileSystem disk(*live);
    disk.CutPowerAt(cut);
    try {
      run(disk);
    } catch (const std::exception&) {
      // the power went: what counts is what the disk keeps
    }
    if (!disk.Cut()) break;
    const std::unique_ptr<TMemoryFileSystem> kept = disk.AfterCut();
    nextRun(*kept);
    const auto now = DiskOf(*kept);
    if (now == before) {
      ++results.Before;
    } else if (now == after) {
      ++results.After;
    } else {
      results.Neither.push_back("power cut at " + std::to_string(cut) + ": " +
                                TreeDifference(now, after));
    }
  }
  return results;
}

}  // namespace test
}  // namespace merva
