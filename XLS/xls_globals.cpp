#include "XLS/xls_globals.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <unordered_set>

#include "TK/tk_log.h"
#include "XLS/xls_assert.h"
#include "XLS/xls_unit.h"

namespace xls_core {

namespace {

// Custom colours 8..63 written in the PALETTE record (0xRRGGBB).
const std::uint32_t palette_colours[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xE3E3E3,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// Built-in styles: XF index and style id.
const std::uint16_t style_entries[6][2] = {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};

void put(std::string& key, std::uint32_t v)
{
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

std::string xf_key(const xf_value_t& v)
{
    std::string key;
    key.reserve(40);
    const void* font = v.font;
    key.append(reinterpret_cast<const char*>(&font), sizeof font);
    put(key, v.format);
    const std::uint8_t bytes[] = {v.halign, v.valign, v.indent, v.rotation, v.fill, v.pattern_colour,
                                  v.pattern_bg, static_cast<std::uint8_t>(v.flags & 0x1F), v.used};
    key.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    key.append(reinterpret_cast<const char*>(v.border_style), sizeof v.border_style);
    key.append(reinterpret_cast<const char*>(v.border_colour), sizeof v.border_colour);
    return key;
}

void encode_xf(CRecord& r, const xf_t& xf)
{
    const xf_value_t& v = xf.Value();
    r.Reserve(20);
    r.AppendWord(v.font ? v.font->GetIndex() : 0);
    r.AppendWord(v.format);
    std::uint16_t prot = (v.flags & xf_cell) ? 0x0000 : 0xFFF4;
    if (v.flags & xf_locked)
        prot |= 0x01;
    if (v.flags & xf_hidden)
        prot |= 0x02;
    r.AppendWord(prot);
    r.AppendByte(static_cast<std::uint8_t>((v.halign & 7) | ((v.flags & xf_wrap) ? 0x08 : 0) | ((v.valign & 7) << 4)));
    r.AppendByte(v.rotation);
    // The indent byte shares its record byte with other fields; take only the
    // bits the value speaks for.
    std::uint8_t mask = (v.indent & 0x0F) ? 0x0F : (v.indent & 0x10) ? 0x10 : (v.indent & 0xC0) ? 0xC0 : 0xDF;
    r.AppendByte(static_cast<std::uint8_t>(v.indent & mask));
    r.AppendByte(static_cast<std::uint8_t>(v.used & 0xFC));
    std::uint32_t b1 = (v.border_style[2] & 0xFu) | ((v.border_style[3] & 0xFu) << 4) |
                       ((v.border_style[1] & 0xFu) << 8) | ((v.border_style[0] & 0xFu) << 12) |
                       ((v.border_colour[2] & 0x7Fu) << 16) | ((v.border_colour[3] & 0x7Fu) << 23);
    std::uint32_t b2 = (v.border_colour[1] & 0x7Fu) | ((v.border_colour[0] & 0x7Fu) << 7) |
                       (static_cast<std::uint32_t>(v.fill & 0x3F) << 26);
    r.AppendDword(b1);
    r.AppendDword(b2);
    r.AppendWord(static_cast<std::uint16_t>((v.pattern_colour & 0x7F) | ((v.pattern_bg & 0x7F) << 7)));
}

}  // namespace

CGlobalRecords::CGlobalRecords()
{
    const std::uint16_t font_ids[5] = {0, 1, 2, 3, 5};
    const std::uint16_t boldness[5] = {400, 700, 400, 700, 400};
    const std::uint16_t attrs[5] = {0, 1, 2, 3, 0};
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<font_t> f(new font_t);
        f->name_ = "Verdana";
        f->index_ = font_ids[i];
        f->height_ = 200;
        f->boldness_ = boldness[i];
        f->attributes_ = attrs[i];
        fonts_.push_back(std::move(f));
    }
    for (std::size_t i = 0; i < default_xf_count; ++i)
        default_xfs_.emplace_back(MakeDefaultXF(static_cast<int>(i)));
    default_cell_xf_ = default_xfs_[15].get();
    if (!default_cell_xf_)
        xls_assert_dispatch("defaultXF", xls_src_globalrec, 201, "???");
}

CGlobalRecords::~CGlobalRecords() = default;

xf_t* CGlobalRecords::MakeDefaultXF(int i)
{
    xf_value_t v;
    v.flags = xf_locked | (i == 15 ? xf_cell : 0);
    v.used = (i == 0 || i == 15) ? 0x00 : 0xFC;
    for (int side = 0; side < 5; ++side) {
        xf_t::SetBorderStyle(v, side, 0);
        xf_t::SetBorderColor(v, side, 0);
    }
    const font_t* font = nullptr;
    if (i == 1 || i == 2)
        font = fonts_[1].get();
    else if (i == 3 || i == 4)
        font = fonts_[2].get();
    else if (i >= 5 && i <= 14)
        font = fonts_[0].get();
    else if (i >= 16)
        font = fonts_[4].get();
    static const int format_options[5] = {29, 27, 30, 28, 9};
    if (i >= 16)
        xf_t::SetFormat(v, format_options[i - 16]);
    if (font)
        xf_t::SetFont(v, font);
    if (i >= 16)
        v.used |= 0x08;
    return new xf_t(v, static_cast<std::uint16_t>(i));
}

// Every field but the index: fonts with equal keys are the same font.
std::string CGlobalRecords::FontKey(const font_t& f)
{
    std::string key = f.name_;
    key.push_back('\0');
    for (std::uint32_t v : {f.height_, f.boldness_, f.script_, f.attributes_, f.colour_})
        put(key, v);
    for (std::uint32_t v : {f.underline_, f.family_, f.charset_})
        put(key, v);
    return key;
}

const font_t* CGlobalRecords::FindFont(const std::string& name, std::uint16_t height, std::uint16_t boldness,
                                       std::uint16_t script, std::uint16_t attributes, std::uint16_t colour,
                                       std::uint8_t underline, std::uint8_t family, std::uint8_t charset)
{
    font_t wanted;
    // The FONT record counts the name's characters in one byte.
    wanted.name_ = name.size() > 255 ? name.substr(0, 255) : name;
    wanted.height_ = height;
    wanted.boldness_ = boldness;
    wanted.script_ = script;
    wanted.attributes_ = attributes;
    wanted.colour_ = colour;
    wanted.underline_ = underline;
    wanted.family_ = family;
    wanted.charset_ = charset;
    if (font_pool_.empty()) {
        // The defaults take part in the pool; the first of equal values wins.
        for (auto& f : fonts_)
            font_pool_.emplace(FontKey(*f), f.get());
    }
    std::string key = FontKey(wanted);
    auto it = font_pool_.find(key);
    if (it != font_pool_.end())
        return it->second;
    // A provisional index; NumberRecords gives the written one.
    wanted.index_ = next_font_index_++;
    fonts_.push_back(std::unique_ptr<font_t>(new font_t(wanted)));
    font_t* raw = fonts_.back().get();
    font_pool_.emplace(std::move(key), raw);
    return raw;
}

xf_t* CGlobalRecords::findXF(const xf_value_t& value)
{
    tk_log::write(1, "CGlobalRecords::findXF");
    std::string key = xf_key(value);
    auto it = xf_pool_.find(key);
    if (it != xf_pool_.end()) {
        tk_log::write(1, "findXF - the match is found");
        return it->second;
    }
    tk_log::write(1, "CGlobalRecords::AddXFormat");
    xf_value_t v = value;
    v.flags |= xf_cell | xf_user;
    std::unique_ptr<xf_t> xf(new xf_t(v, static_cast<std::uint16_t>(XFCount())));
    xf_t* raw = xf.get();
    added_xfs_.push_back(std::move(xf));
    xf_pool_.emplace(std::move(key), raw);
    return raw;
}

std::uint64_t CGlobalRecords::AddLongLabel(const label_t* label)
{
    std::uint64_t serial = next_serial_++;
    long_labels_.emplace(serial, long_label_t{label, {}});
    return serial;
}

void CGlobalRecords::RemoveLongLabel(std::uint64_t serial, const label_t* label)
{
    auto it = long_labels_.find(serial);
    // A kept text outlives its label.
    if (it != long_labels_.end() && it->second.label == label)
        long_labels_.erase(it);
}

void CGlobalRecords::KeepLongLabelText(const label_t* label)
{
    auto it = long_labels_.find(label->Serial());
    if (it != long_labels_.end() && it->second.label == label) {
        it->second.text = label->GetText();
        it->second.label = nullptr;
    }
}

std::uint32_t CGlobalRecords::LongLabelIndex(const label_t* label) const
{
    return LongLabelIndex(label->Serial());
}

std::uint32_t CGlobalRecords::LongLabelIndex(std::uint64_t serial) const
{
    auto it = std::lower_bound(sst_serials_.begin(), sst_serials_.end(), serial);
    if (it == sst_serials_.end() || *it != serial) {
        xls_assert_dispatch("\"Did not find a label\"", xls_src_globalrec, 798, "???");
        return 0x80000000u;
    }
    return static_cast<std::uint32_t>(it - sst_serials_.begin());
}

std::vector<std::uint8_t> CGlobalRecords::EncodeSST(const std::vector<const std::u16string*>& texts)
{
    CUnit out;
    std::size_t rec_start = 0;
    auto start = [&](std::uint16_t type) {
        rec_start = out.Size();
        out.AppendWord(type);
        out.AppendWord(0);
    };
    auto body = [&]() { return out.Size() - rec_start - 4; };
    auto close = [&]() { out.SetWordAt(static_cast<std::uint16_t>(body()), rec_start + 2); };

    start(rec_sst);
    for (int i = 0; i < 2; ++i)
        out.AppendDword(static_cast<std::uint32_t>(texts.size()));
    for (const std::u16string* t : texts) {
        bool compressed = CUnit::IsCompressible(*t);
        std::size_t cs = compressed ? 1 : 2;
        std::size_t enc = 3 + cs * t->size();
        if (body() + enc > max_record_body && enc <= max_record_body) {
            // A string that fits one record is never divided.
            close();
            start(rec_continue);
        }
        if (body() + enc <= max_record_body) {
            out.AddUnicodeString(*t, CUnit::count16);
            continue;
        }
        // Longer than one record: the header and whole characters go as far
        // as they fit; each CONTINUE begins with the string's flags byte.
        // Readers decode each piece on its own, so a piece never ends between
        // the two halves of a surrogate pair.
        auto pair_at = [t](std::size_t i) {
            return i + 1 < t->size() && is_high_surrogate((*t)[i]) && is_low_surrogate((*t)[i + 1]);
        };
        if (max_record_body - body() < 3 + cs * (pair_at(0) ? 2 : 1)) {
            close();
            start(rec_continue);
        }
        out.AppendWord(static_cast<std::uint16_t>(t->size()));
        out.AppendByte(compressed ? 0 : 1);
        std::size_t done = 0;
        for (;;) {
            std::size_t room = (max_record_body - body()) / cs;
            std::size_t take = std::min(room, t->size() - done);
            if (done + take < t->size() && take > 0 && pair_at(done + take - 1))
                --take;
            for (std::size_t k = 0; k < take; ++k) {
                char16_t c = (*t)[done + k];
                if (compressed)
                    out.AppendByte(static_cast<std::uint8_t>(c));
                else
                    out.AppendWord(static_cast<std::uint16_t>(c));
            }
            done += take;
            if (done == t->size())
                break;
            close();
            start(rec_continue);
            out.AppendByte(compressed ? 0 : 1);
        }
    }
    close();
    return std::move(out.Bytes());
}

namespace {

// How far a font is from the wanted one: first the style (weight, italic and
// the other attributes, script, underline, colour), then the face, then the
// height difference; of two heights equally near the smaller one wins, so
// that a text does not outgrow its cell.
std::tuple<bool, bool, int, int> font_distance(const font_t& want, const font_t& have)
{
    bool style = want.GetBoldness() != have.GetBoldness() || want.GetAttributes() != have.GetAttributes() ||
                 want.GetScript() != have.GetScript() || want.GetUnderline() != have.GetUnderline() ||
                 want.GetColour() != have.GetColour();
    bool face = want.GetName() != have.GetName() || want.GetFamily() != have.GetFamily() ||
                want.GetCharset() != have.GetCharset();
    int dh = std::abs(static_cast<int>(want.GetHeight()) - static_cast<int>(have.GetHeight()));
    return {style, face, dh, have.GetHeight()};
}

// The number of fields other than the font in which two formats differ.
int format_distance(const xf_value_t& a, const xf_value_t& b)
{
    int d = (a.format != b.format) + (a.halign != b.halign) + (a.valign != b.valign) + (a.indent != b.indent) +
            (a.rotation != b.rotation) + (a.fill != b.fill) + (a.pattern_colour != b.pattern_colour) +
            (a.pattern_bg != b.pattern_bg) + ((a.flags & 0x07) != (b.flags & 0x07));
    for (int side = 0; side < 5; ++side)
        d += (a.border_style[side] != b.border_style[side]) + (a.border_colour[side] != b.border_colour[side]);
    return d;
}

}  // namespace

const font_t& CGlobalRecords::NearestFont(const font_t& font) const
{
    const font_t* best = written_fonts_.front();
    for (const font_t* f : written_fonts_)
        if (font_distance(font, *f) < font_distance(font, *best))
            best = f;
    return *best;
}

const xf_t& CGlobalRecords::NearestXF(const xf_t& xf) const
{
    // The default cell format names font 0.
    auto font_of = [this](const xf_t& x) -> const font_t& {
        return x.value_.font ? *x.value_.font : *fonts_.front();
    };
    auto distance = [&](const xf_t& have) {
        return std::make_tuple(format_distance(xf.value_, have.value_),
                               font_distance(font_of(xf), font_of(have)));
    };
    const xf_t* best = default_cell_xf_;
    for (const xf_t* x : written_xfs_)
        if (distance(*x) < distance(*best))
            best = x;
    return *best;
}

void CGlobalRecords::NumberRecords(const std::vector<const xf_t*>& used)
{
    std::unordered_set<const xf_t*> in_use(used.begin(), used.end());
    std::vector<xf_t*> live;
    std::unordered_set<const font_t*> fonts_in_use;
    for (auto& xf : added_xfs_) {
        if (in_use.count(xf.get())) {
            live.push_back(xf.get());
            fonts_in_use.insert(xf->value_.font);
        }
    }
    // The defaults keep 0, 1, 2, 3 and 5; fonts in use follow from 6 on in the
    // order they were made, as far as the format allows.
    written_fonts_.clear();
    std::vector<font_t*> beyond;
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        font_t* f = fonts_[i].get();
        if (i < default_font_count) {
            written_fonts_.push_back(f);
        } else if (fonts_in_use.count(f)) {
            if (written_fonts_.size() < max_font_records) {
                f->index_ = static_cast<std::uint16_t>(written_fonts_.size() + 1);
                written_fonts_.push_back(f);
            } else {
                beyond.push_back(f);
            }
        }
    }
    // Past the limit a font is written as the nearest one written; the
    // conversion goes on with a slightly different size rather than failing.
    for (font_t* f : beyond) {
        const font_t& near = NearestFont(*f);
        tk_log::write(1, "CGlobalRecords: font limit; %s %u twips written as %s %u twips", f->name_.c_str(),
                      static_cast<unsigned>(f->height_), near.name_.c_str(), static_cast<unsigned>(near.height_));
        f->index_ = near.index_;
    }
    written_xfs_.clear();
    std::vector<xf_t*> beyond_xf;
    for (xf_t* xf : live) {
        if (default_xf_count + written_xfs_.size() < max_xf_records) {
            xf->index_ = static_cast<std::uint16_t>(default_xf_count + written_xfs_.size());
            written_xfs_.push_back(xf);
        } else {
            beyond_xf.push_back(xf);
        }
    }
    for (xf_t* xf : beyond_xf) {
        xf->index_ = NearestXF(*xf).index_;
        tk_log::write(1, "CGlobalRecords: format limit; a format written as XF %u", static_cast<unsigned>(xf->index_));
    }
}

void CGlobalRecords::WriteRecords(CDataStorage& out, std::vector<std::size_t>& boundsheet_at,
                                  const std::vector<const xf_t*>& used)
{
    out.Add(MakeBof(0x0005));
    {
        CRecord r(rec_codepage);
        r.AppendWord(1200);
        out.Add(r);
    }
    {
        CRecord r(rec_window1);
        r.AppendWord(0);
        r.AppendWord(0);
        r.AppendWord(715 * 20);
        r.AppendWord(484 * 20);
        r.AppendWord(0x38);
        r.AppendWord(0);
        r.AppendWord(0);
        r.AppendWord(1);
        r.AppendWord(500);
        out.Add(r);
    }
    {
        CRecord r(rec_datemode);
        r.AppendWord(0);
        out.Add(r);
    }
    NumberRecords(used);
    for (const font_t* f : written_fonts_) {
        CRecord r(rec_font);
        r.AppendWord(f->height_);
        r.AppendWord(f->attributes_);
        r.AppendWord(f->colour_);
        r.AppendWord(f->boldness_);
        r.AppendWord(f->script_);
        r.AppendByte(f->underline_);
        r.AppendByte(f->family_);
        r.AppendByte(f->charset_);
        r.AppendByte(0);
        r.AddUnicodeString(f->name_, CUnit::count8);
        out.Add(r);
    }
    for (auto& xf : default_xfs_) {
        CRecord r(rec_xf);
        encode_xf(r, *xf);
        out.Add(r);
    }
    for (const xf_t* xf : written_xfs_) {
        CRecord r(rec_xf);
        encode_xf(r, *xf);
        out.Add(r);
    }
    for (auto& s : style_entries) {
        CRecord r(rec_style);
        r.AppendWord(static_cast<std::uint16_t>(0x8000 | s[0]));
        r.AppendByte(static_cast<std::uint8_t>(s[1]));
        r.AppendByte(255);
        out.Add(r);
    }
    {
        CRecord r(rec_palette);
        r.Reserve(2 + 56 * 4);
        r.AppendWord(56);
        for (std::uint32_t c : palette_colours) {
            r.AppendByte(static_cast<std::uint8_t>(c >> 16));
            r.AppendByte(static_cast<std::uint8_t>(c >> 8));
            r.AppendByte(static_cast<std::uint8_t>(c));
            r.AppendByte(0);
        }
        out.Add(r);
    }
    boundsheet_at.clear();
    for (auto& name : sheet_names_) {
        CRecord r(rec_boundsheet);
        r.AppendDword(0);
        r.AppendWord(0);
        r.AddUnicodeString(name, CUnit::count8);
        boundsheet_at.push_back(out.Add(r) + 4);
    }
    std::uint16_t n = static_cast<std::uint16_t>(sheet_names_.size());
    {
        CRecord r(rec_supbook);
        r.AppendWord(n);
        r.AppendByte(0x01);
        r.AppendByte(0x04);
        out.Add(r);
    }
    {
        CRecord r(rec_externsheet);
        r.Reserve((n + 1u) * 6u);
        r.AppendWord(n);
        for (std::uint16_t i = 0; i < n; ++i) {
            r.AppendWord(0);
            r.AppendWord(i);
            r.AppendWord(i);
        }
        out.Add(r);
    }
    sst_serials_.clear();
    if (!long_labels_.empty()) {
        std::vector<const std::u16string*> texts;
        texts.reserve(long_labels_.size());
        sst_serials_.reserve(long_labels_.size());
        for (auto& e : long_labels_) {
            sst_serials_.push_back(e.first);
            texts.push_back(e.second.label ? &e.second.label->GetText() : &e.second.text);
        }
        out.AddRaw(EncodeSST(texts));
    }
    CRecord eof(rec_eof);
    out.Add(eof);
}

}  // namespace xls_core
