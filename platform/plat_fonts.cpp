#include "platform/plat_fonts.h"

#include <sys/mman.h>

#include <array>
#include <map>
#include <new>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace plat {

namespace {

// Windows-1252 bytes 0x80..0x9F as Unicode; the rest of the code page is Latin-1.
const unsigned short cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

unsigned long codePoint(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? cp1252High[c - 0x80] : c; }

// Fontconfig does not survive a failed allocation: under an address-space
// limit it crashes inside its configuration parser and its substitution; and
// a cache it cannot read for want of memory counts as missing, so it scans
// that font folder again, cannot open the fonts either, and writes a cache
// of the few it could into the cache folder (the system's, run as root),
// which then hides the others from every program. It is called only while
// this much more address space could be had: a match needs well under a
// megabyte; loading the configuration reads its caches (50 KB for 144
// fonts) and scans a folder whose cache is out of date, opening each font
// file whole (a scan of those 144 fonts took 1.5 MB). Short of it, the
// caller learns that memory ran out as from any other allocation.
constexpr size_t match_room = size_t{1} << 20;
constexpr size_t config_room = size_t{8} << 20;

void require_room(size_t bytes) {
    void* probe = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED) throw std::bad_alloc();
    ::munmap(probe, bytes);
}

}  // namespace

struct font_measurer::impl {
    struct face_entry {
        FT_Face face = nullptr;
        int current_px = -1;
    };
    // Advances of the 256 code-page bytes at one pixel size; -1 until asked.
    struct size_entry {
        face_entry* face = nullptr;
        int px = 0;
        std::array<int, 256> advance;
    };

    FT_Library lib = nullptr;
    // Our own fontconfig configuration, loaded with the measurer (before the
    // work takes memory) and released with it: no process-wide state is left behind.
    FcConfig* config = nullptr;
    std::map<std::tuple<std::string, bool, bool>, face_entry*> matches;  // request -> face (null: none)
    std::map<std::pair<std::string, int>, face_entry> faces;             // (file, index) -> face
    std::map<std::tuple<std::string, bool, bool, int>, size_entry> sizes;
    size_entry* selected = nullptr;

    face_entry* match(const std::string& family, bool bold, bool italic) {
        auto key = std::make_tuple(family, bold, italic);
        auto it = matches.find(key);
        if (it != matches.end()) return it->second;
        face_entry* result = nullptr;
        if (config && lib) {
            require_room(match_room);
            FcPattern* pat = FcPatternCreate();
            FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
            FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
            FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
            FcConfigSubstitute(config, pat, FcMatchPattern);
            FcDefaultSubstitute(pat);
            FcResult res = FcResultNoMatch;
            FcPattern* found = FcFontMatch(config, pat, &res);
            if (found) {
                FcChar8* file = nullptr;
                int index = 0;
                if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file) {
                    FcPatternGetInteger(found, FC_INDEX, 0, &index);
                    auto fkey = std::make_pair(std::string(reinterpret_cast<const char*>(file)), index);
                    auto fit = faces.find(fkey);
                    if (fit == faces.end()) {
                        face_entry e;
                        if (FT_New_Face(lib, fkey.first.c_str(), index, &e.face) != 0) e.face = nullptr;
                        fit = faces.emplace(fkey, e).first;
                    }
                    if (fit->second.face) result = &fit->second;
                }
                FcPatternDestroy(found);
            }
            FcPatternDestroy(pat);
        }
        matches.emplace(key, result);
        return result;
    }

    int advance(size_entry& s, unsigned char c) {
        int& a = s.advance[c];
        if (a >= 0) return a;
        face_entry* f = s.face;
        if (f->current_px != s.px) {
            if (FT_Set_Pixel_Sizes(f->face, 0, static_cast<FT_UInt>(s.px)) != 0) return a = 0;
            f->current_px = s.px;
        }
        FT_UInt glyph = FT_Get_Char_Index(f->face, codePoint(c));
        if (FT_Load_Glyph(f->face, glyph, FT_LOAD_DEFAULT) != 0) return a = 0;
        // Hinted advance in 26.6 fixed point, rounded to whole pixels as a screen does.
        a = static_cast<int>((f->face->glyph->advance.x + 32) >> 6);
        if (a < 0) a = 0;
        return a;
    }
};

font_measurer::font_measurer() {
    require_room(config_room);
    d.reset(new impl);
    if (FT_Init_FreeType(&d->lib) != 0) d->lib = nullptr;
    d->config = FcInitLoadConfigAndFonts();
}

font_measurer::~font_measurer() {
    for (auto& f : d->faces)
        if (f.second.face) FT_Done_Face(f.second.face);
    if (d->lib) FT_Done_FreeType(d->lib);
    if (d->config) FcConfigDestroy(d->config);
}

bool font_measurer::select(const std::string& family, bool bold, bool italic, int pixel_height) {
    if (pixel_height < 1) pixel_height = 1;  // FreeType has no "default height"
    if (pixel_height > 10000) pixel_height = 10000;
    auto key = std::make_tuple(family, bold, italic, pixel_height);
    auto it = d->sizes.find(key);
    if (it == d->sizes.end()) {
        // A document of ever new sizes must not grow the cache without end.
        if (d->sizes.size() >= 4096) {
            d->selected = nullptr;
            d->sizes.clear();
        }
        impl::size_entry e;
        e.face = d->match(family, bold, italic);
        e.px = pixel_height;
        e.advance.fill(-1);
        it = d->sizes.emplace(key, e).first;
    }
    d->selected = it->second.face ? &it->second : nullptr;
    return d->selected != nullptr;
}

long font_measurer::text_width(const std::string& bytes) {
    if (!d->selected) return 0;
    long w = 0;
    for (unsigned char c : bytes) w += d->advance(*d->selected, c);
    return w;
}

}  // namespace plat
