// The text-pass device played by the PDF core on generated documents.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include <GfxState.h>
#include <GlobalParams.h>
#include <Page.h>
#include <PDFDoc.h>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_except.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/ExcelOutputDev.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"
#include "tabrixa/tbx_conv.h"
#include "tests/support/mini_pdf.h"

using namespace tbx;

namespace {

std::string tmpPath(const std::string& name) {
    return "/tmp/tbx_dev_" + std::to_string(getpid()) + "_" + name;
}

struct Found {
    std::string text;
    double size;
    std::string fontClass;
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { out = tmpPath("out.xls"); }
    void TearDown() override {
        std::remove(out.c_str());
        for (auto& f : pdfs) std::remove(f.c_str());
    }
    std::unique_ptr<PDFDoc> open(const std::vector<std::string>& pages, double w = 612, double h = 792) {
        std::string path = tmpPath(std::to_string(pdfs.size()) + ".pdf");
        pdfs.push_back(path);
        mini_pdf::write(path, pages, w, h);
        auto doc = std::make_unique<PDFDoc>(std::make_unique<GooString>(path.c_str()));
        EXPECT_TRUE(doc->isOk());
        return doc;
    }
    void play(ExcelOutputDev& dev, PDFDoc* doc, int page) {
        doc->displayPage(&dev, page, 72, 72, 0, false, true, false);
    }
    // The words still in the pools (before the page is finished), rotation 0.
    static std::vector<Found> words(ExcelOutputDev& dev) {
        std::vector<Found> out;
        TextPool* p = dev.getTextPage()->pools[0];
        for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1))
            for (TextWord* w = p->getPool(b); w; w = w->next) {
                std::string s;
                for (int i = 0; i < w->len; ++i) s += static_cast<char>(w->text[i]);
                out.push_back({s, w->fontSize, w->fontClass});
            }
        return out;
    }

    xelvio_convertor conv{false};
    pdf_uline_processor collector{true};
    std::string out;
    std::vector<std::string> pdfs;
};

TEST_F(DeviceTest, LargePagesKeepTheirFarText) {
    // Beyond 14400 points (the largest size a PDF may declare without a user unit) too.
    for (double size : {2000.0, 20000.0}) {
        auto doc = open({mini_pdf::text(size - 200, size - 100, "Far") + mini_pdf::text(100, 100, "Near")}, size,
                        size);
        ExcelOutputDev dev(out.c_str(), 0, 0, 0);
        play(dev, doc.get(), 1);
        EXPECT_DOUBLE_EQ(dev.getTextPage()->pageWidth, size);
        std::vector<Found> ws = words(dev);
        ASSERT_EQ(ws.size(), 2u) << size;
        EXPECT_EQ(ws[0].text, "Far");
        EXPECT_EQ(ws[1].text, "Near");
    }
}

TEST_F(DeviceTest, FontIsReadAgainAfterRestore) {
    std::string content =
        "BT /F1 10 Tf ET\n"
        "q BT /F3 20 Tf 100 600 Td (big) Tj ET Q\n"
        "BT 100 700 Td (small) Tj ET\n";
    auto doc = open({content});
    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    play(dev, doc.get(), 1);
    std::vector<Found> ws = words(dev);
    ASSERT_EQ(ws.size(), 2u);
    EXPECT_EQ(ws[0].text, "small");
    EXPECT_DOUBLE_EQ(ws[0].size, 10.0);
    EXPECT_EQ(ws[0].fontClass, "f10");  // Helvetica again
    EXPECT_EQ(ws[1].text, "big");
    EXPECT_DOUBLE_EQ(ws[1].size, 20.0);
    EXPECT_EQ(ws[1].fontClass, "f20");  // Times-Roman
}

TEST_F(DeviceTest, AFormDrawnAgainKeepsOneFontEntry) {
    // Every drawing of a form with its own font resources hands over a new
    // font object; the page keeps one entry per font dictionary, not one
    // per drawing.
    const std::string form = "BT /G 10 Tf 72 700 Td (Alpha) Tj ET";
    const std::string page = "q /X Do Q q /X Do Q q /X Do Q";
    std::vector<std::string> objs = {
        "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /G << /Type /Font "
        "/Subtype /Type1 /BaseFont /Times-Roman >> >> >> /Length " + std::to_string(form.size()) + " >>\nstream\n" +
            form + "\nendstream",
        "<< /Length " + std::to_string(page.size()) + " >>\nstream\n" + page + "\nendstream",
        "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 612 792] /Contents 2 0 R /Resources << /XObject << /X 1 0 R "
        ">> >> >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Catalog /Pages 4 0 R >>"};
    const std::string path = tmpPath("forms.pdf");
    pdfs.push_back(path);
    std::ofstream(path, std::ios::binary) << mini_pdf::assemble(objs, 5);
    PDFDoc doc(std::make_unique<GooString>(path.c_str()));
    ASSERT_TRUE(doc.isOk());
    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    play(dev, &doc, 1);
    EXPECT_EQ(words(dev).size(), 3u);
    EXPECT_EQ(dev.getTextPage()->fonts.size(), 1u);
}

