// The settings file's text form on any bytes: a file read and written back keeps every byte (a
// final line end added at most); parse, render and parse again reads the same values; a string
// of any bytes survives quoting; setting one value changes that value only and keeps every line
// the file had, the ones it could not parse included.
//
// Input: a name selector, the length of a value, the value's bytes, an integer, then the file.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/posix/settings_text.h"

namespace {

const char* const kNames[] = {"DeviceName", "BaudRate", "bCRLF", "Other.name-1_x", "A"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::string name = kNames[in.byte() % (sizeof kNames / sizeof kNames[0])];
    const std::string value = in.bytes(in.byte());
    const std::int32_t number = in.int32();
    const std::string text = in.rest();

    // Read and written back unchanged: every byte, the lines it cannot parse included.
    const settings_text::Document document = settings_text::parse(text);
    std::string expected = text;
    if (!expected.empty() && expected.back() != '\n') {
        expected += '\n';
    }
    const std::string rendered = settings_text::render(document);
    FUZZ_CHECK(rendered == expected);
    const settings_text::Document again = settings_text::parse(rendered);
    FUZZ_CHECK(settings_text::render(again) == rendered);
    for (const char* n : kNames) {
        FUZZ_CHECK(settings_text::findString(document, n) == settings_text::findString(again, n));
        FUZZ_CHECK(settings_text::findInteger(document, n) == settings_text::findInteger(again, n));
    }

    // Any bytes survive quoting.
    FUZZ_CHECK(settings_text::unquote(settings_text::quote(value)) == value);

    // Setting a string, then an integer: read back after a round trip through text, the other
    // names unchanged, no line lost.
    settings_text::Document edited = document;
    FUZZ_CHECK(settings_text::setString(edited, name, value));
    const settings_text::Document reread = settings_text::parse(settings_text::render(edited));
    FUZZ_CHECK(settings_text::findString(reread, name) == value);
    FUZZ_CHECK(reread.lines.size() >= document.lines.size());
    FUZZ_CHECK(reread.lines.size() <= document.lines.size() + 1);
    for (const char* n : kNames) {
        if (name != n) {
            FUZZ_CHECK(settings_text::findString(reread, n) ==
                       settings_text::findString(document, n));
        }
    }
    FUZZ_CHECK(settings_text::setInteger(edited, name, number));
    const settings_text::Document rereadNumber =
        settings_text::parse(settings_text::render(edited));
    FUZZ_CHECK(settings_text::findInteger(rereadNumber, name) == number);
    return 0;
}
