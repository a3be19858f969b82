#include "toolkit/pattern_matcher.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "toolkit/gbk_codec.h"

namespace mirabex {
namespace {

// Move-only owners of the engine's C objects.
struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
using CodeHolder = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataHolder = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using CompileContextHolder = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using MatchContextHolder = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using JitStackHolder = std::unique_ptr<pcre2_jit_stack, JitStackFree>;

// The machine stack the JIT uses by default is small; a pattern that needs more
// gets a private stack of up to this size before falling back to the interpreter.
constexpr PCRE2_SIZE kJitStackStart = PCRE2_SIZE{64} * 1024;
constexpr PCRE2_SIZE kJitStackMax = PCRE2_SIZE{8} * 1024 * 1024;

std::size_t utf8CharLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return pos + length <= text.size() ? length : text.size() - pos;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

struct PatternMatcher::State {
  Text patternText;
  Text error;
  bool global = true;
  CodeHolder code;  // null when the pattern was rejected
  MatchDataHolder matchData;
  MatchContextHolder matchContext;
  JitStackHolder jitStack;
  bool jitStackFailed = false;

  // The text of the last execute as given and in the engine's encoding. Kept
  // across compile: the crawler runs several patterns over the same page in turn,
  // and the conversion costs more than the matching.
  Text sourceText;
  std::string subject;
  // Per match of the last execute, (groupCount + 1) start/end pairs into subject
  // (PCRE2_UNSET for a group that took no part).
  std::vector<PCRE2_SIZE> spans;
  int groupCount = 0;
  int lastCount = 0;

  [[nodiscard]] bool usable() const { return code != nullptr && matchData != nullptr; }

  void clearMatches() {
    spans.clear();
    lastCount = 0;
  }

  // Gives the JIT a larger stack; false once that is impossible.
  bool growJitStack() {
    if (jitStack != nullptr || jitStackFailed) return false;
    if (matchContext == nullptr) matchContext.reset(pcre2_match_context_create(nullptr));
    if (matchContext != nullptr) jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (jitStack == nullptr) {
      jitStackFailed = true;
      return false;
    }
    pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());
    return true;
  }

  // One engine call; retries with more JIT stack, then without the JIT.
  int matchAt(std::string_view text, std::size_t offset, uint32_t options) {
    const auto* subjectStart = reinterpret_cast<PCRE2_SPTR>(text.data());
    int rc =
        pcre2_match(code.get(), subjectStart, text.size(), offset, options, matchData.get(), matchContext.get());
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT && growJitStack()) {
      rc =
          pcre2_match(code.get(), subjectStart, text.size(), offset, options, matchData.get(), matchContext.get());
    }
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      rc = pcre2_match(code.get(), subjectStart, text.size(), offset, options | PCRE2_NO_JIT, matchData.get(),
                       matchContext.get());
    }
    return rc;
  }

  // Calls onMatch with the offset vector of every match, left to right; only the
  // first without `global`. An engine error (a match limit, say) ends the list.
  template <typename OnMatch>
  void forEachMatch(std::string_view text, OnMatch&& onMatch) {
    std::size_t offset = 0;
    // The first call checks that the text is valid UTF-8; later calls skip
    // the check, which would otherwise cost a pass over the text per match.
    uint32_t options = 0;
    while (offset <= text.size()) {
      const int rc = matchAt(text, offset, options);
      if (rc < 0) return;
      options = PCRE2_NO_UTF_CHECK;
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
      // \K inside a look-ahead can report an end before the start: no sound
      // match to hand out, and no safe way to advance.
      if (ovector[1] < ovector[0]) return;
      onMatch(ovector);
      if (!global) return;
      if (ovector[1] > ovector[0]) {
        offset = ovector[1];
      } else if (ovector[1] < text.size()) {
        // An empty match: step over one character so the search moves on.
        offset = ovector[1] + utf8CharLength(text, ovector[1]);
      } else {
        return;
      }
    }
  }

  [[nodiscard]] std::string_view span(int match, int group) const {
    const std::size_t pairs = static_cast<std::size_t>(groupCount) + 1;
    const std::size_t base = (static_cast<std::size_t>(match) * pairs + static_cast<std::size_t>(group)) * 2;
    const PCRE2_SIZE start = spans[base];
    const PCRE2_SIZE end = spans[base + 1];
    if (start == PCRE2_UNSET || end == PCRE2_UNSET || end < start) return {};
    return std::string_view(subject).substr(start, end - start);
  }
};

