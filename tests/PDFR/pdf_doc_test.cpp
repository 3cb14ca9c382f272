// Document opening: the two error texts, passwords, file-name retries.
#include "PDFR/pdf_doc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Page.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "PDFR/pdf_pswd.h"
#include "TK/tk_except.h"
#include "tests/support/mini_pdf.h"

namespace {
namespace fs = std::filesystem;

const std::string unreadable =
    "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.";
const std::string unsupported = "The document is encrypted with a method this program does not support: it cannot be read.";

struct DocOpen : ::testing::Test {
    static fs::path dir;
    static void SetUpTestSuite() {
        globalParams = std::make_unique<GlobalParams>();
        dir = fs::temp_directory_path() / ("tbx_pdfdoc_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        mini_pdf::write((dir / "plain.pdf").string(),
                        {mini_pdf::text(72, 700, "one"), mini_pdf::text(72, 700, "two")});
    }
    static void TearDownTestSuite() {
        fs::remove_all(dir);
        globalParams.reset();
    }
    static std::string path(const std::string& name) { return (dir / name).string(); }
    // An encrypted copy of plain.pdf made by qpdf (AES-256 unless told
    // otherwise, RC4 allowed); empty when qpdf is missing.
    static std::string encrypted(const std::string& name, const std::string& user, const std::string& owner,
                                 const std::string& how = "256") {
        std::string out = path(name);
        if (fs::exists(out)) return out;
        std::string cmd = "qpdf --allow-weak-crypto --object-streams=disable --encrypt '" + user + "' '" + owner +
                          "' " + how + " -- '" + path("plain.pdf") + "' '" + out + "' 2>/dev/null";
        return std::system(cmd.c_str()) == 0 ? out : std::string();
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string message(const std::string& file, std::optional<std::string> pw = std::nullopt) {
        try {
            pdf_open_document(file, pw, pw);
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), 1);
            EXPECT_EQ(e.code(), 0);
            return e.what();
        }
        return "(opened)";
    }
};
fs::path DocOpen::dir;
}  // namespace

TEST_F(DocOpen, PlainDocumentOpensAndIgnoresPasswords) {
    auto doc = pdf_open_document(path("plain.pdf"), std::nullopt, std::nullopt);
    ASSERT_TRUE(doc->isOk());
    EXPECT_EQ(doc->getNumPages(), 2);
    auto doc2 = pdf_open_document_checked(path("plain.pdf"), std::string("any"), std::string("any"));
    EXPECT_EQ(doc2->getNumPages(), 2);
}

TEST_F(DocOpen, MissingFileIsNotOkWithoutExceptionUnlessChecked) {
    auto doc = pdf_open_document(path("none.pdf"), std::nullopt, std::nullopt);
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->isOk());
    EXPECT_EQ(doc->getErrorCode(), errOpenFile);
    try {
        pdf_open_document_checked(path("none.pdf"), std::nullopt, std::nullopt);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.what(), unreadable);
    }
    // A folder does not open as a document either.
    EXPECT_FALSE(pdf_open_document(dir.string(), std::nullopt, std::nullopt)->isOk());
}

TEST_F(DocOpen, LowerAndUpperCaseSpellingsAreTried) {
    fs::copy_file(path("plain.pdf"), path("lower.pdf"));
    fs::copy_file(path("plain.pdf"), path("UPPER.PDF"));
    // Relative names, so that the retries change only the names, not the folder.
    fs::path saved = fs::current_path();
    fs::current_path(dir);
    EXPECT_TRUE(pdf_open_document("LoWeR.pdf", std::nullopt, std::nullopt)->isOk());
    EXPECT_TRUE(pdf_open_document("Upper.pdf", std::nullopt, std::nullopt)->isOk());
    auto none = pdf_open_document("NoSuch.pdf", std::nullopt, std::nullopt);
    EXPECT_FALSE(none->isOk());
    EXPECT_EQ(none->getErrorCode(), errOpenFile);
    fs::current_path(saved);
}

