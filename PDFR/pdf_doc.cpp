#include "PDFR/pdf_doc.h"

#include <Catalog.h>
#include <Dict.h>
#include <Error.h>
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <goo/GooString.h>
#include <Object.h>
#include <PDFDoc.h>
#include <Page.h>
#include <Stream.h>
#include <XRef.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "PDFR/pdf_jpeg.h"
#include "PDFR/pdf_pswd.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "platform/plat_files.h"

const char* const pdf_text_unreadable =
    "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.";
const char* const pdf_text_bad_password = "Incorrect password";
const char* const pdf_text_password_needed = "The document is protected by a password: it cannot be read without it.";
const char* const pdf_text_unsupported_encryption =
    "The document is encrypted with a method this program does not support: it cannot be read.";

namespace {
void ignore_core_error(ErrorCategory, Goffset, const char* message) {
    tk_log::write(1, "PDF core: %s", message ? message : "");
}

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

// The trailer's encryption dictionary, or null. The core reports a refused
// password and an unknown security handler with the same code; its filter
// (Standard) tells them apart.
Object encrypt_dict(PDFDoc& doc) {
    XRef* xref = doc.getXRef();
    if (!xref) return Object(objNull);
    Object* trailer = xref->getTrailerDict();
    if (!trailer || !trailer->isDict()) return Object(objNull);
    Object encrypt = trailer->dictLookup("Encrypt");
    return encrypt.isDict() ? std::move(encrypt) : Object(objNull);
}

int dict_int(const Object& dict, const char* key) {
    if (!dict.isDict()) return -1;
    Object value = dict.dictLookup(key);
    return value.isInt() ? value.getInt() : -1;
}

// The core reads a standard encryption dictionary it does not handle as no
// encryption at all. That is right only when nothing the document shows is
// encrypted: crypt filters (V 4 with R 4, V 5 with R 5 or 6) where the
// streams' filter StmF and the strings' filter StrF are both Identity, which
// is also what they are when absent. The embedded files' filter EFF does not
// matter: attachments are never read. Any other version or revision, or a
// filter other than Identity, needs a decryption the core cannot do.
bool nothing_encrypted(const Object& encrypt) {
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

void pdf_silence_core_errors() {
    setErrorCallback(&ignore_core_error);
    pdf_route_jpeg_messages();
}

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
    // as given are tried too: writers that skip SASLprep used those. For
    // revisions 2 to 4 the bytes as given come first (ASCII, or a terminal in
    // an 8-bit encoding), then the text typed in UTF-8, in PDFDocEncoding.
    const passwords given{owner, user};
    passwords held = for_revision(given, 0, false);  // what doc was opened with
    std::unique_ptr<PDFDoc> doc = open(held);
    // Read once, while the document that holds it is open (it is the same in every opening).
    bool standard = false, plain_content = false, named_handler = false;
    int revision = -1;
    {
        const Object encrypt = encrypt_dict(*doc);
        named_handler = encrypt.isDict() && encrypt.dictLookup("Filter").isName();
        standard = named_handler && encrypt.dictLookup("Filter").isName("Standard");
        revision = standard ? dict_int(encrypt, "R") : -1;
        plain_content = nothing_encrypted(encrypt);
    }
    if (revision >= 2 && revision <= 4 && !doc->isOk() && doc->getErrorCode() == errEncrypted) {
        const passwords encoded = for_revision(given, revision, true);
        if (encoded != held) {
            doc = open(encoded);
            held = encoded;
        }
    }
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
        // An encryption dictionary the core did not apply (a version,
        // revision or crypt filter it does not know: it opened the file as
        // not encrypted) must not hide encrypted content, which would give
        // blank pages. No password can help.
        if (!doc->isEncrypted() && standard && !plain_content)
            throw tk_exception(pdf_text_unsupported_encryption, tk_level_error);
        if (!has_page_tree(*doc)) throw tk_exception(pdf_text_unreadable, tk_level_error);
        tk_log::write(1, "PDFDoc::setup - step #2");
        return doc;
    }
    int code = doc->getErrorCode();
    tk_log::write(1, "PDFDoc::setup failed, code %d", code);
    // The file went away between the probe and the open: the caller sees "not ok".
    if (code == errOpenFile) return doc;
    if (code == errEncrypted && standard) throw tk_exception(pdf_text_bad_password, tk_level_error);
    // A security handler the core does not have (certificates, a vendor's own).
    if (code == errEncrypted && named_handler) throw tk_exception(pdf_text_unsupported_encryption, tk_level_error);
    throw tk_exception(pdf_text_unreadable, tk_level_error);
}