PatternMatcher::PatternMatcher() : m_state(std::make_unique<State>()) {}

PatternMatcher::~PatternMatcher() = default;

PatternMatcher::PatternMatcher(const PatternMatcher& other) : m_state(std::make_unique<State>()) { *this = other; }

PatternMatcher& PatternMatcher::operator=(const PatternMatcher& other) {
  if (this == &other) return *this;
  auto copy = std::make_unique<State>();
  if (other.m_state != nullptr) {
    const State& source = *other.m_state;
    copy->patternText = source.patternText;
    copy->error = source.error;
    copy->global = source.global;
    if (source.code != nullptr) {
      copy->code.reset(pcre2_code_copy(source.code.get()));
      if (copy->code != nullptr) {
        // The JIT's machine code is not part of a copy.
        pcre2_jit_compile(copy->code.get(), PCRE2_JIT_COMPLETE);
        copy->matchData.reset(pcre2_match_data_create_from_pattern(copy->code.get(), nullptr));
      }
    }
    copy->sourceText = source.sourceText;
    copy->subject = source.subject;
    copy->spans = source.spans;
    copy->groupCount = source.groupCount;
    copy->lastCount = source.lastCount;
  }
  m_state = std::move(copy);
  return *this;
}

// A moved-from matcher holds no state; every operation treats that as "not compiled".
PatternMatcher::PatternMatcher(PatternMatcher&& other) noexcept : m_state(std::move(other.m_state)) {}

PatternMatcher& PatternMatcher::operator=(PatternMatcher&& other) noexcept {
  if (this != &other) std::swap(m_state, other.m_state);
  return *this;
}

bool PatternMatcher::compile(std::string_view pattern, bool ignoreCase, bool multiline, bool global) {
  if (m_state == nullptr) m_state = std::make_unique<State>();
  State& state = *m_state;
  state.clearMatches();
  state.matchData.reset();
  state.code.reset();
  state.patternText.clear();
  state.error.clear();
  state.groupCount = 0;
  state.global = global;

  CompileContextHolder context(pcre2_compile_context_create(nullptr));
  if (context == nullptr) return false;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  state.patternText = Text(pattern);

  // Converting the pattern first also keeps a GBK trail byte equal to '\\' or
  // '[' from being read as syntax.
  const std::string enginePattern = gbkToUtf8(pattern);
  // Script-style semantics: "$" without multiline only at the very end, and a
  // back-reference to a group that took no part matches the empty text.
  uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY | PCRE2_MATCH_UNSET_BACKREF;
  if (ignoreCase) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;

  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  state.code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(enginePattern.data()), enginePattern.size(), options,
                                 &errorCode, &errorOffset, context.get()));
  if (state.code == nullptr) {
    PCRE2_UCHAR message[256] = {};
    if (pcre2_get_error_message(errorCode, message, sizeof message) < 0) {
      state.error = "invalid pattern";
    } else {
      state.error = reinterpret_cast<const char*>(message);
    }
    return true;
  }
  // Without the JIT the interpreter still matches, only slower.
  pcre2_jit_compile(state.code.get(), PCRE2_JIT_COMPLETE);
  state.matchData.reset(pcre2_match_data_create_from_pattern(state.code.get(), nullptr));
  if (state.matchData == nullptr) {
    state.code.reset();
    state.patternText.clear();
    return false;
  }
  uint32_t captures = 0;
  pcre2_pattern_info(state.code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  state.groupCount = static_cast<int>(captures);
  return true;
}

Text PatternMatcher::pattern() const { return m_state != nullptr ? m_state->patternText : Text(); }

