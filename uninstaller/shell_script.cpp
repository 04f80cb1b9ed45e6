#include "shell_script.h"

#include <cerrno>
#include <cstdlib>

#include "child_process.h"
#include "oslib/text.h"
#include "oslib/whole_file.h"

namespace uninstaller {

namespace {

const char* const kShell = "/bin/sh";

std::string LastLine(const std::string& output)
{
    std::string text = oslib::Trimmed(output);
    size_t end = text.rfind('\n');
    return end == std::string::npos ? text : oslib::Trimmed(text.substr(end + 1));
}

// The value of text that is exactly one decimal integer within 32 bits.
std::optional<int32_t> ParseInt32(const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

class ShellScript : public Script {
public:
    ShellScript(std::string path, std::string text) : path_(std::move(path)), text_(std::move(text)) {}

    std::optional<ScriptResult> execute(std::optional<std::string>& error) override
    {
        // The loaded text is what runs, with the script's path as $0.
        ChildResult child = RunChild({kShell, "-c", text_, path_}, Captured::kStdout);
        std::string failure = ChildFailure(child, kShell);
        if (!failure.empty()) {
            error = "The script " + path_ + " failed: " + failure;
            return std::nullopt;
        }
        std::string result = LastLine(child.output);
        if (result.empty()) {
            return std::nullopt;
        }
        std::optional<int32_t> value = ParseInt32(result);
        if (!value) {
            error = "The script " + path_ + " gave no number: " + result;
            return std::nullopt;
        }
        return ScriptResult{result, *value};
    }

private:
    std::string path_;
    std::string text_;
};

} // namespace

std::unique_ptr<Script> ShellScriptRunner::load(const std::string& path, std::optional<std::string>& error)
{
    std::string text;
    if (!oslib::ReadRegularFile(path, text)) {
        error = "Cannot read the script " + path;
        return nullptr;
    }
    ChildResult check = RunChild({kShell, "-n", "-c", text}, Captured::kStderr);
    std::string failure = ChildFailure(check, kShell);
    if (!failure.empty()) {
        error = "The script " + path + " is not valid: " + failure + " " + oslib::Trimmed(check.output);
        return nullptr;
    }
    return std::make_unique<ShellScript>(path, std::move(text));
}

} // namespace uninstaller
