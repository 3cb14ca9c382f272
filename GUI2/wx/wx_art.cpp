#include "GUI2/wx/wx_art.h"

#include "GUI2/wiz_ui.h"

extern const char tbx_art_icon[];
extern const char tbx_art_watermark[];
extern const char tbx_art_header[];

wxBitmapBundle wx_artwork(int resource_id) {
    switch (resource_id) {
        case wiz_art_icon:
            return wxBitmapBundle::FromSVG(tbx_art_icon, wxSize(48, 48));
        case wiz_art_watermark:
            return wxBitmapBundle::FromSVG(tbx_art_watermark, wxSize(164, 314));
        case wiz_art_header:
            return wxBitmapBundle::FromSVG(tbx_art_header, wxSize(49, 49));
        default:
            return wxBitmapBundle();
    }
}