std::unique_ptr<PDFDoc> pdf_open_document_checked(const std::string& file_name,
                                                  const std::optional<std::string>& owner,
                                                  const std::optional<std::string>& user) {
    std::unique_ptr<PDFDoc> doc = pdf_open_document(file_name, owner, user);
    if (!doc || !doc->isOk()) throw tk_exception(pdf_text_unreadable, tk_level_error);
    return doc;
}

std::unique_ptr<PDFDoc> pdf_open_source(const std::string& file_name, const std::string& password,
                                        const std::string& how_to_give) {
    try {
        return pdf_open_document_checked(file_name, password, password);
    } catch (const tk_exception& e) {
        // Without a password the document is not refusing one: it needs one.
        if (!password.empty() || std::string(e.what()) != pdf_text_bad_password) throw;
        std::string text = pdf_text_password_needed;
        if (!how_to_give.empty()) text += "\n" + how_to_give;
        throw tk_exception(text, tk_level_error);
    }
}

namespace {
// Whether a composite font's CMap names itself through /UseCMap, directly or
// through others: the core follows the chain by recursion until its stack ends.
bool cmap_chain_loops(XRef* xref, const Object& font) {
    if (!font.isDict() || !font.dictLookup("Subtype").isName("Type0")) return false;
    Object link = font.dictLookupNF("Encoding").copy();
    std::set<Ref> seen;
    // Real chains are one or two long; a far longer one recurses as deep.
    for (int depth = 0; link.isRef(); ++depth) {
        if (depth > 64 || !seen.insert(link.getRef()).second) return true;
        Object cmap = xref->fetch(link.getRef());
        if (!cmap.isStream()) return false;
        link = cmap.streamGetDict()->lookupNF("UseCMap").copy();
    }
    return false;
}

// The predefined CMap (named, not embedded) of a composite font when the core
// cannot find it: the font's text is then not read at all. The identity ones
// are built into the core; the others come with poppler-data.
std::string missing_cmap(const Object& font) {
    if (!font.isDict() || !font.dictLookup("Subtype").isName("Type0")) return {};
    Object encoding = font.dictLookup("Encoding");
    if (!encoding.isName() || encoding.isName("Identity-H") || encoding.isName("Identity-V") ||
        encoding.isName("Identity") || !globalParams)
        return {};
    // The character collection the core looks for it in.
    Object descendants = font.dictLookup("DescendantFonts");
    Object cid = descendants.isArray() && descendants.arrayGetLength() > 0 ? descendants.arrayGet(0) : Object(objNull);
    Object info = cid.isDict() ? cid.dictLookup("CIDSystemInfo") : Object(objNull);
    Object registry = info.isDict() ? info.dictLookup("Registry") : Object(objNull);
    Object ordering = info.isDict() ? info.dictLookup("Ordering") : Object(objNull);
    if (!registry.isString() || !ordering.isString()) return {};
    GooString collection(registry.getString()->toStr() + "-" + ordering.getString()->toStr());
    GooString name(encoding.getName());
    if (std::FILE* f = globalParams->findCMapFile(&collection, &name)) {
        std::fclose(f);
        return {};
    }
    return encoding.getName();
}

// Image codecs: a stream they decode is an image, never content to play.
// The core would decode it all the same, and an image codec can make
// gigabytes of nothing out of a few bytes.
const char* image_codec(const Object& dict) {
    static const char* const codecs[] = {"JBIG2Decode", "DCTDecode", "DCT", "JPXDecode", "CCITTFaxDecode", "CCF"};
    Object filter = dict.dictLookup("Filter");
    const int n = filter.isArray() ? filter.arrayGetLength() : 1;
    for (int i = 0; i < n; ++i) {
        Object f = filter.isArray() ? filter.arrayGet(i) : filter.copy();
        for (const char* codec : codecs)
            if (f.isName(codec)) return codec;
    }
    return nullptr;
}

// What the stream decodes to, decoded up to one byte past `limit`.
std::size_t decoded_size(Stream* str, std::size_t limit) {
    if (!str) return 0;
    str->reset();
    unsigned char buf[65536];
    std::size_t total = 0;
    for (int got; total <= limit && (got = str->doGetChars(sizeof buf, buf)) > 0;)
        total += static_cast<std::size_t>(got);
    str->close();
    return total;
}

// A content stream, form or pattern the core must not play is replaced at
// `ref` by an empty stream of the same kind, so that the rest of the page
// still plays, and the notes say why.
void leave_out_unplayable(XRef* xref, const Object& ref, const Object& stream, pdf_page_notes* notes) {
    if (!ref.isRef() || !stream.isStream()) return;
    Dict* dict = stream.streamGetDict();
    Object dictObj(dict->copy(xref));
    if (dictObj.dictLookup("Subtype").isName("Image")) return;
    std::string why;
    if (const char* codec = image_codec(dictObj))
        why = std::string("is damaged: part of its content is encoded as an image (") + codec + ")";
    else if (const std::size_t left = notes->max_stream_bytes - std::min(notes->max_stream_bytes, notes->decoded);
             (notes->decoded += decoded_size(stream.getStream(), left)) > notes->max_stream_bytes)
        why = "is too complex: its content decodes to more than " + std::to_string(notes->max_stream_bytes >> 20) +
              " MB";
    if (why.empty()) return;
    dictObj.dictRemove("Filter");
    dictObj.dictRemove("DecodeParms");
    dictObj.dictSet("Length", Object(0));
    static const char nothing[1] = {0};
    Object empty(static_cast<Stream*>(new MemStream(nothing, 0, 0, std::move(dictObj))));
    xref->setModifiedObject(&empty, ref.getRef());
    notes->left_out.push_back(std::move(why));
}

// The resources a page draws with, and what they draw with in turn (forms,
// Type 3 glyphs, patterns, soft masks, annotation appearances), each object
// once, up to a bound that no real page reaches.
class resource_walk {
public:
    resource_walk(XRef* xref, std::set<Ref>* sound, pdf_page_notes* notes)
        : xref_(xref), sound_(sound), notes_(notes) {}
    static constexpr int max_objects = 200000;