TEST_F(DocOpen, NotAPdfAndTruncatedPdfAreUnreadable) {
    std::ofstream(path("text.pdf")) << "just some text, no header and no cross-reference table\n";
    EXPECT_EQ(message(path("text.pdf")), unreadable);
    std::ofstream(path("empty.pdf")).flush();
    EXPECT_EQ(message(path("empty.pdf")), unreadable);
    // A pipe is refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(path("pipe.pdf").c_str(), 0600), 0);
    EXPECT_EQ(message(path("pipe.pdf")), unreadable);
    std::string whole = read(path("plain.pdf"));
    std::ofstream(path("cut.pdf"), std::ios::binary) << whole.substr(0, 60);
    EXPECT_EQ(message(path("cut.pdf")), unreadable);
    // A catalog that names no object: a bad catalog, not a crash later on.
    size_t root = whole.find("/Root ");
    ASSERT_NE(root, std::string::npos);
    size_t digit = root + 6;
    ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(whole[digit])));
    whole[digit] = '9';
    whole.insert(digit, "9");  // "/Root 9N" or "/Root 99": past the last object either way
    std::ofstream(path("nocat.pdf"), std::ios::binary) << whole;
    EXPECT_EQ(message(path("nocat.pdf")), unreadable);
    // A catalog without a page tree is damaged too, not a document of no pages.
    whole = read(path("plain.pdf"));
    size_t pages = whole.find("/Catalog /Pages");
    ASSERT_NE(pages, std::string::npos);
    whole.replace(pages, 15, "/Catalog /Pagez");
    std::ofstream(path("notree.pdf"), std::ios::binary) << whole;
    EXPECT_EQ(message(path("notree.pdf")), unreadable);
}

TEST_F(DocOpen, PasswordsOfTheStandardHandler) {
    std::string enc = encrypted("enc.pdf", "user", "owner");
    if (enc.empty()) GTEST_SKIP() << "qpdf is not installed";
    EXPECT_EQ(message(enc), "Incorrect password");
    EXPECT_EQ(message(enc, std::string("wrong")), "Incorrect password");
    EXPECT_EQ(message(enc, std::string("user")), "(opened)");
    EXPECT_EQ(message(enc, std::string("owner")), "(opened)");
    auto doc = pdf_open_document_checked(enc, std::string("user"), std::string("user"));
    EXPECT_EQ(doc->getNumPages(), 2);
    // An empty user password opens without any password given.
    std::string open_enc = encrypted("open_enc.pdf", "", "owner");
    ASSERT_FALSE(open_enc.empty());
    EXPECT_EQ(message(open_enc), "(opened)");
}

// The core cannot decrypt these and would read them as unencrypted, blank
// pages; no password, given or not, would help.
TEST_F(DocOpen, UnsupportedRevisionOrVersionIsSaidToBeUnsupported) {
    std::string enc = encrypted("enc3.pdf", "user", "owner");
    if (enc.empty()) GTEST_SKIP() << "qpdf is not installed";
    const std::string bytes = read(enc);
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"/R 6 ", "/R 7 "}, {"/V 5 ", "/V 9 "}}) {
        std::string edited = bytes;
        size_t pos = edited.find(from);
        ASSERT_NE(pos, std::string::npos) << from;
        edited.replace(pos, from.size(), to);  // same length: offsets stay valid
        std::ofstream(path("edited.pdf"), std::ios::binary) << edited;
        EXPECT_EQ(message(path("edited.pdf"), std::string("user")), unsupported) << to;
        EXPECT_EQ(message(path("edited.pdf")), unsupported) << to;
        try {
            pdf_open_source(path("edited.pdf"), "", "Please give it.");
            ADD_FAILURE() << to;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.what(), unsupported) << to;  // not "needs a password"
        }
    }
}

TEST_F(DocOpen, LongPasswordsAreCutToWhatTheRevisionReads) {
    // Revision 6 reads 127 bytes, revision 4 reads 32: longer right passwords
    // open, longer wrong ones are refused (the core overran its buffers on them).
    const std::string aes256 = std::string(127, 'p'), rc4 = std::string(32, 'q');
    std::string r6 = encrypted("long6.pdf", aes256, "owner");
    if (r6.empty()) GTEST_SKIP() << "qpdf is not installed";
    std::string r4 = encrypted("long4.pdf", rc4, "owner", "128 --use-aes=y");
    ASSERT_FALSE(r4.empty());
    EXPECT_EQ(message(r6, aes256 + "and more"), "(opened)");
    EXPECT_EQ(message(r4, rc4 + "and more"), "(opened)");
    for (size_t length : {128, 1000, 32768}) {
        EXPECT_EQ(message(r6, std::string(length, 'x')), "Incorrect password") << length;
        EXPECT_EQ(message(r4, std::string(length, 'x')), "Incorrect password") << length;
    }
}

