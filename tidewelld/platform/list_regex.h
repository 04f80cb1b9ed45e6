// The patterns of outside text, matched by RE2: in time linear in the line, with no
// backtracking, so that a list row a server built to be slow, or a command line another
// program chose, costs no more than a real one.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace platform {

// A list pattern compiled case-insensitively; an invalid pattern matches nothing. It gives
// the groups that ICU gives: leftmost-first, and "." stops at any line terminator.
class CaseInsensitiveRegex {
public:
    explicit CaseInsensitiveRegex(const char* pattern);
    ~CaseInsensitiveRegex();
    CaseInsensitiveRegex(const CaseInsensitiveRegex&) = delete;
    CaseInsensitiveRegex& operator=(const CaseInsensitiveRegex&) = delete;

    // Searches the UTF-8 line (unanchored); on the first match fills groups[0] with the
    // whole match and groups[n] with group n, each a view into the line (empty when the
    // group took no part).
    bool Search(std::string_view line, std::vector<std::string_view>& groups) const;

private:
    std::unique_ptr<re2::RE2> pattern_;
};

// A pattern of the process search: a POSIX extended regular expression, as "grep -E" and
// regexec read it in the C locale (a byte is a character, "." and "[^x]" match a line
// feed, "^" and "$" only the ends of the text). Invalid, or using a GNU extension that RE2
// lacks (back-references, word boundaries): it matches nothing.
class ExtendedRegex {
public:
    explicit ExtendedRegex(const std::string& pattern);
    ~ExtendedRegex();
    ExtendedRegex(const ExtendedRegex&) = delete;
    ExtendedRegex& operator=(const ExtendedRegex&) = delete;

    bool ok() const { return pattern_ != nullptr; }
    // Whether the pattern matches anywhere in the text.
    bool Matches(std::string_view text) const;

private:
    std::unique_ptr<re2::RE2> pattern_;
};

} // namespace platform
