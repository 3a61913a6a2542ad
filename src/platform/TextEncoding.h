#pragma once

#include <string>
#include <string_view>

// UTF-8, the program's encoding for every text and file name, and UTF-16, the
// Windows API's. A sequence that is not valid in its encoding (a lone
// surrogate, a stray or overlong UTF-8 byte) becomes U+FFFD, so a conversion
// never fails and never drops the text around it.
std::string utf8FromUtf16(std::u16string_view text);
std::u16string utf16FromUtf8(std::string_view text);
