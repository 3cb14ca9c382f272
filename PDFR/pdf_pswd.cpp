#include "PDFR/pdf_pswd.h"

#include <PDFDocEncoding.h>
#include <UnicodeTypeTable.h>
#include <goo/gmem.h>

#include <vector>

#include "platform/plat_text.h"

namespace {
// Non-ASCII space characters (RFC 3454 table C.1.2).
bool non_ascii_space(wchar_t c) {
    return c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// Characters commonly mapped to nothing (RFC 3454 table B.1).
bool mapped_to_nothing(wchar_t c) {
    return c == 0x00AD || c == 0x034F || c == 0x1806 || (c >= 0x180B && c <= 0x180D) ||
           (c >= 0x200B && c <= 0x200D) || c == 0x2060 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF;
}
// Combining marks (the blocks of combining diacritical marks).
bool combining(wchar_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

// Each letter with the marks after it composed (a keyboard or a file name may
// give "i" and U+0308 for "ï"); everything else as it is. The core's only
// normaliser is NFKC, which would also change characters the encoding has
// (superscript two): it is given the letter and its marks alone.
std::wstring composed(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        size_t end = i + 1;
        while (end < text.size() && combining(text[end])) ++end;
        if (end - i == 1) {
            out += text[i++];
            continue;
        }
        std::vector<Unicode> run(text.begin() + static_cast<long>(i), text.begin() + static_cast<long>(end));
        int length = 0;
        Unicode* normal = unicodeNormalizeNFKC(run.data(), static_cast<int>(run.size()), &length, nullptr);
        out.append(normal, normal + length);
        gfree(normal);
        i = end;
    }
    return out;
}
}  // namespace

std::string pdf_saslprep(const std::string& password) {
    const std::wstring wide = plat_utf8_to_wide(password);
    // Malformed bytes came back as U+FFFD: the round trip shows them.
    if (plat_wide_to_utf8(wide) != password) return password;
    std::vector<Unicode> mapped;
    for (wchar_t c : wide) {
        if (non_ascii_space(c)) mapped.push_back(0x20);
        else if (!mapped_to_nothing(c)) mapped.push_back(static_cast<Unicode>(c));
    }
    if (mapped.empty()) return std::string();
    int length = 0;
    Unicode* normal = unicodeNormalizeNFKC(mapped.data(), static_cast<int>(mapped.size()), &length, nullptr);
    std::wstring out(normal, normal + length);
    gfree(normal);
    return plat_wide_to_utf8(out);
}

std::optional<std::string> pdf_doc_encoding(const std::string& utf8) {
    std::wstring wide = plat_utf8_to_wide(utf8);
    if (plat_wide_to_utf8(wide) != utf8) return std::nullopt;
    wide = composed(wide);
    std::string out;
    for (wchar_t c : wide) {
        int byte = -1;
        // Control characters stand for themselves; the table leaves some out.
        if (c >= 0 && c < 0x20) byte = static_cast<int>(c);
        for (int b = 0; byte < 0 && b < 256; ++b)
            if (pdfDocEncoding[b] != 0 && pdfDocEncoding[b] == static_cast<Unicode>(c)) byte = b;
        if (byte < 0) return std::nullopt;
        out += static_cast<char>(byte);
    }
    return out;
}

std::string pdf_password_for_revision(const std::string& password, int revision, bool prepared) {
    if (revision == 5 || revision == 6) {
        const std::string text = prepared ? pdf_saslprep(password) : password;
        return text.substr(0, pdf_password_bytes_aes256);
    }
    if (prepared && revision >= 2 && revision <= 4)
        if (std::optional<std::string> encoded = pdf_doc_encoding(password))
            return encoded->substr(0, pdf_password_bytes_r2_to_4);
    return password.substr(0, pdf_password_bytes_r2_to_4);
}