TEST_F(DeviceTest, PathsAndFillsChangeNothing) {
    std::string text = mini_pdf::text(100, 700, "Alpha Beta") + mini_pdf::text(100, 680, "Gamma");
    auto plain = open({text});
    auto drawn = open({mini_pdf::rect(90, 690, 200, 20, 1, 0, 0) + text + mini_pdf::line(100, 675, 300, 675)});
    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    play(dev, plain.get(), 1);
    std::vector<Found> a = words(dev);
    play(dev, drawn.get(), 1);
    std::vector<Found> b = words(dev);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].text, b[i].text);
}

TEST_F(DeviceTest, PageWithoutStateDropsItsCharacters) {
    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    dev.startPage(1, nullptr, nullptr);
    EXPECT_DOUBLE_EQ(dev.getTextPage()->pageWidth, 0.0);
    PDFRectangle box(0, 0, 612, 792);
    GfxState st(72, 72, &box, 0, true);
    st.setFont(nullptr, 10);
    dev.updateFont(&st);
    dev.beginString(&st, nullptr);
    Unicode u = 'a';
    dev.drawChar(&st, 100, 700, 5, 0, 0, 0, 'a', 1, &u, 1);
    dev.endString(&st);
    EXPECT_EQ(dev.getTextPage()->wordCount(), 0);
}

TEST_F(DeviceTest, PagesAreCountedAndOnlySaveWrites) {
    auto doc = open({mini_pdf::text(100, 700, "One"), mini_pdf::text(100, 700, "Two")});
    {
        ExcelOutputDev dev(out.c_str(), 0, 0, 0);
        ASSERT_TRUE(dev.isOk());
        for (int p = 1; p <= 2; ++p) {
            play(dev, doc.get(), p);
            dev.finishPage();
        }
        EXPECT_EQ(dev.pagesFinished(), 2);
        EXPECT_EQ(dev.getWorkbook()->SheetCount(), 2u);
        EXPECT_TRUE(collector.get_regions().empty());  // flushed at the end of the page
    }
    // destroyed without save: no file
    EXPECT_NE(access(out.c_str(), F_OK), 0);

    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    play(dev, doc.get(), 1);
    dev.finishPage();
    dev.save();
    EXPECT_EQ(access(out.c_str(), F_OK), 0);
}

TEST_F(DeviceTest, SaveReportsAFileThatCannotBeWritten) {
    auto doc = open({mini_pdf::text(100, 700, "One")});
    std::string bad = "/nonexistent-folder-" + std::to_string(getpid()) + "/out.xls";
    ExcelOutputDev dev(bad.c_str(), 0, 0, 0);
    play(dev, doc.get(), 1);
    dev.finishPage();
    try {
        dev.save();
        FAIL() << "save() succeeded on an unwritable path";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
    }
}

// A one-page PDF whose font T3 is a Type 3 font with the single glyph "m"
// of width 500 in a 0.001 font matrix.
std::string type3Pdf(const std::string& content) {
    std::vector<std::string> objs = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /T3 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
        "/CharProcs << /m 6 0 R >> /Encoding << /Type /Encoding /Differences [109 /m] >> "
        "/FirstChar 109 /LastChar 109 /Widths [500] /Resources << >> >>",
        "<< /Length 23 >>\nstream\n500 0 0 0 400 400 d1\n\nendstream",
    };
    return mini_pdf::assemble(objs, 1);
}

TEST_F(DeviceTest, Type3SizesComeFromTheWidthOfM) {
    std::string path = tmpPath("t3.pdf");
    pdfs.push_back(path);
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string pdf = type3Pdf("BT /T3 12 Tf 100 700 Td (mm) Tj ET");
        std::fwrite(pdf.data(), 1, pdf.size(), f);
        std::fclose(f);
    }
    PDFDoc doc(std::make_unique<GooString>(path.c_str()));
    ASSERT_TRUE(doc.isOk());
    ExcelOutputDev dev(out.c_str(), 0, 0, 0);
    play(dev, &doc, 1);
    std::vector<Found> ws = words(dev);
    ASSERT_EQ(ws.size(), 1u);
    EXPECT_EQ(ws[0].text, "mm");
    EXPECT_NEAR(ws[0].size, 12 * 0.5 / 0.6, 1e-9);
}

TEST_F(DeviceTest, DeviceWithoutFileNameIsNotOk) {
    ExcelOutputDev dev("", 0, 0, 0);
    EXPECT_FALSE(dev.isOk());
    EXPECT_EQ(dev.getTextPage(), nullptr);
    EXPECT_THROW(dev.save(), tk_exception);
}

}  // namespace
