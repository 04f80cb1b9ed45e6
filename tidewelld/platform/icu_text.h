// Text of the downloaded lists (Foundation strings on macOS; the same ICU here): strict
// UTF-8, line splitting, comparison by UTF-16 code unit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The whole file when it exists and is valid UTF-8; false otherwise.
bool ReadUtf8File(const std::string& path, std::string& text);

// The separator orders in use: the first one present in the text splits it all.
enum class LineBreaks {
    CrLfThenCrThenLf,  // the header check
    CrLfThenLfThenCr,  // the row readers
};

// The lines of a text, in place: it is split at every occurrence of the separator chosen
// for the whole text. An empty text is one empty line, and a text that ends with the
// separator has an empty last line. The text must outlive the lines.
class Lines {
public:
    Lines(std::string_view text, LineBreaks order);
    // The next line; false after the last one.
    bool Next(std::string_view& line);

private:
    std::string_view rest_;
    std::string_view separator_;
    bool done_ = false;
};

// Strings as Foundation sees them, in UTF-16 code units.
int32_t TextLength(const std::string& utf8);
std::string TextSubstring(const std::string& utf8, int32_t start, int32_t length);
// Literal comparison by code unit: negative, 0 or positive.
int TextCompare(const std::string& a, const std::string& b);

} // namespace platform