    void add_resources(const Object& res) { pending_.push_back(res.copy()); }
    // An annotation's appearances: a stream, or a dictionary of streams by state.
    void add_appearance(const Object& ap) {
        if (!ap.isDict()) return;
        for (const char* key : {"N", "R", "D"}) {
            Object a;
            const Object& entry = ap.dictLookupNF(key);
            if (!visit(entry, a)) continue;
            if (a.isStream()) played(entry, a);
            else if (a.isDict())
                for (int i = 0; i < a.dictGetLength(); ++i) drawn_by(a.dictGetValNF(i));
        }
    }

    // False as soon as a font is found the core cannot load.
    bool fonts_loadable() {
        while (!pending_.empty() && objects_ <= max_objects) {
            Object r = std::move(pending_.back());
            pending_.pop_back();
            if (!r.isDict()) continue;
            Object fonts = r.dictLookup("Font");
            if (fonts.isDict())
                for (int i = 0; i < fonts.dictGetLength(); ++i) {
                    Object font;
                    if (!visit(fonts.dictGetValNF(i), font)) continue;
                    if (cmap_chain_loops(xref_, font)) return false;
                    if (notes_)
                        if (std::string cmap = missing_cmap(font); !cmap.empty()) notes_->missing_cmaps.push_back(cmap);
                    if (font.isDict()) pending_.push_back(font.dictLookup("Resources"));  // Type 3 glyphs
                }
            for (const char* kind : {"XObject", "Pattern"}) {
                Object items = r.dictLookup(kind);
                if (!items.isDict()) continue;
                for (int i = 0; i < items.dictGetLength(); ++i) drawn_by(items.dictGetValNF(i));
            }
            Object states = r.dictLookup("ExtGState");
            if (states.isDict())
                for (int i = 0; i < states.dictGetLength(); ++i) {
                    Object state;
                    if (!visit(states.dictGetValNF(i), state) || !state.isDict()) continue;
                    Object mask = state.dictLookup("SMask");
                    if (mask.isDict()) drawn_by(mask.dictLookupNF("G"));
                }
        }
        // Walked to the end without a bad font: everything met is sound, with
        // all it draws with (a walk cut short at the bound proves nothing).
        if (sound_ && pending_.empty()) sound_->insert(seen_.begin(), seen_.end());
        return true;
    }

private:
    // Fetches an object the walk has not met; false for one it has.
    bool visit(const Object& entry, Object& out) {
        ++objects_;
        if (entry.isRef()) {
            if ((sound_ && sound_->count(entry.getRef())) || !seen_.insert(entry.getRef()).second) return false;
            out = xref_->fetch(entry.getRef());
        } else {
            out = entry.copy();
        }
        return true;
    }
    // A form, pattern or glyph stream: its resources are walked too.
    void drawn_by(const Object& entry) {
        Object o;
        if (!visit(entry, o)) return;
        if (o.isStream()) played(entry, o);
        else if (o.isDict()) pending_.push_back(o.dictLookup("Resources"));
    }
    // A stream the core plays (an image's resources are none): one it must
    // not play is left out.
    void played(const Object& entry, const Object& stream) {
        if (notes_) leave_out_unplayable(xref_, entry, stream, notes_);
        pending_.push_back(stream.streamGetDict()->lookup("Resources"));
    }

