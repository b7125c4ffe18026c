#pragma once
// Decoding the ICCCM/EWMH text properties that name a window and its
// application. Pure functions over property bytes, so they are tested
// without a server.

#include <optional>
#include <string>
#include <string_view>

namespace tessarin::x11 {

// WM_CLASS: two NUL-terminated Latin-1 strings, the instance name
// ("xterm") and the class name ("XTerm"), returned here as UTF-8.
struct WmClass {
    std::string instance;
    std::string className;
    friend bool operator==(const WmClass&, const WmClass&) = default;
};

// Nothing when the property is empty. A missing terminator or a missing
// class string is tolerated (clients get this wrong); extra strings are
// ignored.
std::optional<WmClass> parseWmClass(std::string_view bytes);

// ICCCM STRING properties are Latin-1.
std::string latin1ToUtf8(std::string_view text);

// A title from a text property's bytes: UTF8_STRING as is, anything else
// (STRING, and the ASCII subset of COMPOUND_TEXT that clients use) as
// Latin-1. A trailing NUL some clients append is dropped.
std::string decodeTextProperty(std::string_view bytes, bool isUtf8);

// /proc/<pid>/comm content without its newline.
std::string trimProcessName(std::string_view comm);

}  // namespace tessarin::x11
