// The row patterns of the downloaded lists (NSRegularExpression on macOS, in ICU's syntax),
// matched here by RE2: in time linear in the line, with no backtracking, so that a row a
// server built to be slow costs no more than a real one.
#pragma once

#include <memory>
#include <string>
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
    // whole match and groups[n] with group n.
    bool Search(const std::string& line, std::vector<std::string>& groups) const;

private:
    std::unique_ptr<re2::RE2> pattern_;
};

} // namespace platform
