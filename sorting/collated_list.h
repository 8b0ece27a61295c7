#pragma once

// Alphabetical order by a locale's collation rules, for lists where the order by character code
// (accented letters after "z") is not what the reader expects. Letter case is ignored: the rules
// compare base letters first, then accents, and stop there.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct UCollator;

namespace ordwell {

// The collation rules of one locale, comparing base letters and accents but not letter case.
class Collator {
 public:
  // Opens the rules of `locale`: an ICU name ("de", "sv_SE", "de@collation=phonebook"), a
  // language tag ("de-DE") or a POSIX one ("de_DE.UTF-8"); "", "C" and "POSIX" give the root
  // rules, shared by all languages. nullopt with a message in `problem` when the language is
  // unknown.
  static std::optional<Collator> Open(std::string_view locale, std::string& problem);

  // Returns the locale the environment names for collation (LC_ALL, else LC_COLLATE, else
  // LANG), or "" when none is set.
  static std::string EnvironmentLocale();

  Collator(Collator&&) noexcept;
  Collator& operator=(Collator&&) noexcept;
  ~Collator();

  // Returns the ICU name of the locale whose rules are in use ("root" for the shared ones).
  std::string Name() const;

  // Returns a negative number, 0 or a positive number as `a` collates before, equal to or after
  // `b`.
  int Compare(std::u16string_view a, std::u16string_view b) const noexcept;

  // The same for UTF-8 texts.
  int Compare(std::string_view a, std::string_view b) const noexcept;

 private:
  struct Close {
    void operator()(UCollator* collator) const noexcept;
  };
  explicit Collator(std::unique_ptr<UCollator, Close> collator) noexcept;
  friend class CollatedOrderMaker;

  std::unique_ptr<UCollator, Close> collator_;
};

// A list's items in alphabetical order.
struct CollatedOrder {
  // The items' indexes in alphabetical order; items that collate equal keep their input order.
  std::vector<std::size_t> order;
  // sameAsPrevious[i]: whether item order[i] collates equal to item order[i - 1].
  std::vector<bool> sameAsPrevious;
};

// Returns the order of `count` items under `collator`; item(i) gives item i, from any thread, for
// callers that keep their items more compactly than as views. Throws std::bad_alloc.
CollatedOrder CollateItems(std::size_t count, const std::function<std::u16string_view(std::size_t)>& item,
                           const Collator& collator);

// Returns the order of `items` under `collator`. Throws std::bad_alloc.
CollatedOrder CollateItems(std::span<const std::u16string_view> items, const Collator& collator);

// The same for UTF-8 items (an invalid sequence collates as U+FFFD).
CollatedOrder CollateItems(std::span<const std::string_view> items, const Collator& collator);

}  // namespace ordwell