TEST_F(DocOpen, AesPasswordsAreTakenInTheirSaslprepFormOrAsGiven) {
    // A no-break space reads as a space and a ligature as its letters; a
    // writer that kept the no-break space still gets its file opened.
    std::string prepared = encrypted("sasl.pdf", "x y fi", "owner");
    if (prepared.empty()) GTEST_SKIP() << "qpdf is not installed";
    std::string raw = encrypted("raw.pdf", "x\u00a0y", "owner");
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(message(prepared, std::string("x\u00a0y \ufb01")), "(opened)");
    EXPECT_EQ(message(raw, std::string("x\u00a0y")), "(opened)");
    EXPECT_EQ(message(raw, std::string("x y")), "Incorrect password");
}

TEST_F(DocOpen, Rc4AndAes128PasswordsTypedInUtf8) {
    // Revisions 3 (RC4) and 4 (AES-128) keep the password in PDFDocEncoding,
    // where the Euro sign is 0xA0 (0x80 in Latin-1). The text typed in UTF-8
    // opens them, and so do the encoded bytes; Latin-1 does not.
    const std::string typed = "p\u00e4ssw\u00f6rd\u20ac", encoded = "p\xe4ssw\xf6rd\xa0";
    std::string r3 = encrypted("pdfdoc3.pdf", typed, "owner", "128 --use-aes=n");
    if (r3.empty()) GTEST_SKIP() << "qpdf is not installed";
    std::string r4 = encrypted("pdfdoc4.pdf", typed, "owner", "128 --use-aes=y");
    ASSERT_FALSE(r4.empty());
    for (const std::string& file : {r3, r4}) {
        EXPECT_EQ(message(file, typed), "(opened)") << file;
        EXPECT_EQ(message(file, encoded), "(opened)") << file;
        EXPECT_EQ(message(file, std::string("p\xe4ssw\xf6rd\x80")), "Incorrect password") << file;
        // Typed decomposed (a letter, then its combining mark).
        EXPECT_EQ(message(file, std::string("pa\u0308ssw\u006f\u0308rd\u20ac")), "(opened)") << file;
    }
    EXPECT_EQ(pdf_doc_encoding("\u2030\u0153 \u00ff"), std::string("\x8b\x9c \xff"));
    EXPECT_EQ(pdf_doc_encoding("\u4e2d"), std::nullopt);  // no such character there
    EXPECT_EQ(pdf_doc_encoding("\u00b2e\u0301"), std::string("\xb2\xe9"));  // only letters and marks are composed
}

// Encryption dictionaries whose crypt filters leave the pages' streams and
// strings as they are: nothing to decrypt, no password needed (the content
// here is plain). Filters the core cannot apply, or a revision it does not
// know, are refused as before.
TEST_F(DocOpen, EncryptionThatLeavesTheContentPlainOpens) {
    const std::string keys = "/P -4 /O <" + std::string(64, '0') + "> /U <" + std::string(64, '0') + ">";
    const std::string keys6 = "/P -4 /O <" + std::string(96, '0') + "> /U <" + std::string(96, '0') + "> /OE <" +
                              std::string(64, '0') + "> /UE <" + std::string(64, '0') + "> /Perms <" +
                              std::string(32, '0') + ">";
    const std::string cf4 = "/CF << /StdCF << /CFM /AESV2 /AuthEvent /DocOpen /Length 16 >> >>";
    const std::string cf6 = "/CF << /StdCF << /CFM /AESV3 /AuthEvent /EFOpen /Length 32 >> >>";
    auto with = [&](const std::string& dict) {
        std::string bytes = read(path("plain.pdf"));
        size_t at = bytes.find(" >>\nstartxref");
        EXPECT_NE(at, std::string::npos);
        const std::string id = "<" + std::string(32, '1') + ">";
        bytes.insert(at, " /ID [" + id + " " + id + "] /Encrypt << /Filter /Standard " + dict + " >>");
        std::ofstream(path("dict.pdf"), std::ios::binary) << bytes;
        return message(path("dict.pdf"));
    };
    EXPECT_EQ(with("/V 4 /R 4 /Length 128 " + keys + " " + cf4 + " /StmF /Identity /StrF /Identity"), "(opened)");
    EXPECT_EQ(with("/V 4 /R 4 /Length 128 " + keys + " " + cf4), "(opened)");
    EXPECT_EQ(with("/V 5 /R 6 /Length 256 " + keys6 + " " + cf6 + " /StmF /Identity /StrF /Identity /EFF /StdCF"),
              "(opened)");
    EXPECT_EQ(with("/V 4 /R 4 /Length 128 " + keys + " " + cf4 + " /StmF /StdCF /StrF /Identity"), unsupported);
    EXPECT_EQ(with("/V 5 /R 7 /Length 256 " + keys6 + " " + cf6 + " /StmF /Identity /StrF /Identity"), unsupported);
}

