// The text form of the per-user settings file, as pure functions (text in, text out) so that the
// store, the tests and a fuzzer all drive the same code.
//
//   # comment                 kept as it is
//   BaudRate=9600             an integer: decimal, optional minus sign
//   DeviceName="COM1"         a string: double quotes, backslash escapes \\ \" \n \r \t \xHH
//   Other=some text           a bare value, read as its literal text (hand-edited files)
//
// Lines are split at '\n'; a '\r' before it is ignored. Space and tab around the name and the
// value are ignored. A line that fits none of the forms (no '=', a bad name, an unterminated
// string, an unknown escape) is kept as it is and read as absent, so a write never loses it.
// When a name appears more than once, the last well-formed line counts and a write replaces it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings_text {

struct Line {
    enum class Kind { Other, Entry };
    Kind kind = Kind::Other;
    std::string raw;    // the line as read or as last written, without its '\n'
    std::string name;   // Entry only
    std::string value;  // Entry only: the value's bytes, escapes decoded
};

struct Document {
    std::vector<Line> lines;
};

Document parse(std::string_view text);
std::string render(const Document& document);

// The 1-based number of the first line that is neither a setting, a comment nor blank.
std::optional<std::size_t> firstMalformedLine(std::string_view text);

// Names are ASCII letters, digits, '_', '.' and '-'.
bool isValidName(std::string_view name);

// The value of the name's last well-formed line, as text.
std::optional<std::string> findString(const Document& document, std::string_view name);
// Only a clean decimal integer within 32 bits parses: no sign other than '-', no spaces inside,
// no other characters. Anything else reads as absent.
std::optional<std::int32_t> findInteger(const Document& document, std::string_view name);

// Replace the name's last well-formed line, or append one. False (document unchanged) for an
// invalid name.
bool setString(Document& document, std::string_view name, std::string_view value);
bool setInteger(Document& document, std::string_view name, std::int32_t value);

// The quoted form of a string value; every byte, NUL included, survives quote() then unquote().
// Bytes 0x80-0xFF stay as they are when the whole value is valid UTF-8, else become \xHH.
std::string quote(std::string_view value);
// Decodes a quoted value (quotes included); empty on a malformed one.
std::optional<std::string> unquote(std::string_view quoted);

}  // namespace settings_text
