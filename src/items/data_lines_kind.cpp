#include "items/data_lines_kind.h"

#include <map>
#include <set>

#include "core/errors.h"
#include "core/text.h"
#include "data/mod_lines.h"
#include "data/model_ids.h"
#include "script/install_items.h"

namespace merva {

namespace {

const TDataRule& RuleOf(const std::string& file) {
  const TDataRule* rule = DataRuleOf(file);
  if (!rule) throw Exception("Merva cannot tell the lines of " + file + " apart by a key.");
  return *rule;
}

class TLinesInFile final : public IItemsInFile {
 public:
  explicit TLinesInFile(std::vector<TDataLine> lines) : lines_(std::move(lines)), index_(lines_) {}

  std::optional<std::string> Find(const std::string& section,
                                  const std::string& key) const override {
    const size_t at = index_.Find(section, key);
    if (at == lines_.size()) return std::nullopt;
    return lines_[at].Text;
  }

 private:
  std::vector<TDataLine> lines_;
  TDataLineIndex index_;
};

class TDataLinesKind final : public IItemKind {
 public:
  const char* Name() const override { return "data line"; }

  std::vector<TItemsForFile> ModItems(const TInstallItems& items,
                                      const TPackageText& read) const override {
    std::vector<TItemsForFile> files;
    std::map<std::string, size_t> byFile;
    std::map<std::string, std::set<std::pair<std::string, std::string>>> keys;
    std::vector<TAutomaticIdUse> automatic;
    for (const TDataLinesItem& item : items.DataLines) {
      if (item.PackageName.empty()) continue;
      const std::optional<std::string> text = read(item.PackageName);
      if (!text) continue;  // a file the package lacks is passed over, as any other item
      const std::string key = GameFileItemKey(item.File);
      const auto [at, added] = byFile.emplace(key, files.size());
      if (added) files.push_back({this, item.File, {}});
      TItemsForFile& file = files[at->second];
      std::vector<TDataEdit> edits =
          ReadModLines(RuleOf(file.File), file.File, *text, item.PackageName);
      NoteAutomaticIds(RuleOf(file.File), edits, item.PackageName, automatic);
      for (TDataEdit& edit : edits) {
        // Two texts of one mod with one key: which line the mod means is not known.
        if (!edit.Key.empty() && !keys[key].insert({edit.Section, edit.Key}).second)
          throw EFileError(item.PackageName, "gives " + edit.Key + " for " + file.File +
                                                 " again, which another of the mod's texts gives");
        file.Edits.push_back(std::move(edit));
      }
    }
    // Each automatic ID stands for one model, whichever of the mod's texts place it.
    AutomaticIdsDefined(automatic);
    return files;
  }

  std::string Put(const std::string& file, const std::string& bytes,
                  const std::vector<TDataEdit>& edits,
                  std::vector<TDataOutcome>& outcomes) const override {
    const TDataRule& rule = RuleOf(file);
    std::vector<TDataLine> lines = ReadDataLines(rule, bytes);
    try {
      outcomes = ApplyDataEdits(rule, lines, edits);
    } catch (const EDataFileOpen& open) {
      throw EFileError(file, open.what());
    }
    return DataBytes(lines);
  }

  bool MakesAnother(const std::string& file, const std::string& section, const std::string& oldText,
                    const std::string& newText) const override {
    const TDataRule& rule = RuleOf(file);
    if (rule.Kind != TDataKind::kIde || section == "txdp") return false;
    // An IDE line's second field is the model that its ID stands for.
    const std::vector<std::string> was = DataFields(rule, oldText), is = DataFields(rule, newText);
    return was.size() > 1 && is.size() > 1 && AsciiLower(was[1]) != AsciiLower(is[1]);
  }

  std::string ModelId(const std::string& file, const std::string& key) const override {
    // An IDE line's key is its model ID, whichever section and file it lies in.
    return RuleOf(file).Kind == TDataKind::kIde ? key : "";
  }

  std::unique_ptr<IItemsInFile> ReadItems(const std::string& file,
                                          const std::string& bytes) const override {
    return std::make_unique<TLinesInFile>(ReadDataLines(RuleOf(file), bytes));
  }
};

}  // namespace

const IItemKind& DataLinesKind() {
  static const TDataLinesKind kind;
  return kind;
}

}  // namespace merva
