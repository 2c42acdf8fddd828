#pragma once
// Copies entries of an archive out as files: each named entry's bytes (whole sectors, as the
// archive holds them) into one folder under the entry's own name. Names are matched as the
// installer matches them (ASCII letters in either case); of two entries of one name the first,
// which the game uses, is taken. Nothing is written outside the folder, and nothing at all
// before every name is found and every file may be written.
#include <string>
#include <vector>

#include "operations/operation.h"

namespace merva {

struct TExtracted {
  std::string Name;  // the entry's own name, the file's name in the folder
  int64_t Bytes = 0;
};

class TExtraction {
 public:
  TExtraction(std::string archivePath, std::vector<std::string> names, std::string folder,
              TOperationServices services)
      : archivePath_(std::move(archivePath)),
        names_(std::move(names)),
        folder_(std::move(folder)),
        services_(services) {}
  // An existing file of an entry's name is written over; without it, one is refused.
  void Overwrite(bool overwrite) { overwrite_ = overwrite; }
  std::vector<TExtracted> Run();

 private:
  std::string archivePath_;
  std::vector<std::string> names_;
  std::string folder_;
  TOperationServices services_;
  bool overwrite_ = false;
};

}  // namespace merva