    XRef* xref_;
    std::set<Ref>* sound_;
    pdf_page_notes* notes_;
    std::set<Ref> seen_;
    std::vector<Object> pending_;
    int objects_ = 0;
};

// Whether the core can load every font the page draws with.
bool fonts_loadable(XRef* xref, Page* page, std::set<Ref>* sound, pdf_page_notes* notes) {
    resource_walk walk(xref, sound, notes);
    if (Object* res = page->getResourceDictObject()) walk.add_resources(*res);
    Object annots = page->getAnnotsObject(xref);
    if (annots.isArray())
        for (int i = 0; i < annots.arrayGetLength() && i < resource_walk::max_objects; ++i) {
            Object annot = annots.arrayGet(i);
            if (annot.isDict()) walk.add_appearance(annot.dictLookup("AP"));
        }
    return walk.fonts_loadable();
}
}  // namespace

namespace {
// The core has no call that lets go of a page it has read. Its lists of pages
// are reached the one way the language allows: an explicit instantiation may
// name a private member, and the friend it defines hands the pointer out.
// (A change of those members in the core fails the build, not the run.)
template <typename Tag, typename Tag::type member>
struct expose {
    friend typename Tag::type pointer(Tag) { return member; }
};
struct catalog_pages {
    using type = std::vector<std::pair<std::unique_ptr<Page>, Ref>> Catalog::*;
    friend type pointer(catalog_pages);
};
template struct expose<catalog_pages, &Catalog::pages>;
// A linearized document's pages, read through its hint tables.
struct linearized_pages {
    using type = Page** PDFDoc::*;
    friend type pointer(linearized_pages);
};
template struct expose<linearized_pages, &PDFDoc::pageCache>;
}  // namespace

void pdf_release_page(PDFDoc& doc, int page) {
    if (page < 1) return;
    if (Catalog* catalog = doc.getCatalog()) {
        auto& pages = catalog->*pointer(catalog_pages{});
        if (static_cast<size_t>(page) <= pages.size()) pages[static_cast<size_t>(page - 1)].first.reset();
    }
    // The document reads such a page again when asked.
    if (Page** cache = doc.*pointer(linearized_pages{}); cache && page <= doc.getNumPages()) {
        delete cache[page - 1];
        cache[page - 1] = nullptr;
    }
}

pdf_page_turner::pdf_page_turner(PDFDoc& doc, const std::vector<int>& pages) : doc_(doc) {
    for (int page : pages) {
        if (page < 1) continue;
        if (static_cast<size_t>(page) >= uses_.size()) uses_.resize(static_cast<size_t>(page) + 1);
        ++uses_[static_cast<size_t>(page)];
    }
}

void pdf_page_turner::reach(int page) {
    Catalog* catalog = doc_.getCatalog();
    if (!catalog) return;
    // Asked for a later page, the core would read all those before it at once.
    while (reached_ < page) {
        ++reached_;
        catalog->getPageRef(reached_);
        const size_t passed = static_cast<size_t>(reached_);
        if (reached_ < page && (passed >= uses_.size() || uses_[passed] == 0)) pdf_release_page(doc_, reached_);
    }
}

void pdf_page_turner::done(int page) {
    const size_t at = static_cast<size_t>(page);
    if (page < 1 || at >= uses_.size() || uses_[at] == 0) return;
    // The widgets of an interactive form keep pointers into the pages that
    // showed them (the core never counts them): such pages stay.
    if (--uses_[at] == 0 && doc_.getCatalog()->getFormType() == Catalog::NoForm) pdf_release_page(doc_, page);
}

