#include "icu_text.h"

#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include "oslib/whole_file.h"

namespace platform {

namespace {

bool IsValidUtf8(const std::string& bytes)
{
    if (bytes.size() > INT32_MAX) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    // Preflighting alone walks every byte; a substitution character of -1 makes any
    // ill-formed sequence an error instead of a replacement.
    u_strFromUTF8WithSub(nullptr, 0, &units, bytes.data(), static_cast<int32_t>(bytes.size()), -1, nullptr,
                         &status);
    return status != U_INVALID_CHAR_FOUND && status != U_ILLEGAL_ARGUMENT_ERROR;
}

icu::UnicodeString FromUtf8(const std::string& utf8)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string ToUtf8(const icu::UnicodeString& text)
{
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace

bool ReadUtf8File(const std::string& path, std::string& text)
{
    std::string bytes;
    if (!oslib::ReadRegularFile(path, bytes) || !IsValidUtf8(bytes)) {
        return false;
    }
    text = std::move(bytes);
    return true;
}

Lines::Lines(std::string_view text, LineBreaks order) : rest_(text)
{
    const char* second = order == LineBreaks::CrLfThenCrThenLf ? "\r" : "\n";
    const char* third = order == LineBreaks::CrLfThenCrThenLf ? "\n" : "\r";
    separator_ = text.find("\r\n") != std::string_view::npos ? "\r\n"
                 : text.find(second) != std::string_view::npos ? second
                                                                : third;
}

bool Lines::Next(std::string_view& line)
{
    if (done_) {
        return false;
    }
    size_t at = rest_.find(separator_);
    line = rest_.substr(0, at);
    done_ = at == std::string_view::npos;
    rest_.remove_prefix(done_ ? rest_.size() : at + separator_.size());
    return true;
}

int32_t TextLength(const std::string& utf8) { return FromUtf8(utf8).length(); }

std::string TextSubstring(const std::string& utf8, int32_t start, int32_t length)
{
    return ToUtf8(FromUtf8(utf8).tempSubString(start, length));
}

int TextCompare(const std::string& a, const std::string& b) { return FromUtf8(a).compare(FromUtf8(b)); }

} // namespace platform
