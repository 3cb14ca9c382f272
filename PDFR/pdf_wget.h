// How wide a string prints in a screen font, in inches, on a screen of 96
// pixels per inch: the measure behind the width of a blank in a word's font.
#pragma once

#include <string>

#include "TK/tk_singl.h"
#include "platform/plat_fonts.h"

class pdf_width_getter : public tk_singleton<pdf_width_getter> {
public:
    pdf_width_getter();
    ~pdf_width_getter() override;

    // Selects the font of later measurements; size in points.
    void set_font(const std::string& face, float size, bool bold, bool italic);
    // Width of text (bytes of the Windows-1252 code page) in the selected font, in inches.
    double get_width(const std::string& text);

    // True when the selected face could be opened (a width can be measured).
    bool has_font() const { return has_font_; }
    // The selected font's description: face (at most 31 characters), height
    // (negative: character height in pixels), weight (700 bold, else 0), italic.
    const std::string& face_name() const { return face_; }
    int height() const { return height_; }
    int weight() const { return weight_; }
    bool italic() const { return italic_; }

    static constexpr int pixels_per_inch = plat::font_measurer::pixels_per_inch;
    // The height rule: -(pixels per inch x size) / 72, truncated toward zero.
    static int height_for(float size);

private:
    plat::font_measurer measurer_;
    bool has_font_ = false;
    bool selected_ = false;
    std::string face_;
    int height_ = 0;
    int weight_ = 0;
    bool italic_ = false;
};