std::vector<int> pdf_page_leaves(PDFDoc& doc) {
    std::vector<int> leaves;
    XRef* xref = doc.getXRef();
    Catalog* catalog = doc.getCatalog();
    if (!xref || !catalog) return leaves;
    // The core's numbers of the pages it found, by reference.
    std::map<Ref, int> core;
    const int count = doc.getNumPages();
    for (int i = 1; i <= count; ++i) {
        if (Ref* r = catalog->getPageRef(i)) core.emplace(*r, i);
        pdf_release_page(doc, i);
    }

    Object root = xref->getCatalog();
    if (!root.isDict()) return leaves;
    std::set<Ref> seen;
    struct level {
        Object kids;
        int next = 0;
    };
    std::vector<level> stack;
    Object top = root.dictLookup("Pages");
    if (!top.isDict()) return leaves;
    // The root is a node met once too: a kid that names it again is a loop.
    if (Object topRef = root.dictLookupNF("Pages").copy(); topRef.isRef()) seen.insert(topRef.getRef());
    stack.push_back({top.dictLookup("Kids"), 0});
    while (!stack.empty()) {
        level& l = stack.back();
        if (!l.kids.isArray() || l.next >= l.kids.arrayGetLength()) {
            stack.pop_back();
            continue;
        }
        const int i = l.next++;
        Object ref = l.kids.arrayGetNF(i).copy();
        Object kid = l.kids.arrayGet(i);
        // A node as the core tells it: a dictionary with kids that is not a
        // page. Each node once: one met again is a loop or shared.
        if (kid.isDict() && !kid.isDict("Page") && kid.dictLookup("Kids").isArray()) {
            if (!ref.isRef() || seen.insert(ref.getRef()).second) stack.push_back({kid.dictLookup("Kids"), 0});
            continue;
        }
        // Anything else holds a page's place, readable or not.
        int number = 0;
        if (ref.isRef() && kid.isDict())
            if (auto it = core.find(ref.getRef()); it != core.end()) number = it->second;
        leaves.push_back(number);
    }
    return leaves;
}

std::string pdf_drop_broken_form_fields(PDFDoc& doc) {
    Catalog* catalog = doc.getCatalog();
    XRef* xref = doc.getXRef();
    if (!catalog || !xref) return {};
    Object* form = catalog->getAcroForm();
    if (!form || !form->isDict()) return {};
    Object fields = form->dictLookup("Fields");
    if (!fields.isArray()) return {};
    // Every path through the tree, as the core builds them: a field shared by
    // two parents is met on both paths, which is no fault, but a tree whose
    // shared nodes multiply the paths past the bound is too large for the core.
    struct level {
        Object kids;
        int next = 0;
        std::optional<Ref> node;  // the field whose kids these are
    };
    std::vector<level> stack;
    std::set<Ref> on_path;
    stack.push_back({std::move(fields), 0, std::nullopt});
    long paths = 0;
    std::string why;
    while (why.empty() && !stack.empty()) {
        level& l = stack.back();
        if (l.next >= l.kids.arrayGetLength()) {
            if (l.node) on_path.erase(*l.node);
            stack.pop_back();
            continue;
        }
        const int i = l.next++;
        const Object entry = l.kids.arrayGetNF(i).copy();
        if (++paths > pdf_max_form_fields) {
            why = "it has more than " + std::to_string(pdf_max_form_fields) + " fields";
        } else if (entry.isRef() && on_path.count(entry.getRef())) {
            why = "it loops";  // a field among its own descendants
        } else if (stack.size() > pdf_max_form_depth) {
            why = "its fields are nested more than " + std::to_string(pdf_max_form_depth) + " deep";
        } else {
            Object field = l.kids.arrayGet(i);
            Object more = field.isDict() ? field.dictLookup("Kids") : Object(objNull);
            if (!more.isArray()) continue;
            std::optional<Ref> node;
            if (entry.isRef()) on_path.insert(*(node = entry.getRef()));
            stack.push_back({std::move(more), 0, node});
        }
    }
    if (why.empty()) return why;
    Dict* without = form->getDict()->copy(xref);
    without->remove("Fields");
    *form = Object(without);
    return why;
}

bool pdf_page_readable(PDFDoc& doc, int page, std::set<Ref>* sound, pdf_page_notes* notes) {
    Page* p = doc.getPage(page);
    XRef* xref = doc.getXRef();
    if (!p || !xref) return false;
    if (!fonts_loadable(xref, p, sound, notes)) return false;
    Object dict = xref->fetch(p->getRef());
    if (!dict.isDict()) return false;
    if (dict.dictLookupNF("Contents").isNull()) return true;
    // The core draws nothing of a page when one piece of its content is no stream.
    Object contents = dict.dictLookup("Contents");
    const bool one = contents.isStream();
    if (!one && !contents.isArray()) return false;
    for (int i = 0; i < (one ? 1 : contents.arrayGetLength()); ++i) {
        Object piece = one ? contents.copy() : contents.arrayGet(i);
        if (!piece.isStream()) return false;
        if (!notes) continue;
        leave_out_unplayable(xref, one ? dict.dictLookupNF("Contents") : contents.arrayGetNF(i), piece, notes);
    }
    return true;
}
