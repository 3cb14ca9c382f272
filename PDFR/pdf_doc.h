// Opening PDF documents through the PDF core with the system's own errors:
// an unreadable document or a wrong password raises tk_exception (level 1)
// with one of two fixed texts, and the core's own messages are dropped.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <Object.h>

class PDFDoc;

extern const char* const pdf_text_unreadable;    // damaged, not a PDF, unknown security handler
extern const char* const pdf_text_bad_password;  // the standard security handler refuses the passwords
extern const char* const pdf_text_password_needed;  // pdf_text_bad_password when no password was given
// Encrypted by a security handler, or a version, revision or crypt filter of
// the standard one, that the core cannot decrypt, whatever the password.
extern const char* const pdf_text_unsupported_encryption;

// Installs the core's error callback that shows nothing (the log keeps it),
// and sends libjpeg's messages there too. Idempotent.
void pdf_silence_core_errors();

// Opens the file under its name, else under the name in lower case, else in
// upper case. A file that opens under none of them is returned not ok with
// error code 1 (nothing is raised). A document that cannot be read raises
// pdf_text_unreadable, a refused password pdf_text_bad_password, an
// encryption the core cannot undo pdf_text_unsupported_encryption.
std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file_name, const std::optional<std::string>& owner,
                                          const std::optional<std::string>& user);

// The same for callers that go on to use the document: one that is not ok
// raises pdf_text_unreadable too (the core must never be asked for pages of a
// document that failed to open).
std::unique_ptr<PDFDoc> pdf_open_document_checked(const std::string& file_name,
                                                  const std::optional<std::string>& owner,
                                                  const std::optional<std::string>& user);

// The same for the document to convert, opened with the one password the user
// gave (owner and user alike): a document that refuses the empty password
// raises pdf_text_password_needed followed by how_to_give (how the calling
// program takes a password).
std::unique_ptr<PDFDoc> pdf_open_source(const std::string& file_name, const std::string& password,
                                        const std::string& how_to_give);

// What a check of a page found the core must not play of it.
struct pdf_page_notes {
    // What the content streams, forms and patterns the page plays may decode
    // to, together (the check itself decodes them), and what they did so far.
    std::size_t max_stream_bytes = std::size_t(1) << 30;
    std::size_t decoded = 0;
    // Why pieces of the page's content were left out, each worded to follow
    // "Page N " ("is damaged: part of its content is encoded as an image (JBIG2Decode)").
    std::vector<std::string> left_out;
    // Predefined CMaps of the page's composite fonts that the core cannot
    // find (not installed): the text drawn in those fonts is missing.
    std::vector<std::string> missing_cmaps;
};

// Whether the core can load the page and read its content: a page the page
// tree does not give, or whose content is named but missing or not a content
// stream, comes out empty. A page without content at all is a blank page. A
// page with a font the core cannot survive loading (a composite font whose
// CMap uses itself) is not readable either.
// Resources that one run's pages share are looked at once: `sound` holds the
// objects earlier checks of the same document went through completely
// without finding such a font (start it empty for each document).
// With `notes`, a content stream, form or pattern that an image codec
// encodes, or that makes all the page's content decode to more than
// notes->max_stream_bytes, is replaced
// in the document by an empty one (the core would decode it all before
// playing a thing), and the notes say why; they also name the predefined
// CMaps the page's fonts need that are not installed. Objects in `sound`
// are not looked at again, so each is noted once per run.
bool pdf_page_readable(PDFDoc& doc, int page, std::set<Ref>* sound = nullptr, pdf_page_notes* notes = nullptr);

// The pages as the page tree writes them: the leaves of its /Kids in order
// (each node once, a page as often as it is listed), each as the core's
// number of that page, or 0 where the entry names no page the core has
// (missing or damaged). The core itself leaves such an entry out and numbers
// the later pages one lower. Empty when the document has no page tree to walk.
// Each page the core reads for this is let go of at once (see
// pdf_release_page), so the walk costs no memory per page, but the document
// cannot show its pages afterwards: show them from another opening.
std::vector<int> pdf_page_leaves(PDFDoc& doc);

// The core keeps every page it has read (its dictionary and inherited
// attributes, about 1.6 KB) until the document closes. This lets go of the
// core's page `page`; its reference stays, and the core gives the page as
// missing from then on, so it must not be asked for again.
void pdf_release_page(PDFDoc& doc, int page);

// The core reads the page tree in order, up to the page asked for. Given the
// core's numbers of the pages a run shows, in the order it shows them, this
// lets go of each page after its last showing (unless the document has an
// interactive form, whose widgets point into the pages shown), and of every page the tree
// passes on the way that the run does not show: the core holds one page at a
// time (and those the run comes back to), however long the document.
class pdf_page_turner {
public:
    pdf_page_turner(PDFDoc& doc, const std::vector<int>& pages);
    // Before page `page` is shown: the tree is read up to it, a page at a time.
    void reach(int page);
    // After page `page` is shown.
    void done(int page);

private:
    PDFDoc& doc_;
    std::vector<int> uses_;  // showings to come, by page number
    int reached_ = 0;
};

// More form fields than this (counted along every path, as the core makes
// them), or fields nested deeper than this, make a form the core cannot be given.
constexpr long pdf_max_form_fields = 100000;
constexpr size_t pdf_max_form_depth = 1000;

// The core builds every path through the form-field tree when a page shows
// its widgets, by recursion: a tree whose shared nodes multiply the paths past
// pdf_max_form_fields would take it forever, fields nested too deep would end
// its stack, and a field listed among its own descendants makes no tree.
// Such a form's fields are taken from the core (the widgets still show their
// appearances); the result says why ("it loops"), or is empty when the fields
// are kept. A field shared by two parents is no fault. Call before any page
// is displayed.
std::string pdf_drop_broken_form_fields(PDFDoc& doc);
