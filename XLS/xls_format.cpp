// Cell formats, fonts and the per-cell format setters.
#include <cmath>
#include <cstring>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "XLS/xls_assert.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_unit.h"
#include "XLS/xls_workbook.h"

namespace xls_core {

namespace {

const std::uint8_t halign_values[] = {0, 1, 2, 3, 4, 5, 6};
const std::uint8_t valign_values[] = {0, 1, 2, 3};
const std::uint8_t indent_values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 64, 128};
const std::uint8_t rotation_values[] = {0, 255, 90, 180};
const std::uint8_t fill_values[] = {0, 1, 3, 2, 4, 17, 18, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::uint8_t colour_values[] = {
    0,  8,  60, 59, 58, 56, 18, 62, 63, 16, 53, 19, 17, 21, 12, 54, 23, 10, 52, 50,
    57, 49, 48, 20, 55, 14, 51, 13, 11, 15, 40, 61, 22, 45, 47, 43, 42, 41, 44, 46,
    9,  24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 64, 65};

constexpr int num_borders = 5;
constexpr int num_border_styles = 8;
constexpr int num_colours = sizeof colour_values;

// Defaults of the attribute record that the group bits compare with.
constexpr std::uint8_t def_valign = 2, def_pattern = 64, def_pattern_bg = 65;

// A cell XF marks a group that differs from the default; a style XF clears it.
void mark_group(xf_value_t& v, bool differs, std::uint8_t bit)
{
    if (!differs)
        return;
    if (v.flags & xf_cell)
        v.used = static_cast<std::uint8_t>(v.used | bit);
    else
        v.used = static_cast<std::uint8_t>(v.used & ~bit);
}

// True when the option passed its checks.
bool check(bool ok, const char* expr, int line)
{
    if (!ok)
        xls_assert_dispatch(expr, xls_src_extformat, line, "???");
    return ok;
}

// 0 <= o < count, checked (and reported) on two consecutive lines.
bool check_index(int o, int count, const char* low_expr, const char* high_expr, int line)
{
    return check(o >= 0, low_expr, line) && check(o < count, high_expr, line + 1);
}

template <std::size_t N>
constexpr int count_of(const std::uint8_t (&)[N])
{
    return static_cast<int>(N);
}

}  // namespace

bool xf_value_t::operator==(const xf_value_t& o) const
{
    return font == o.font && format == o.format && halign == o.halign && valign == o.valign &&
           indent == o.indent && rotation == o.rotation && fill == o.fill && pattern_colour == o.pattern_colour &&
           pattern_bg == o.pattern_bg && (flags & 0x1F) == (o.flags & 0x1F) &&
           std::memcmp(border_style, o.border_style, sizeof border_style) == 0 &&
           std::memcmp(border_colour, o.border_colour, sizeof border_colour) == 0 && used == o.used;
}

const font_t* xf_t::GetFont() const
{
    tk_log::write(1, "xf_t::GetFont(font=%p)", static_cast<const void*>(value_.font));
    return value_.font;
}

void xf_t::SetBorderStyle(xf_value_t& v, int side, int style)
{
    if (!check_index(side, num_borders, "side >= 0", "side < _NUM_BORDERS", 774) ||
        !check_index(style, num_border_styles, "style >= 0", "style < _NUM_BORDER_STYLES", 776))
        return;
    v.border_style[side] = static_cast<std::uint8_t>(style);
    mark_group(v, style != 0, 0x20);
    if ((v.flags & xf_cell) && v.border_colour[side] == 0)
        v.border_colour[side] = 64;
}

void xf_t::SetBorderColor(xf_value_t& v, int side, int color)
{
    if (!check_index(side, num_borders, "side >= 0", "side < _NUM_BORDERS", 791) ||
        !check_index(color, num_colours, "color >= 0", "color < _NUM_COLOR_NAMES", 793))
        return;
    v.border_colour[side] = colour_values[color];
    mark_group(v, color != 0, 0x20);
}

void xf_t::SetHAlign(xf_value_t& v, int o)
{
    if (!check_index(o, count_of(halign_values), "ha_option >= 0", "ha_option < _NUM_HALIGN_OPTIONS", 943))
        return;
    v.halign = halign_values[o];
    mark_group(v, v.halign != 0, 0x10);
}

void xf_t::SetVAlign(xf_value_t& v, int o)
{
    if (!check_index(o, count_of(valign_values), "va_option >= 0", "va_option < _NUM_VALIGN_OPTIONS", 961))
        return;
    v.valign = valign_values[o];
    mark_group(v, v.valign != def_valign, 0x10);
}

void xf_t::SetIndent(xf_value_t& v, int o)
{
    if (!check_index(o, count_of(indent_values), "indent_option >= 0", "indent_option < _NUM_INDENT_OPTIONS", 978))
        return;
    v.indent = indent_values[o];
    mark_group(v, v.indent != 0, 0x10);
}

void xf_t::SetRotation(xf_value_t& v, int o)
{
    if (!check_index(o, count_of(rotation_values), "ori_option >= 0", "ori_option < _NUM_TXTORI_OPTIONS", 996))
        return;
    v.rotation = rotation_values[o];
    mark_group(v, v.rotation != 0, 0x10);
}

void xf_t::SetFillForeColour(xf_value_t& v, int c)
{
    if (!check_index(c, num_colours, "color >= 0", "color < _NUM_COLOR_NAMES", 1014))
        return;
    v.pattern_colour = colour_values[c];
    mark_group(v, v.pattern_colour != def_pattern, 0x40);
}

void xf_t::SetFillBackColour(xf_value_t& v, int c)
{
    if (!check_index(c, num_colours, "color >= 0", "color < _NUM_COLOR_NAMES", 1039))
        return;
    v.pattern_bg = colour_values[c];
    mark_group(v, v.pattern_bg != def_pattern_bg, 0x40);
}

void xf_t::SetFillStyle(xf_value_t& v, int f)
{
    if (!check_index(f, count_of(fill_values), "fill >= 0", "fill < _NUM_FILL_OPTIONS", 1064))
        return;
    v.fill = fill_values[f];
    mark_group(v, v.fill != 0, 0x40);
}

void xf_t::SetWrap(xf_value_t& v, bool wrap)
{
    v.flags = static_cast<std::uint8_t>(wrap ? (v.flags | xf_wrap) : (v.flags & ~xf_wrap));
    mark_group(v, wrap, 0x10);
}

void xf_t::SetFont(xf_value_t& v, const font_t* font)
{
    v.font = font;
    mark_group(v, font != nullptr, 0x08);
}

void xf_t::SetFormat(xf_value_t& v, int o)
{
    std::uint16_t f = 0;
    if (o >= 0 && o <= 22)
        f = static_cast<std::uint16_t>(o);
    else if (o >= 23 && o <= 35)
        f = static_cast<std::uint16_t>(o + 14);
    v.format = f;
    mark_group(v, f != 0, 0x04);
}

// ---- cells ----

cell_t::cell_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col, xf_t* xf)
    : globals_(globals), xf_(xf ? xf : globals.DefaultCellXF()), row_(row), col_(col)
{
}

