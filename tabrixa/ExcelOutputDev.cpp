// Placeholder bodies until the text model lands: pages are counted, nothing is laid out.
#include "tabrixa/ExcelOutputDev.h"

#include "TK/tk_log.h"

namespace xls_core { class workbook {}; }
namespace tbx { class TextPage {}; }
class pdf_width_getter {};

ExcelOutputDev::ExcelOutputDev(const char* name, int physLayout, int rawOrder, int append) {
    tk_log::write(2, "ExcelOutputDev::ctor(%d, %d, %d)", physLayout, rawOrder, append);
    if (name && *name) {
        fileName = name;
        ok = true;
    }
}
ExcelOutputDev::~ExcelOutputDev() { tk_log::write(2, "ExcelOutputDev::dtor"); }
void ExcelOutputDev::finishPage() { ++pageCount; }
void ExcelOutputDev::save() {}
void ExcelOutputDev::startPage(int, GfxState*, XRef*) {}
void ExcelOutputDev::updateFont(GfxState*) {}
void ExcelOutputDev::restoreState(GfxState*) {}
void ExcelOutputDev::beginString(GfxState*, const GooString*) {}
void ExcelOutputDev::endString(GfxState*) {}
void ExcelOutputDev::drawChar(GfxState*, double, double, double, double, double, double, CharCode, int,
                              const Unicode*, int) {}
