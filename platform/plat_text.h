// Text encodings at the edge of the system.
#pragma once

#include <string>

// UTF-32 wide text (or UTF-16 surrogate pairs held in wchar_t) to UTF-8;
// invalid code points become U+FFFD.
std::string plat_wide_to_utf8(const std::wstring& text);
// UTF-8 to wide text; malformed bytes become U+FFFD.
std::wstring plat_utf8_to_wide(const std::string& text);
