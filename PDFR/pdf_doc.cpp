#include "PDFR/pdf_doc.h"

#include <Error.h>
#include <ErrorCodes.h>
#include <goo/GooString.h>
#include <Object.h>
#include <PDFDoc.h>
#include <XRef.h>

#include <cctype>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "platform/plat_files.h"

const char* const pdf_text_unreadable =
    "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.";
const char* const pdf_text_bad_password = "Incorrect password";

namespace {
void ignore_core_error(ErrorCategory, Goffset, const char*) {}

std::string change_case(const std::string& s, bool upper) {
    std::string out = s;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        c = static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
    }
    return out;
}

std::optional<GooString> goo(const std::optional<std::string>& s) {
    if (!s) return std::nullopt;
    return GooString(s->c_str(), s->size());
}

// The core reports a refused password and an unknown security handler with
// the same code; the encryption dictionary's filter tells them apart.
bool standard_security(PDFDoc& doc) {
    XRef* xref = doc.getXRef();
    if (!xref) return false;
    Object* trailer = xref->getTrailerDict();
    if (!trailer || !trailer->isDict()) return false;
    Object encrypt = trailer->dictLookup("Encrypt");
    if (!encrypt.isDict()) return false;
    Object filter = encrypt.dictLookup("Filter");
    return filter.isName("Standard");
}

// A catalog without a page tree: the core opens it as a document of no pages.
bool has_page_tree(PDFDoc& doc) {
    XRef* xref = doc.getXRef();
    if (!xref) return false;
    Object catalog = xref->getCatalog();
    return catalog.isDict() && catalog.dictLookup("Pages").isDict();
}
}  // namespace

void pdf_silence_core_errors() { setErrorCallback(&ignore_core_error); }

std::unique_ptr<PDFDoc> pdf_open_document(const std::string& file_name, const std::optional<std::string>& owner,
                                          const std::optional<std::string>& user) {
    tk_log::write(1, "PDFDoc::ctor(name=%s,pswd=%s)", file_name.c_str(), owner ? owner->c_str() : "[NULL]");
    pdf_silence_core_errors();
    std::string name;
    for (const std::string& candidate : {file_name, change_case(file_name, false), change_case(file_name, true)}) {
        if (plat_file_can_open(candidate, false)) {
            name = candidate;
            break;
        }
    }
    if (name.empty()) return PDFDoc::ErrorPDFDoc(errOpenFile, std::make_unique<GooString>(file_name));
    // The core reads with blocking opens and seeks: a pipe or a device would
    // hang it or cannot be read as a document.
    if (!plat_is_regular_file(name)) throw tk_exception(pdf_text_unreadable, tk_level_error);

    tk_log::write(1, "PDFDoc::setup");
    auto doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(name), goo(owner), goo(user));
    if (doc->isOk()) {
        // The core opens a standard encryption dictionary of a version or
        // revision it cannot handle as if the file were not encrypted, which
        // would give blank pages: that is a password the handler refuses.
        if (!doc->isEncrypted() && standard_security(*doc))
            throw tk_exception(pdf_text_bad_password, tk_level_error);
        if (!has_page_tree(*doc)) throw tk_exception(pdf_text_unreadable, tk_level_error);
        tk_log::write(1, "PDFDoc::setup - step #2");
        return doc;
    }
    int code = doc->getErrorCode();
    tk_log::write(1, "PDFDoc::setup failed, code %d", code);
    // The file went away between the probe and the open: the caller sees "not ok".
    if (code == errOpenFile) return doc;
    if (code == errEncrypted && standard_security(*doc)) throw tk_exception(pdf_text_bad_password, tk_level_error);
    throw tk_exception(pdf_text_unreadable, tk_level_error);
}

std::unique_ptr<PDFDoc> pdf_open_document_checked(const std::string& file_name,
                                                  const std::optional<std::string>& owner,
                                                  const std::optional<std::string>& user) {
    std::unique_ptr<PDFDoc> doc = pdf_open_document(file_name, owner, user);
    if (!doc || !doc->isOk()) throw tk_exception(pdf_text_unreadable, tk_level_error);
    return doc;
}