Text PatternMatcher::compileError() const { return m_state != nullptr ? m_state->error : Text(); }

Text PatternMatcher::replace(std::string_view text, std::string_view replacement) const {
  if (m_state == nullptr || !m_state->usable()) return Text(text);
  // Only the scratch match data is touched; the match list of execute stays.
  State& state = *m_state;
  const std::string subject = gbkToUtf8(text);
  const std::string with = gbkToUtf8(replacement);
  const auto groups = static_cast<std::size_t>(state.groupCount);

  std::string result;
  result.reserve(subject.size());
  std::size_t copied = 0;
  bool matched = false;
  state.forEachMatch(subject, [&](const PCRE2_SIZE* ovector) {
    matched = true;
    const std::size_t start = ovector[0];
    const std::size_t end = ovector[1];
    result.append(subject, copied, start - copied);
    auto appendGroup = [&](std::size_t group) {
      const PCRE2_SIZE from = ovector[2 * group];
      const PCRE2_SIZE to = ovector[2 * group + 1];
      if (from != PCRE2_UNSET && to != PCRE2_UNSET && to >= from) result.append(subject, from, to - from);
    };
    for (std::size_t i = 0; i < with.size(); ++i) {
      const char c = with[i];
      if (c != '$' || i + 1 >= with.size()) {
        result += c;
        continue;
      }
      const char next = with[i + 1];
      if (next == '$') {
        result += '$';
        ++i;
      } else if (next == '&') {
        result.append(subject, start, end - start);
        ++i;
      } else if (next == '`') {
        result.append(subject, 0, start);
        ++i;
      } else if (next == '\'') {
        result.append(subject, end, std::string::npos);
        ++i;
      } else if (isDigit(next)) {
        // Two digits when they name a group, else one; "$0" and numbers
        // beyond the groups stay as written.
        auto group = static_cast<std::size_t>(next - '0');
        std::size_t used = 1;
        if (i + 2 < with.size() && isDigit(with[i + 2])) {
          const std::size_t twoDigits = group * 10 + static_cast<std::size_t>(with[i + 2] - '0');
          if (twoDigits >= 1 && twoDigits <= groups) {
            group = twoDigits;
            used = 2;
          }
        }
        if (group >= 1 && group <= groups) {
          appendGroup(group);
          i += used;
        } else {
          result += c;
        }
      } else {
        result += c;
      }
    }
    copied = end;
  });
  if (!matched) return Text(text);
  result.append(subject, copied, std::string::npos);
  return utf8ToGbk(result);
}

int PatternMatcher::execute(std::string_view text) {
  if (m_state == nullptr) return 0;
  State& state = *m_state;
  state.clearMatches();
  if (!state.usable()) return 0;
  // One conversion per text, none for the same text again: the reads below slice this copy.
  if (text != state.sourceText) {
    state.sourceText = Text(text);
    state.subject = gbkToUtf8(text);
  }
  const std::size_t pairs = static_cast<std::size_t>(state.groupCount) + 1;
  state.forEachMatch(state.subject, [&](const PCRE2_SIZE* ovector) {
    state.spans.insert(state.spans.end(), ovector, ovector + pairs * 2);
    ++state.lastCount;
  });
  return state.lastCount;
}

int PatternMatcher::matchCount() const { return m_state != nullptr ? m_state->lastCount : 0; }

Text PatternMatcher::matchText(int i) const {
  if (m_state == nullptr || i < 1 || i > m_state->lastCount) return {};
  return utf8ToGbk(m_state->span(i - 1, 0));
}

Text PatternMatcher::subMatch(int i, int k) const {
  if (m_state == nullptr || i < 1 || i > m_state->lastCount || k < 1 || k > m_state->groupCount) return {};
  return utf8ToGbk(m_state->span(i - 1, k));
}

int PatternMatcher::subMatchCount() const {
  if (m_state == nullptr || m_state->lastCount == 0) return 0;
  return m_state->groupCount;
}

}  // namespace mirabex
