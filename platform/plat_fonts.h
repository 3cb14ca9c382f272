// Screen-font text metrics: a face name, weight and slant matched through
// fontconfig, opened with FreeType at a pixel size, widths as the sum of
// hinted advances. Matches, faces and advances are cached.
#pragma once

#include <memory>
#include <string>

namespace plat {

class font_measurer {
public:
    static constexpr int pixels_per_inch = 96;

    // std::bad_alloc when memory is too short to load fontconfig's configuration.
    font_measurer();
    ~font_measurer();
    font_measurer(const font_measurer&) = delete;
    font_measurer& operator=(const font_measurer&) = delete;

    // Selects the face closest to (family, bold, italic) at an em height of
    // pixel_height pixels. False when no font file could be opened;
    // std::bad_alloc when memory is too short to ask fontconfig.
    bool select(const std::string& family, bool bold, bool italic, int pixel_height);
    // Width in pixels of bytes in the Windows-1252 code page, in the selected
    // font; 0 without a selection.
    long text_width(const std::string& bytes);

private:
    struct impl;
    std::unique_ptr<impl> d;
};

}  // namespace plat
