#pragma once
// A data file as lines, each with the bytes it had (its text and its line break), the section it
// lies in and its key, so that a mod's lines replace or join the file's by key and everything
// else stays byte for byte: comments, blank lines, spacing, CRLF or LF, bytes outside ASCII.
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/data_rules.h"

namespace merva {

struct TDataLine {
  std::string Text;   // without its line break
  std::string Break;  // "\r\n", "\n", "\r", or "" for a last line without one
  // The section it belongs to: an IDE, carcols or carmods section's name ("cars"), the marker of
  // a handling.cfg line ("" for cars, "%" boats, "!" bikes, "$" planes, "^" animation groups), a
  // weapon line's, or a gta.dat line's keyword.
  std::string Section;
  std::string Key;      // empty for a line that is no item: a comment, a blank, a section's bounds
  bool Opens = false;   // the line that starts its section ("cars")
  bool Closes = false;  // the line that ends it ("end"), or the one the game stops reading at
  bool Read = true;     // false past the line the game stops reading at
  bool Free = false;    // a colour's place that no item holds (kFreeColour)
};

// What holds the place of a colour taken out of carcols.dat's table: a colour the game reads, so
// that the colours after it keep their numbers, which every car's line refers to.
extern const char kFreeColour[];

// The lines of `bytes` by `rule`. Never fails: a line the rule cannot key is kept as it is.
std::vector<TDataLine> ReadDataLines(const TDataRule& rule, const std::string& bytes);
// The bytes of `lines`, as they were read.
std::string DataBytes(const std::vector<TDataLine>& lines);

// The key of the item line `text` in `section` of a file of `rule` (not a colour of carcols.dat,
// which is keyed by its place); empty for a line that is no item.
std::string DataLineKey(const TDataRule& rule, const std::string& section, const std::string& text);

// The fields of a line as the game splits it.
std::vector<std::string> DataFields(const TDataRule& rule, const std::string& text);

// The line that the game uses of each item, found by its section and key: of several copies of a
// key (a line pasted in twice) the last it reads, since each line it reads fills the item's one
// slot again. Installation, plan, status and undo all ask this.
class TDataLineIndex {
 public:
  explicit TDataLineIndex(const std::vector<TDataLine>& lines);
  // The item's line, or lines.size() when the file has none.
  size_t Find(const std::string& section, const std::string& key) const;
  // The item is no longer in the file.
  void Forget(const std::string& section, const std::string& key);

 private:
  std::unordered_map<std::string, size_t> at_;
  size_t none_;
};

// A version of one item to put into a file: its line's text, or none to take the item out.
struct TDataEdit {
  std::string Section, Key;
  std::optional<std::string> Text;
};
// What an edit found and left: the item's line before (none: it was not there) and after.
struct TDataOutcome {
  std::string Section, Key;
  std::optional<std::string> Old, New;
};

// A file that a line cannot be merged into as the game would read it: its last section has no
// "end", so that a section made after it would be read as part of it. Says what, in words.
class EDataFileOpen : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Puts each edit into `lines`: a line whose key the file holds is replaced in place (keeping its
// line break), or taken out (a colour: made free, or gone when no colour follows it; a section
// this leaves empty at the end of the file goes too); any other is added (a colour in the first
// free place, if any) at the end of its section (before its "end", or
// before the line the game stops at), its section made at the end of the file when the file has
// none (raising EDataFileOpen when the file ends inside a section). New lines end as the file's
// first line does (CRLF after a lone CR). Raises EDataFileOpen, too, when a line put in would lie
// where the game does not read it.
std::vector<TDataOutcome> ApplyDataEdits(const TDataRule& rule, std::vector<TDataLine>& lines,
                                         const std::vector<TDataEdit>& edits);

}  // namespace merva
