#include "list_regex.h"

#include <re2/re2.h>

namespace platform {

namespace {

// ICU's "." matches anything but a line terminator, RE2's anything but LF. Lines are split
// at CR LF, LF or CR, yet a list that mixes them keeps the others within a line.
constexpr const char* kIcuDot = R"([^\n\x0B\x0C\r\x{85}\x{2028}\x{2029}])";

// The whole match and the groups of a list pattern (they hold four at most), on the stack:
// a list of 4 MiB may have millions of lines to search.
constexpr int kMaxPieces = 8;

// The pattern with every "." outside a set spelled as ICU reads it. Enough for the list
// patterns, which nest no sets.
std::string WithIcuDot(const char* pattern)
{
    std::string out;
    bool inSet = false;
    for (const char* c = pattern; *c != '\0'; ++c) {
        if (*c == '\\' && c[1] != '\0') {
            out += *c++;
        } else if (*c == '.' && !inSet) {
            out += kIcuDot;
            continue;
        } else if (*c == '[' || *c == ']') {
            inSet = *c == '[';
        }
        out += *c;
    }
    return out;
}

} // namespace

CaseInsensitiveRegex::CaseInsensitiveRegex(const char* pattern)
{
    RE2::Options options;
    options.set_case_sensitive(false);
    options.set_log_errors(false);
    pattern_ = std::make_unique<RE2>(WithIcuDot(pattern), options);
    if (!pattern_->ok() || 1 + pattern_->NumberOfCapturingGroups() > kMaxPieces) {
        pattern_.reset();
    }
}

CaseInsensitiveRegex::~CaseInsensitiveRegex() = default;

bool CaseInsensitiveRegex::Search(std::string_view line, std::vector<std::string_view>& groups) const
{
    if (!pattern_) {
        return false;
    }
    // Pieces built from data and size, and read back the same way: what both the older RE2
    // and the one whose StringPiece is absl::string_view (without as_string()) keep.
    re2::StringPiece found[kMaxPieces];
    const int pieces = 1 + pattern_->NumberOfCapturingGroups();
    re2::StringPiece text(line.data(), line.size());
    if (!pattern_->Match(text, 0, text.size(), RE2::UNANCHORED, found, pieces)) {
        return false;
    }
    groups.clear();
    for (int piece = 0; piece < pieces; ++piece) {
        groups.emplace_back(found[piece].data(), found[piece].size());
    }
    return true;
}

ExtendedRegex::ExtendedRegex(const std::string& pattern)
{
    RE2::Options options;
    options.set_posix_syntax(true);
    options.set_longest_match(true);
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_one_line(true);
    options.set_dot_nl(true);
    options.set_log_errors(false);
    pattern_ = std::make_unique<RE2>(pattern, options);
    if (!pattern_->ok()) {
        pattern_.reset();
    }
}

ExtendedRegex::~ExtendedRegex() = default;

bool ExtendedRegex::Matches(std::string_view text) const
{
    return pattern_ && RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *pattern_);
}

} // namespace platform
