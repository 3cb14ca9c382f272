#include "tabrixa/ExcelOutputDev.h"

#include <climits>
#include <cmath>
#include <cstring>

#include <GfxFont.h>
#include <GfxState.h>
#include <UTF.h>
#include <Stream.h>

#include "PDFR/pdf_budget.h"
#include "PDFR/pdf_jbig2.h"
#include "PDFR/pdf_ulin.h"
#include "PDFR/pdf_wget.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/tbx_conv.h"

ExcelOutputDev::ExcelOutputDev(const char* name, int physLayout, int rawOrder, int append)
    : widthGetter(new pdf_width_getter) {
    tk_log::write(2, "ExcelOutputDev::ctor(%d, %d, %d)", physLayout, rawOrder, append);
    tk_log::write(2, "fileName=%s", name ? name : "");
    // The whole path is kept: a shortened one would name another file.
    if (name && *name) {
        fileName = name;
        workbook.reset(new xls_core::workbook);
        // What the destination is as the run begins: a file put there during
        // the run passes nothing to the workbook.
        workbook->NoteDestination(fileName);
        const size_t slash = fileName.rfind('/');
        workbook->SetScratchFolder(slash == std::string::npos ? "." : slash == 0 ? "/" : fileName.substr(0, slash));
        ok = true;
        pageCount = 0;
        textPage.reset(new tbx::TextPage);
    }
}

ExcelOutputDev::~ExcelOutputDev() {
    tk_log::write(2, "ExcelOutputDev::dtor");
    textPage.reset();
    workbook.reset();
    widthGetter.reset();
}

void ExcelOutputDev::save() {
    if (!workbook) throw tk_exception("No destination file was given for the workbook.", 1);
    tk_log::write(1, "*** Right before wb->Dump");
    workbook->SetFinalDump();
    int rc = workbook->Dump(fileName);
    if (rc == -100) throw tk_exception("No page was converted: the workbook has no worksheet to write.", 1);
    if (rc < 0) {
        std::string msg = "Cannot write the workbook file " + fileName;
        if (!workbook->LastError().empty()) msg += ": " + workbook->LastError();
        throw tk_exception(msg, 1);
    }
}

void ExcelOutputDev::finishPage() {
    if (textPage) {
        textPage->coalesce();
        textPage->dump(workbook.get(), pageCount);
        // The page's sheet is complete: its cells leave memory.
        workbook->SpillSheets();
    }
    ++pageCount;
    tk_singleton<pdf_uline_processor>::instance().flush();
}

void ExcelOutputDev::startPage(int pageNum, GfxState* state, XRef*) {
    tk_log::write(2, "ExcelOutputDev::startPage(%d)", pageNum);
    pdf_uline_processor* ul = tk_singleton<pdf_uline_processor>::find();
    if (ul && ul->tables_mode()) {
        if (tk_singleton<xelvio_convertor>::instance().graph_tab) ul->tableBuilding();
    }
    if (!textPage) return;
    textPage->startPage();
    textPage->pageNumber = pageNum;
    if (state) {
        // The page's own size, however large: a cap would drop the text
        // beyond it (the text-pass device needs no memory per point).
        auto size = [](double v) { return std::isfinite(v) ? std::fabs(v) : 0.0; };
        textPage->pageWidth = size(state->getPageWidth());
        textPage->pageHeight = size(state->getPageHeight());
    } else {
        textPage->pageWidth = 0;
        textPage->pageHeight = 0;
    }
}

bool ExcelOutputDev::useDrawForm() { return budget && budget->exceeded(); }

namespace {
// Reads an inline image's data as far as it goes: as many bytes as its size
// asks, but no further than the end of its stream (a small file can name an
// image of 10^10 pixels).
void skipInlineData(Stream* str, long long bytes) {
    if (!str) return;
    str->reset();
    for (long long i = 0; i < bytes && str->getChar() != EOF; ++i) {
    }
    str->close();
}

// The bytes of an image's data (rows padded to whole bytes), worked out where
// no product can overflow, however absurd the sizes.
long long imageBytes(int width, int height, int bitsPerPixel) {
    const double bytes = std::ceil(static_cast<double>(width) * bitsPerPixel / 8) * height;
    return bytes < 9e18 ? static_cast<long long>(bytes) : LLONG_MAX;
}
}  // namespace