namespace {
// A cell's own copy of its format: a user cell XF that keeps the font.
xf_value_t copy_for_cell(const xf_t& xf)
{
    xf_value_t v = xf.Value();
    v.flags = static_cast<std::uint8_t>(v.flags | xf_cell | xf_user);
    if (v.font)
        v.used = static_cast<std::uint8_t>(v.used | 0x08);
    return v;
}

// The cell's font (the default font without one) with another name and height.
const font_t* font_variant(CGlobalRecords& globals, const xf_t& xf, const std::string* name, int height)
{
    const font_t* base = xf.Value().font ? xf.Value().font : globals.GetDefaultFont();
    return globals.FindFont(name ? *name : base->GetName(),
                            height >= 0 ? static_cast<std::uint16_t>(height) : base->GetHeight(),
                            base->GetBoldness(), base->GetScript(), base->GetAttributes(), base->GetColour(),
                            base->GetUnderline(), base->GetFamily(), base->GetCharset());
}
}  // namespace

template <class Edit>
xf_t* cell_t::change_xf(Edit edit)
{
    xf_value_t v = copy_for_cell(*xf_);
    edit(v);
    xf_ = globals_.findXF(v);
    return xf_;
}

xf_t* cell_t::set_border(int side, int style)
{
    return change_xf([&](xf_value_t& v) { xf_t::SetBorderStyle(v, side, style); });
}

xf_t* cell_t::set_halign(int option)
{
    return change_xf([&](xf_value_t& v) { xf_t::SetHAlign(v, option); });
}

xf_t* cell_t::set_valign(int option)
{
    return change_xf([&](xf_value_t& v) { xf_t::SetVAlign(v, option); });
}

xf_t* cell_t::set_wrap(bool wrap)
{
    return change_xf([&](xf_value_t& v) { xf_t::SetWrap(v, wrap); });
}

xf_t* cell_t::set_font_height(int height)
{
    if (height < min_font_height)
        height = min_font_height;
    if (height > max_font_height)
        height = max_font_height;
    const font_t* f = font_variant(globals_, *xf_, nullptr, height);
    return change_xf([f](xf_value_t& v) { xf_t::SetFont(v, f); });
}

xf_t* cell_t::set_font_name(const std::string& name)
{
    const font_t* f = font_variant(globals_, *xf_, &name, -1);
    return change_xf([f](xf_value_t& v) { xf_t::SetFont(v, f); });
}

label_t::label_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col, const std::u16string& text,
                 xf_t* xf)
    : cell_t(globals, row, col, xf), text_(text), long_(text.size() >= 256)
{
    if (text_.size() > max_cell_chars)
        throw tk_exception("A cell text has " + std::to_string(text_.size()) +
                               " characters; a worksheet cell holds at most 32767.",
                           tk_level_error);
    if (long_)
        serial_ = globals.AddLongLabel(this);
}

label_t::~label_t()
{
    if (long_)
        globals_.RemoveLongLabel(serial_, this);
}

std::size_t label_t::RecordSize() const
{
    if (long_)
        return 14;
    return 13 + (CUnit::IsCompressible(text_) ? text_.size() : 2 * text_.size());
}

number_t::number_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col, double value, xf_t* xf)
    : cell_t(globals, row, col, xf), value_(value)
{
}

}  // namespace xls_core
