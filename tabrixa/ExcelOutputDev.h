// The text-pass output device: collects the characters of a page, lays the
// page out and writes it as one worksheet of the workbook. The workbook file
// is written only by save(); destroying the device writes nothing.
#pragma once

#include <memory>
#include <string>

#include <OutputDev.h>

#include "TK/tk_singl.h"

class GfxState;
class GooString;
class AnnotLink;
class Catalog;

namespace xls_core { class workbook; }
namespace tbx { class TextPage; }
class pdf_width_getter;
class pdf_page_budget;

class ExcelOutputDev : public tk_singleton<ExcelOutputDev>, public OutputDev {
public:
    // physLayout, rawOrder and append are logged only; the converter passes 0s.
    ExcelOutputDev(const char* fileName, int physLayout, int rawOrder, int append);
    ~ExcelOutputDev() override;

    bool isOk() const { return ok; }
    // The end of a page: coalesce, dump into a new worksheet, count, flush the collector.
    virtual void finishPage();
    // Writes the workbook with every page finished so far to the destination.
    // Throws tk_exception (level 1) when the file cannot be written.
    void save();
    int pagesFinished() const { return pageCount; }

    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }
    // The page's budget (owned by the caller; null: none): once it is spent,
    // forms are skipped and no further character is taken.
    void setBudget(pdf_page_budget* b) { budget = b; }
    bool useDrawForm() override;
    void drawForm(Ref) override {}
    // The page number the page's warnings name (the core may number it otherwise).
    void setPageNumber(int page);

    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void endPage() override {}
    void updateFont(GfxState* state) override;
    void restoreState(GfxState* state) override;
    void stroke(GfxState*) override {}
    void fill(GfxState*) override {}
    void eoFill(GfxState*) override {}
    void beginString(GfxState* state, const GooString* s) override;
    void endString(GfxState* state) override;
    void drawChar(GfxState* state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode* u, int uLen) override;
    void processLink(AnnotLink*) override {}
    void beginActualText(GfxState* state, const GooString* text) override;
    void endActualText(GfxState* state) override;
    // Images carry no text: only an inline image's data is read past, up to
    // its end (the core looks for the end of the image after it).
    void drawImage(GfxState*, Object*, Stream* str, int width, int height, GfxImageColorMap* colorMap, bool,
                   const int*, bool inlineImg) override;
    void drawImageMask(GfxState*, Object*, Stream* str, int width, int height, bool, bool, bool inlineImg) override;

    tbx::TextPage* getTextPage() { return textPage.get(); }

    xls_core::workbook* getWorkbook() { return workbook.get(); }

private:
    // Reads an inline image's data past, where it is within the limits.
    void skipInlineImage(Stream* str, int width, int height, int bitsPerPixel);
    // Whether an image is within the page's pixel limit (the default one without a budget).
    bool withinImageLimit(double pixels);
    // The measurer is made first and destroyed last: words ask it while the
    // text page lives.
    std::unique_ptr<pdf_width_getter> widthGetter;
    std::string fileName;
    std::unique_ptr<xls_core::workbook> workbook;
    std::unique_ptr<tbx::TextPage> textPage;
    bool ok = false;
    int pageCount = 0;
    pdf_page_budget* budget = nullptr;
};