void ExcelOutputDev::drawImage(GfxState*, Object*, Stream* str, int width, int height, GfxImageColorMap* colorMap,
                               bool, const int*, bool inlineImg) {
    if (!inlineImg || !colorMap) return;
    skipInlineImage(str, width, height, colorMap->getNumPixelComps() * colorMap->getBits());
}

void ExcelOutputDev::drawImageMask(GfxState*, Object*, Stream* str, int width, int height, bool, bool,
                                   bool inlineImg) {
    if (inlineImg) skipInlineImage(str, width, height, 1);
}

void ExcelOutputDev::skipInlineImage(Stream* str, int width, int height, int bitsPerPixel) {
    // The raster pass skips an image beyond the limit and the core then looks
    // for the inline image's end itself: reading its declared size here would
    // take the rest of the page's content with it. JBIG2 data is decoded to
    // the bitmaps its own headers declare, whatever the image's size.
    if (width <= 0 || height <= 0 || !withinImageLimit(static_cast<double>(width) * height)) return;
    std::unique_ptr<Stream> replay;
    if (!withinImageLimit(pdf_jbig2_declared_pixels(str, true, replay))) return;
    skipInlineData(replay ? replay.get() : str, imageBytes(width, height, bitsPerPixel));
}

bool ExcelOutputDev::withinImageLimit(double pixels) {
    return budget ? budget->allow_image(pixels) : pixels <= pdf_page_budget::limits().image_pixels;
}

void ExcelOutputDev::setPageNumber(int page) {
    if (textPage) textPage->pageNumber = page;
}

void ExcelOutputDev::updateFont(GfxState* state) {
    if (!textPage || !state) return;
    textPage->findOrAddFont(state);
    double size = state->getTransformedFontSize();
    const std::shared_ptr<GfxFont>& font = state->getFont();
    if (font && font->getType() == fontType3) {
        // Type 3 sizes come from the glyph widths: scale to a text size.
        Gfx8BitFont* f8 = static_cast<Gfx8BitFont*>(font.get());
        char** enc = f8->getEncoding();
        int mCode = -1, letterCode = -1, anyCode = -1;
        for (int code = 0; code < 256; ++code) {
            const char* name = enc ? enc[code] : nullptr;
            if (!name) continue;
            if (std::strcmp(name, "m") == 0) mCode = code;
            if (letterCode < 0 && name[0] && !name[1] &&
                ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
                letterCode = code;
            if (anyCode < 0 && f8->getWidth(static_cast<unsigned char>(code)) > 0) anyCode = code;
        }
        double w;
        if (mCode >= 0 && (w = f8->getWidth(static_cast<unsigned char>(mCode))) > 0)
            size *= w / 0.6;
        else if (letterCode >= 0 && (w = f8->getWidth(static_cast<unsigned char>(letterCode))) > 0)
            size *= w * 2.0;
        else if (anyCode >= 0 && (w = f8->getWidth(static_cast<unsigned char>(anyCode))) > 0)
            size *= w * 2.0;
        const double* fm = font->getFontMatrix();
        if (fm[0] != 0) size *= std::fabs(fm[3] / fm[0]);
    }
    textPage->curFontSize = size;
}

void ExcelOutputDev::restoreState(GfxState* state) {
    // The font and size are part of the restored state: take them at once
    // instead of relying on the core to announce them before the next string.
    updateFont(state);
}

void ExcelOutputDev::beginString(GfxState* state, const GooString*) {
    if (!textPage || !state) return;
    // Glyphs stand on the text position raised by the text rise, as drawn:
    // a word must not start on the base line of the text it is raised from.
    double riseX, riseY;
    state->textTransformDelta(0, state->getRise(), &riseX, &riseY);
    textPage->beginWord(state, state->getCurX() + riseX, state->getCurY() + riseY);
}

void ExcelOutputDev::endString(GfxState*) {
    if (textPage) textPage->endWord();
}

void ExcelOutputDev::drawChar(GfxState* state, double x, double y, double dx, double dy, double, double,
                              CharCode code, int nBytes, const Unicode* u, int uLen) {
    if (budget && budget->spent()) return;
    if (textPage && state) textPage->addChar(state, x, y, dx, dy, code, nBytes, u, uLen);
}

void ExcelOutputDev::beginActualText(GfxState*, const GooString* text) {
    if (!textPage) return;
    Unicode* codes = nullptr;
    const int len = text ? TextStringToUCS4(text->toStr(), &codes) : 0;
    textPage->beginActualText(codes, len);
    gfree(codes);
}

void ExcelOutputDev::endActualText(GfxState*) {
    if (textPage) textPage->endActualText();
}
