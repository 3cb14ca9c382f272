#include "PDFR/pdf_doc.h"

#include <Error.h>
#include <ErrorCodes.h>
#include <goo/GooString.h>
#include <Object.h>
#include <PDFDoc.h>
#include <Page.h>
#include <XRef.h>

#include <cctype>
#include <utility>

#include "PDFR/pdf_pswd.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "platform/plat_files.h"

const char* const pdf_text_unreadable =
    "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.";
const char* const pdf_text_bad_password = "Incorrect password";
const char* const pdf_text_password_needed = "The document is protected by a password: it cannot be read without it.";

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

// The trailer's encryption dictionary, or null.
Object encrypt_dict(PDFDoc& doc) {
    XRef* xref = doc.getXRef();
    if (!xref) return Object(objNull);
    Object* trailer = xref->getTrailerDict();
    if (!trailer || !trailer->isDict()) return Object(objNull);
    Object encrypt = trailer->dictLookup("Encrypt");
    return encrypt.isDict() ? std::move(encrypt) : Object(objNull);
}

// The core reports a refused password and an unknown security handler with
// the same code; the encryption dictionary's filter tells them apart.
bool standard_security(PDFDoc& doc) {
    Object encrypt = encrypt_dict(doc);
    return encrypt.isDict() && encrypt.dictLookup("Filter").isName("Standard");
}

int dict_int(const Object& dict, const char* key) {
    if (!dict.isDict()) return -1;
    Object value = dict.dictLookup(key);
    return value.isInt() ? value.getInt() : -1;
}

// The revision of the standard security handler; -1 without one.
int standard_revision(PDFDoc& doc) {
    return standard_security(doc) ? dict_int(encrypt_dict(doc), "R") : -1;
}

// The core reads a standard encryption dictionary it does not handle as no
// encryption at all. That is right only when nothing the document shows is
// encrypted: crypt filters (V 4 with R 4, V 5 with R 5 or 6) where the
// streams' filter StmF and the strings' filter StrF are both Identity, which
// is also what they are when absent. The embedded files' filter EFF does not
// matter: attachments are never read. Any other version or revision, or a
// filter other than Identity, needs a decryption the core cannot do.
bool nothing_encrypted(PDFDoc& doc) {
    Object encrypt = encrypt_dict(doc);
    if (!encrypt.isDict()) return false;
    const int v = dict_int(encrypt, "V"), r = dict_int(encrypt, "R");
    if (!((v == 4 && r == 4) || (v == 5 && (r == 5 || r == 6)))) return false;
    for (const char* key : {"StmF", "StrF"}) {
        Object filter = encrypt.dictLookup(key);
        if (!filter.isNull() && !filter.isName("Identity")) return false;
    }
    return true;
}

using passwords = std::pair<std::optional<std::string>, std::optional<std::string>>;

passwords for_revision(const passwords& given, int revision, bool prepared) {
    auto cut = [&](const std::optional<std::string>& p) -> std::optional<std::string> {
        if (!p) return std::nullopt;
        return pdf_password_for_revision(*p, revision, prepared);
    };
    return {cut(given.first), cut(given.second)};
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
    auto open = [&](const passwords& p) {
        return std::make_unique<PDFDoc>(std::make_unique<GooString>(name), goo(p.first), goo(p.second));
    };
    // The core must never see more of a password than the handler reads,
    // which depends on the revision the document names: first at most the
    // 32 bytes of the older revisions, then, for revisions 5 and 6, the
    // password as they read it. When its SASLprep form is refused, its bytes
    // as given are tried too: writers that skip SASLprep used those.
    const passwords given{owner, user};
    passwords held = for_revision(given, 0, false);  // what doc was opened with
    std::unique_ptr<PDFDoc> doc = open(held);
    const int revision = standard_revision(*doc);
    if (revision == 5 || revision == 6) {
        for (bool prepared : {true, false}) {
            const passwords next = for_revision(given, revision, prepared);
            if (next != held) {
                doc = open(next);
                held = next;
            }
            if (doc->isOk() || doc->getErrorCode() != errEncrypted) break;
        }
    }
    if (doc->isOk()) {
        // An encryption dictionary the core did not apply (it opened the
        // file as not encrypted) must not hide encrypted content, which
        // would give blank pages: that is a password the handler refuses.
        if (!doc->isEncrypted() && standard_security(*doc) && !nothing_encrypted(*doc))
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

bool pdf_page_readable(PDFDoc& doc, int page) {
    Page* p = doc.getPage(page);
    XRef* xref = doc.getXRef();
    if (!p || !xref) return false;
    Object dict = xref->fetch(p->getRef());
    if (!dict.isDict()) return false;
    if (dict.dictLookupNF("Contents").isNull()) return true;
    // The core draws nothing of a page when one piece of its content is no stream.
    Object contents = dict.dictLookup("Contents");
    if (contents.isStream()) return true;
    if (!contents.isArray()) return false;
    for (int i = 0; i < contents.arrayGetLength(); ++i)
        if (!contents.arrayGet(i).isStream()) return false;
    return true;
}
