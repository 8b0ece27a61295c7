#include "prefs/ini_text.h"

namespace ordwell::prefs {
namespace {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One line of a text: its content is [begin, end), its line ending [end, next).
struct LineSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t next = 0;
};

LineSpan LineAt(std::string_view text, std::size_t begin) {
  const std::size_t brk = text.find_first_of("\r\n", begin);
  if (brk == std::string_view::npos) return {begin, text.size(), text.size()};
  const bool crLf = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n';
  return {begin, brk, brk + (crLf ? 2 : 1)};
}

std::size_t BodyStart(std::string_view text) { return text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0; }

std::string_view NewlineStyleOf(std::string_view text) {
  const LineSpan first = LineAt(text, 0);
  if (first.end == text.size()) return "\n";
  return text.substr(first.end, first.next - first.end);
}

bool EndsWithLineBreak(std::string_view text) { return text.ends_with('\n') || text.ends_with('\r'); }

}  // namespace

std::string_view TrimBlanks(std::string_view name) {
  while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  return name;
}

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

LineView ClassifyLine(std::string_view line) {
  const std::string_view trimmed = TrimBlanks(line);
  // A line opening with "[" is never a key line, so a header cut short by a missing "]" cannot
  // turn into a key by accident.
  if (trimmed.starts_with('[')) {
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return {};
    return {LineKind::Section, TrimBlanks(trimmed.substr(1, close - 1)), {}};
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  const std::string_view key = TrimBlanks(line.substr(0, eq));
  if (key.empty()) return {};
  return {LineKind::Key, key, line.substr(eq + 1)};
}

ValueLookup::ValueLookup(std::string_view section, std::string_view key) : section_(section), key_(key) {}

ValueLookup::Step ValueLookup::Feed(std::string_view line) {
  const LineView view = ClassifyLine(line);
  if (view.kind == LineKind::Section) {
    // Only the first section of the wanted name counts, so its end ends the search.
    if (inSection_) return Step::NotThere;
    inSection_ = NamesMatch(view.name, section_);
    return Step::More;
  }
  if (inSection_ && view.kind == LineKind::Key && NamesMatch(view.name, key_)) {
    value_ = view.value;
    return Step::Found;
  }
  return Step::More;
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  ValueLookup lookup(section, key);
  for (std::size_t pos = BodyStart(text); pos < text.size();) {
    const LineSpan span = LineAt(text, pos);
    switch (lookup.Feed(text.substr(span.begin, span.end - span.begin))) {
      case ValueLookup::Step::Found: return lookup.Value();
      case ValueLookup::Step::NotThere: return std::nullopt;
      case ValueLookup::Step::More: break;
    }
    pos = span.next;
  }
  return std::nullopt;
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
  const std::size_t body = BodyStart(text);
  const std::string_view newline = NewlineStyleOf(text.substr(body));

  bool inSection = false;
  std::size_t insertAt = std::string_view::npos;
  for (std::size_t pos = body; pos < text.size();) {
    const LineSpan span = LineAt(text, pos);
    const std::string_view line = text.substr(span.begin, span.end - span.begin);
    const LineView view = ClassifyLine(line);
    if (view.kind == LineKind::Section) {
      if (inSection) break;
      if (NamesMatch(view.name, section)) {
        inSection = true;
        insertAt = span.next;
      }
    } else if (inSection && view.kind == LineKind::Key) {
      if (NamesMatch(view.name, key)) {
        const std::size_t valueBegin = span.begin + static_cast<std::size_t>(view.value.data() - line.data());
        std::string out;
        out.reserve(text.size() - view.value.size() + value.size());
        out.append(text.substr(0, valueBegin)).append(value).append(text.substr(span.end));
        return out;
      }
      // New keys go after the last key line, so blank lines and comments closing the section
      // stay between it and the next header.
      insertAt = span.next;
    }
    pos = span.next;
  }

  std::string addition;
  const bool foundSection = insertAt != std::string_view::npos;
  const std::size_t at = foundSection ? insertAt : text.size();
  // The line before the insertion point may be the last of the file, without a line ending.
  if (at > body && !EndsWithLineBreak(text.substr(0, at))) addition.append(newline);
  if (!foundSection) addition.append("[").append(section).append("]").append(newline);
  addition.append(key).append("=").append(value).append(newline);

  std::string out;
  out.reserve(text.size() + addition.size());
  out.append(text.substr(0, at)).append(addition).append(text.substr(at));
  return out;
}

}  // namespace ordwell::prefs
