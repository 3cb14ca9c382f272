// Passwords as the PDF core's standard security handler may be given them.
// PDF reads at most 32 bytes of a password in PDFDocEncoding for revisions 2
// to 4 (RC4 and AES-128), and at most 127 bytes of its SASLprep form (UTF-8)
// for revisions 5 and 6. The core cuts the first kind itself but not the
// second: a longer one overruns its buffers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Bytes of a password the handler reads: revisions 2 to 4, and 5 or 6.
constexpr std::size_t pdf_password_bytes_r2_to_4 = 32;
constexpr std::size_t pdf_password_bytes_aes256 = 127;

// SASLprep as far as it can be done here: non-ASCII spaces become spaces,
// the characters commonly mapped to nothing are dropped and the text is put
// in NFKC. Prohibited characters are not refused (such a password simply
// does not open the file). Text that is not UTF-8 is returned unchanged.
std::string pdf_saslprep(const std::string& password);

// UTF-8 text in PDFDocEncoding, one byte a character, letters typed with
// combining marks composed first; nothing when the text is not UTF-8 or holds
// a character the encoding lacks.
std::optional<std::string> pdf_doc_encoding(const std::string& utf8);

// The password cut to the bytes the handler reads for this revision. When
// prepared is true: for revisions 5 and 6 after SASLprep, for revisions 2 to
// 4 in PDFDocEncoding where the text can be written so (a user types UTF-8).
std::string pdf_password_for_revision(const std::string& password, int revision, bool prepared = true);
