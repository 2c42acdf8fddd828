#include "tests/support/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"

namespace merva {

namespace {

class TMemoryFile : public IFileHandle {
 public:
  TMemoryFile(std::shared_ptr<TMemoryFileSystem::Bytes> data, bool writable, size_t limit)
      : data_(std::move(data)), writable_(writable), limit_(limit) {}
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    const size_t size = data_->size();
    done = position_ >= size ? 0 : static_cast<uint32_t>(std::min<size_t>(count, size - position_));
    if (done) std::memcpy(buffer, data_->data() + position_, done);
    position_ += done;
    return 0;
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    done = 0;
    if (!writable_) return kAccessDenied;
    if (position_ + count > limit_) return kDiskFull;
    if (data_->size() < position_ + count) data_->resize(position_ + count);
    std::memcpy(data_->data() + position_, buffer, count);
    position_ += count;
    done = count;
    return 0;
  }
  int Seek(int64_t position) override {
    if (position < 0) return 131;
    position_ = static_cast<size_t>(position);
    return 0;
  }
  int Size(int64_t& size) override {
    size = static_cast<int64_t>(data_->size());
    return 0;
  }
  int Position(int64_t& position) override {
    position = static_cast<int64_t>(position_);
    return 0;
  }
  int Flush() override { return 0; }
  int Close() override { return 0; }

 private:
  std::shared_ptr<TMemoryFileSystem::Bytes> data_;
  bool writable_;
  size_t limit_;
  size_t position_ = 0;
};

}  // namespace

std::string TMemoryFileSystem::Key(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '/', '\\');
  while (key.size() > 1 && key.back() == '\\') key.pop_back();
  return key;
}

std::string TMemoryFileSystem::Parent(const std::string& key) {
  const auto slash = key.find_last_of('\\');
  return slash == std::string::npos ? "" : key.substr(0, slash);
}

void TMemoryFileSystem::Put(const std::string& path, const std::string& data) {
  files_[Key(path)] = std::make_shared<Bytes>(data.begin(), data.end());
}

const TMemoryFileSystem::Bytes* TMemoryFileSystem::Get(const std::string& path) const {
  const auto it = files_.find(Key(path));
  return it == files_.end() ? nullptr : it->second.get();
}

int TMemoryFileSystem::Open(const std::string& path, TOpenAccess access,
                            std::unique_ptr<IFileHandle>& handle) {
  const auto it = files_.find(Key(path));
  if (it == files_.end()) return DirectoryExists(path) ? kAccessDenied : kFileNotFound;
  handle = std::make_unique<TMemoryFile>(it->second, access != TOpenAccess::kReadOnly, limit_);
  return 0;
}

int TMemoryFileSystem::Create(const std::string& path, std::unique_ptr<IFileHandle>& handle) {
  const std::string key = Key(path);
  const std::string parent = Parent(key);
  if (!parent.empty() && !directories_.count(parent)) return kPathNotFound;
  if (directories_.count(key)) return kAccessDenied;
  auto data = std::make_shared<Bytes>();
  files_[key] = data;
  handle = std::make_unique<TMemoryFile>(data, true, limit_);
  return 0;
}

bool TMemoryFileSystem::DirectoryExists(const std::string& path) {
  return directories_.count(Key(path)) > 0;
}

bool TMemoryFileSystem::DeleteFile(const std::string& path) {
  if (readOnly_.count(Key(path))) return false;
  return files_.erase(Key(path)) > 0;
}

int TMemoryFileSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  const auto it = files_.find(Key(from));
  const std::string target = Key(to);
  const std::string parent = Parent(target);
  if (it == files_.end()) return kFileNotFound;
  if (!parent.empty() && !directories_.count(parent)) return kPathNotFound;
  if (directories_.count(target) || readOnly_.count(target)) return kAccessDenied;
  if (readOnly_.erase(Key(from))) readOnly_.insert(target);
  auto data = it->second;
  files_.erase(it);
  files_[target] = data;
  return 0;
}

bool TMemoryFileSystem::CreateDirectory(const std::string& path) {
  const std::string key = Key(path);
  const std::string parent = Parent(key);
  if (files_.count(key) || directories_.count(key)) return false;
  if (!parent.empty() && !directories_.count(parent)) return false;
  directories_.insert(key);
  made_[key] = ++folders_;
  return true;
}

bool TMemoryFileSystem::RemoveDirectory(const std::string& path) {
  const std::string key = Key(path);
  for (const auto& [file, data] : files_)
    if (Parent(file) == key) return false;
  made_.erase(key);
  return directories_.erase(key) > 0;
}

bool TMemoryFileSystem::ListFolder(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  const std::string key = Key(path);
  if (!directories_.count(key)) return false;
  for (const auto& [file, data] : files_)
    if (Parent(file) == key) names.push_back(file.substr(key.size() + 1));
  for (const std::string& folder : directories_)
    if (Parent(folder) == key) names.push_back(folder.substr(key.size() + 1));
  return true;
}

namespace {
class TMemoryLock : public IHeldLock {
 public:
  TMemoryLock(std::shared_ptr<std::set<std::string>> locks, std::string key)
      : locks_(std::move(locks)), key_(std::move(key)) {}
  ~TMemoryLock() override { locks_->erase(key_); }

 private:
  std::shared_ptr<std::set<std::string>> locks_;
  std::string key_;
};
}  // namespace

int TMemoryFileSystem::LockExclusive(const std::string& path, std::unique_ptr<IHeldLock>& held) {
  const std::string key = Key(path);
  const auto slash = key.find_last_of('\\');
  if (slash != std::string::npos && !directories_.count(key.substr(0, slash))) return kPathNotFound;
  if (!locks_->insert(key).second) return kSharingViolation;
  held = std::make_unique<TMemoryLock>(locks_, key);
  return 0;
}

int TMemoryFileSystem::MoveFolder(const std::string& from, const std::string& to) {
  const std::string source = Key(from), target = Key(to);
  if (!directories_.count(source)) return kPathNotFound;
  if (files_.count(target) || directories_.count(target)) return 183;  // already exists
  if (!Parent(target).empty() && !directories_.count(Parent(target))) return kPathNotFound;
  const auto moved = [&](const std::string& key) {
    return key == source || key.compare(0, source.size() + 1, source + "\\") == 0;
  };
  std::map<std::string, std::shared_ptr<Bytes>> files;
  for (auto& [key, data] : files_)
    files[moved(key) ? target + key.substr(source.size()) : key] = data;
  std::set<std::string> directories;
  for (const std::string& key : directories_)
    directories.insert(moved(key) ? target + key.substr(source.size()) : key);
  std::map<std::string, uint64_t> made;  // a folder moved is the same folder
  for (const auto& [key, number] : made_)
    made[moved(key) ? target + key.substr(source.size()) : key] = number;
  files_.swap(files);
  directories_.swap(directories);
  made_.swap(made);
  return 0;
}

}  // namespace merva
