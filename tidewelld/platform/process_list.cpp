#include "process_list.h"

#include <regex.h>

namespace platform {

namespace {

std::function<std::unique_ptr<ProcessSnapshot>()>& InstalledSource()
{
    static std::function<std::unique_ptr<ProcessSnapshot>()> source;
    return source;
}

class CompiledPattern {
public:
    explicit CompiledPattern(const std::string& pattern)
        : ok_(regcomp(&regex_, pattern.c_str(), REG_EXTENDED | REG_NOSUB) == 0)
    {
    }
    ~CompiledPattern()
    {
        if (ok_) {
            regfree(&regex_);
        }
    }
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    bool ok() const { return ok_; }
    bool Matches(const std::string& line) const { return regexec(&regex_, line.c_str(), 0, nullptr, 0) == 0; }

private:
    regex_t regex_;
    bool ok_;
};

} // namespace

std::optional<std::string> ProcessLines::FirstMatch(const std::string& pattern)
{
    CompiledPattern regex(pattern);
    if (!regex.ok()) {
        return std::nullopt;
    }
    for (const std::string& line : lines_) {
        if (regex.Matches(line)) {
            return line;
        }
    }
    return std::nullopt;
}

std::unique_ptr<ProcessSnapshot> TakeProcessSnapshot()
{
    return InstalledSource() ? InstalledSource()() : TakeSystemProcessSnapshot();
}

void SetProcessSnapshotSource(std::function<std::unique_ptr<ProcessSnapshot>()> source)
{
    InstalledSource() = std::move(source);
}

} // namespace platform
