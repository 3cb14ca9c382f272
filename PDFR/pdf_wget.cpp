#include "PDFR/pdf_wget.h"

#include <cstdlib>

#include "TK/tk_log.h"

namespace {
// The face name field of the font description holds 31 characters.
constexpr size_t maxFaceName = 31;
}  // namespace

pdf_width_getter::pdf_width_getter() { tk_log::write(2, "pdf_width_getter::ctor"); }

pdf_width_getter::~pdf_width_getter() { tk_log::write(2, "pdf_width_getter::dtor"); }

int pdf_width_getter::height_for(float size) {
    float product = static_cast<float>(pixels_per_inch) * size;
    double h = -static_cast<double>(product) / 72.0;
    if (!(h == h)) return 0;
    if (h < -1.0e9) return -1000000000;
    if (h > 1.0e9) return 1000000000;
    return static_cast<int>(h);
}

void pdf_width_getter::set_font(const std::string& face, float size, bool bold, bool italic) {
    if (tk_log::active(1)) tk_log::write(1, "pdf_width_getter::set_font(%s, %f)", face.c_str(), size);
    const int height = height_for(size);
    const int weight = bold ? 700 : 0;
    // Every word asks again, mostly for the font of the word before.
    std::string name = face.substr(0, maxFaceName);
    if (selected_ && height == height_ && weight == weight_ && italic == italic_ && name == face_) return;
    face_ = std::move(name);
    weight_ = weight;
    italic_ = italic;
    height_ = height;
    has_font_ = measurer_.select(face_, bold, italic, std::abs(height_));
    selected_ = true;
}

double pdf_width_getter::get_width(const std::string& text) {
    if (tk_log::active(1)) tk_log::write(1, "pdf_width_getter::get_width(%s)", text.c_str());
    if (!has_font_ || text.empty()) return 0.0;
    return static_cast<double>(measurer_.text_width(text)) / pixels_per_inch;
}
