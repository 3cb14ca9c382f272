// Opening PDF documents through the PDF core with the system's own errors:
// an unreadable document or a wrong password raises tk_exception (level 1)
// with one of two fixed texts, and the core's own messages are dropped.
#pragma once

#include <memory>
#include <optional>
#include <string>

class PDFDoc;

extern const char* const pdf_text_unreadable;    // damaged, not a PDF, unknown security handler
extern const char* const pdf_text_bad_password;  // the standard security handler refuses the passwords
extern const char* const pdf_text_password_needed;  // pdf_text_bad_password when no password was given

// Installs the core's error callback that does nothing. Idempotent.
void pdf_silence_core_errors();

// Opens the file under its name, else under the name in lower case, else in
// upper case. A file that opens under none of them is returned not ok with
// error code 1 (nothing is raised). A document that cannot be read raises
// pdf_text_unreadable, a refused password pdf_text_bad_password.
std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file_name, const std::optional<std::string>& owner,
                                          const std::optional<std::string>& user);

// The same for callers that go on to use the document: one that is not ok
// raises pdf_text_unreadable too (the core must never be asked for pages of a
// document that failed to open).
std::unique_ptr<PDFDoc> pdf_open_document_checked(const std::string& file_name,
                                                  const std::optional<std::string>& owner,
                                                  const std::optional<std::string>& user);

// Whether the core can load the page and read its content: a page the page
// tree does not give, or whose content is named but missing or not a content
// stream, comes out empty. A page without content at all is a blank page.
bool pdf_page_readable(PDFDoc& doc, int page);
