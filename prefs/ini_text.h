#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The sectioned settings format as bytes: "[section]" header lines and "key=value" lines, with
// every other byte of a file carried through untouched. Lines end at CR LF, at LF or at a CR
// not followed by LF; the line ending does not belong to the line. Names are compared without regard to ASCII
// letter case, ignoring blanks (space, tab) around them; values are everything after the first
// "=", byte for byte.
namespace ordwell::prefs {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class LineKind { Other, Section, Key };

// What one line (without its line ending) holds: a section header, a key line or anything else.
struct LineView {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key name, blanks around it removed
  std::string_view value;  // key lines only: every byte after the first "="
};

// Classifies one line given without its line ending.
LineView ClassifyLine(std::string_view line);

// Returns whether two names are equal when ASCII letters are compared without regard to case.
bool NamesMatch(std::string_view a, std::string_view b);

// Returns the name with blanks (spaces, tabs) at both ends removed.
std::string_view TrimBlanks(std::string_view name);

// Follows a file line by line and reports the stored value of one key: the first key line of
// that name in the first section of the wanted name. Lines before any header belong to no section.
class ValueLookup {
 public:
  enum class Step { More, Found, NotThere };

  // Remembers the wanted names; the caller keeps them alive while feeding lines.
  ValueLookup(std::string_view section, std::string_view key);

  // Takes the next line of the file (without its line ending, the first one without a
  // byte-order mark) and says whether the value is in it, cannot come any more, or may follow.
  Step Feed(std::string_view line);

  // Returns the value part of the line for which Feed said Found; it points into that line.
  std::string_view Value() const { return value_; }

 private:
  std::string_view section_;
  std::string_view key_;
  std::string_view value_;
  bool inSection_ = false;
};

// Returns the stored value of `key` in `section` of a whole file's bytes, or nothing when the
// section or the key is missing.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// Returns the file's bytes with `key` in `section` holding `value`: an existing key line keeps
// everything up to its "=" and its line ending; a missing key goes after the last key line of
// the section (or right after its header); a missing section goes at the end of the file. New
// lines take the file's own line ending (that of its first line; LF when it has none). The names
// must already be trimmed, and no argument may hold CR or LF.
std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace ordwell::prefs
