#pragma once

#include <memory>
#include <string_view>

#include "toolkit/gbk_text.h"

namespace mirabex {

// One regular expression compiled once and run over GBK texts; whole matches and
// capturing groups are read back by number, both counted from 1.
//
// Syntax and semantics: leftmost match, lazy repetition, "." stops at a line feed
// (the only newline), letters without case when asked (ASCII and beyond), \uXXXX
// escapes, and Chinese characters in the pattern matching the same characters in
// the text: a class such as [\u4e00-\u9fa5] is a range of code points.
//
// Every read that finds nothing (no execute yet, a number out of range, a group
// that did not take part in the match) gives empty text. A matcher belongs to one
// thread; creating and compiling one is cheap enough to do for every page.
class PatternMatcher {
 public:
  PatternMatcher();
  ~PatternMatcher();
  PatternMatcher(const PatternMatcher& other);
  PatternMatcher& operator=(const PatternMatcher& other);
  PatternMatcher(PatternMatcher&& other) noexcept;
  PatternMatcher& operator=(PatternMatcher&& other) noexcept;

  // Drops the previous pattern and match list. A pattern the engine rejects
  // still gives true (see compileError); execute then finds nothing. False only
  // when the engine's own objects could not be created.
  bool compile(std::string_view pattern, bool ignoreCase = true, bool multiline = true, bool global = true);
  // The pattern of the last compile, empty before the first one.
  [[nodiscard]] Text pattern() const;
  // Why the engine rejected the pattern; empty when it compiled (or before compile).
  [[nodiscard]] Text compileError() const;

  // Every match (only the first without `global`) replaced; in the replacement
  // "$1".."$99" stand for groups, "$&" for the match, "$`" and "$'" for the text
  // before and after it, "$$" for "$". The text comes back unchanged when there
  // is no usable pattern. Leaves the match list of execute alone.
  [[nodiscard]] Text replace(std::string_view text, std::string_view replacement) const;

  // Runs the pattern over the whole text and keeps the match list; returns the
  // number of matches (0 without a usable pattern).
  int execute(std::string_view text);
  [[nodiscard]] int matchCount() const;
  // Match i (1-based), whole.
  [[nodiscard]] Text matchText(int i) const;
  // Group k (1-based) of match i (1-based).
  [[nodiscard]] Text subMatch(int i, int k) const;
  // The number of capturing groups when the last execute matched, else 0.
  [[nodiscard]] int subMatchCount() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace mirabex