TEST_F(DocOpen, UnknownSecurityHandlerIsUnsupported) {
    std::string enc = encrypted("enc2.pdf", "user", "owner");
    if (enc.empty()) GTEST_SKIP() << "qpdf is not installed";
    std::string bytes = read(enc);
    size_t pos = bytes.find("/Standard");
    ASSERT_NE(pos, std::string::npos);
    bytes.replace(pos, 9, "/Nonstand");  // same length: offsets stay valid
    std::ofstream(path("foreign.pdf"), std::ios::binary) << bytes;
    EXPECT_EQ(message(path("foreign.pdf"), std::string("user")), unsupported);
}

TEST_F(DocOpen, APageTreeNodeListedAgainBelowItselfIsWalkedOnce) {
    // The root lists itself; an inner node lists the root: pages 1 and 2, once each.
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
    std::ofstream(path("loop.pdf"), std::ios::binary) << mini_pdf::assemble(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 2 0 R 4 0 R 5 0 R] /Count 2 >>", page,
         page, "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 0 >>"},
        1);
    auto doc = pdf_open_document_checked(path("loop.pdf"), std::nullopt, std::nullopt);
    EXPECT_EQ(pdf_page_leaves(*doc), (std::vector<int>{1, 2}));
}

TEST_F(DocOpen, PagesNestedDeepKeepTheirNumbers) {
    // Page 1 below 1500 nodes, then page 2 beside the first node.
    std::vector<std::string> objs = {"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [4 0 R 3 0 R] /Count 2 >>",
                                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"};
    const int depth = 1500;
    for (int k = 0; k < depth; ++k)
        objs.push_back("<< /Type /Pages /Parent " + std::to_string(k ? 3 + k : 2) + " 0 R /Kids [" +
                       std::to_string(k + 1 < depth ? 5 + k : 4 + depth) + " 0 R] /Count 1 >>");
    objs.push_back("<< /Type /Page /Parent " + std::to_string(3 + depth) + " 0 R /MediaBox [0 0 612 792] >>");
    std::ofstream(path("deep.pdf"), std::ios::binary) << mini_pdf::assemble(objs, 1);
    auto doc = pdf_open_document_checked(path("deep.pdf"), std::nullopt, std::nullopt);
    ASSERT_EQ(doc->getNumPages(), 2);
    EXPECT_EQ(pdf_page_leaves(*doc), (std::vector<int>{1, 2}));
}

TEST_F(DocOpen, AFormFieldSharedByTwoParentsIsNoLoop) {
    auto fields = [&](const std::string& name, const std::string& list, std::vector<std::string> more) {
        std::vector<std::string> objs = {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + list + "] >> >>",
                                         "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"};
        objs.insert(objs.end(), more.begin(), more.end());
        std::ofstream(path(name), std::ios::binary) << mini_pdf::assemble(objs, 1);
        auto doc = pdf_open_document_checked(path(name), std::nullopt, std::nullopt);
        const std::string why = pdf_drop_broken_form_fields(*doc);
        EXPECT_EQ(doc->getCatalog()->getAcroForm()->dictLookup("Fields").isArray(), why.empty()) << name;
        return why;
    };
    // Radio group 5 is listed in /Fields and among group 4's kids.
    const std::string radio = "<< /T (b) /FT /Btn /Ff 49152 /V /On /Kids [6 0 R] >>";
    const std::string widget = "<< /Subtype /Widget /Parent 5 0 R /Rect [72 600 90 618] /AS /On >>";
    EXPECT_EQ(fields("shared.pdf", "4 0 R 5 0 R", {"<< /T (a) /Kids [5 0 R] >>", radio, widget}), "");
    // A field among its own descendants.
    EXPECT_EQ(fields("loop.pdf", "4 0 R", {"<< /T (a) /Kids [5 0 R] >>", "<< /T (b) /Kids [4 0 R] >>"}), "it loops");
}

TEST_F(DocOpen, PagesAreLetGoOfOnceTheRunIsDoneWithThem) {
    std::vector<std::string> pages;
    for (int i = 1; i <= 6; ++i) pages.push_back(mini_pdf::text(72, 700, "page " + std::to_string(i)));
    mini_pdf::write(path("six.pdf"), pages);
    auto doc = pdf_open_document_checked(path("six.pdf"), std::nullopt, std::nullopt);
    // The map reads every page and holds none (a page let go of reads as missing).
    EXPECT_EQ(pdf_page_leaves(*doc), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(doc->getPage(i), nullptr) << i;

    // Pages 2, 5 and 2 again: 1, 3 and 4 are let go of as the tree passes them.
    doc = pdf_open_document_checked(path("six.pdf"), std::nullopt, std::nullopt);
    pdf_page_turner turner(*doc, {2, 5, 2});
    turner.reach(2);
    EXPECT_EQ(doc->getPage(1), nullptr);
    ASSERT_NE(doc->getPage(2), nullptr);
    turner.done(2);
    turner.reach(5);
    EXPECT_EQ(doc->getPage(3), nullptr);
    EXPECT_EQ(doc->getPage(4), nullptr);
    ASSERT_NE(doc->getPage(5), nullptr);
    turner.done(5);
    EXPECT_EQ(doc->getPage(5), nullptr);
    turner.reach(2);
    ASSERT_NE(doc->getPage(2), nullptr);
    EXPECT_EQ(doc->getPage(2)->getNum(), 2);
    turner.done(2);
    EXPECT_EQ(doc->getPage(2), nullptr);

    // With an interactive form, whose widgets point into the pages shown, a page shown stays.
    std::string text = mini_pdf::build(pages);
    const std::string catalog = "/Type /Catalog", form = " /AcroForm << /Fields [] >>";
    text.insert(text.rfind(catalog) + catalog.size(), form);
    const size_t at = text.rfind("startxref\n") + 10;
    const size_t end = text.find('\n', at);
    text.replace(at, end - at, std::to_string(std::stoul(text.substr(at, end - at)) + form.size()));
    std::ofstream(path("form.pdf"), std::ios::binary) << text;
    doc = pdf_open_document_checked(path("form.pdf"), std::nullopt, std::nullopt);
    pdf_page_turner with_form(*doc, {2});
    with_form.reach(2);
    EXPECT_EQ(doc->getPage(1), nullptr);
    with_form.done(2);
    EXPECT_NE(doc->getPage(2), nullptr);

    // A linearized document reads a page let go of anew.
    const std::string linear = path("six_linear.pdf");
    if (std::system(("qpdf --linearize '" + path("six.pdf") + "' '" + linear + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "qpdf is not installed";
    auto lin = pdf_open_document_checked(linear, std::nullopt, std::nullopt);
    ASSERT_TRUE(lin->isLinearized());
    ASSERT_NE(lin->getPage(3), nullptr);
    pdf_release_page(*lin, 3);
    Page* again = lin->getPage(3);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->getNum(), 3);
}

namespace {
// A form whose resources name the given fonts.
std::string form(const std::string& fonts) {
    return "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /Font << " + fonts +
           " >> >> /Length 0 >>\nstream\n\nendstream";
}
}  // namespace

TEST_F(DocOpen, ResourcesThePagesShareAreJudgedOnceAndAFontThatLoopsStillRefusesItsPages) {
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources ";
    const std::string doc = mini_pdf::assemble(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
         page + "<< /XObject 6 0 R >> >>",                              // 3: shared forms only
         page + "<< /XObject 6 0 R /Font << /F9 8 0 R >> >> >>",        // 4: the same, and the looping font
         page + "<< /XObject 7 0 R >> >>",                              // 5: the looping font inside a form
         "<< /X1 9 0 R >>", "<< /X1 9 0 R /X2 10 0 R >>",
         "<< /Type /Font /Subtype /Type0 /BaseFont /Loop /Encoding 11 0 R /DescendantFonts [] >>",
         form("/F1 12 0 R"), form("/F9 8 0 R"),
         "<< /Type /CMap /UseCMap 11 0 R /Length 0 >>\nstream\n\nendstream",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
        1);
    std::ofstream(path("shared.pdf"), std::ios::binary) << doc;
    auto d = pdf_open_document_checked(path("shared.pdf"), std::nullopt, std::nullopt);
    std::set<Ref> sound;
    EXPECT_TRUE(pdf_page_readable(*d, 1, &sound));
    EXPECT_FALSE(sound.empty());
    EXPECT_FALSE(pdf_page_readable(*d, 2, &sound));
    EXPECT_FALSE(pdf_page_readable(*d, 3, &sound));
    EXPECT_FALSE(pdf_page_readable(*d, 2, &sound));
    EXPECT_TRUE(pdf_page_readable(*d, 1, &sound));
}
