// Text of a file or a setting on one line of a message or a result, its
// control characters (a line feed would end the line) written as \xHH.
#pragma once

#include <cstdio>
#include <string>

namespace veltrin {

inline void append_printable(std::string& text, char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        text += escaped;
    } else {
        text += c;
    }
}

}  // namespace veltrin
