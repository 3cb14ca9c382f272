#include "PDFR/pdf_jbig2.h"

#include <algorithm>
#include <vector>

#include <Object.h>
#include <Dict.h>
#include <Stream.h>

namespace {

// Enough for the headers of any real image; the page and its regions come first.
constexpr int max_segments = 4096;
constexpr long long max_bytes = 64ll << 20;
// An inline image is small: this much of it is kept to be read again.
constexpr long long max_inline_bytes = 1ll << 20;

// Big-endian numbers from a stream, within a budget of bytes, keeping what it
// reads when asked to.
class segment_reader {
public:
    segment_reader(Stream* in, long long budget, std::vector<unsigned char>* kept)
        : in_(in), left_(budget), kept_(kept) {}

    bool number(int bytes, unsigned long long& value) {
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            unsigned char c;
            if (!read(&c, 1)) return false;
            value = value << 8 | c;
        }
        return true;
    }

    bool skip(unsigned long long bytes) {
        unsigned char buf[4096];
        while (bytes > 0) {
            const int n = static_cast<int>(std::min<unsigned long long>(bytes, sizeof buf));
            if (!read(buf, n)) return false;
            bytes -= n;
        }
        return true;
    }

private:
    bool read(unsigned char* buf, int n) {
        if (n > left_) return false;
        const int got = in_->doGetChars(n, buf);
        if (got > 0) {
            left_ -= got;
            if (kept_) kept_->insert(kept_->end(), buf, buf + got);
        }
        return got == n;
    }

    Stream* in_;
    long long left_;
    std::vector<unsigned char>* kept_;
};

// Segment types whose data starts with a region's size: text, halftone,
// generic and refinement regions (intermediate and immediate).
bool is_region(unsigned type) {
    switch (type) {
    case 4: case 6: case 7: case 20: case 22: case 23: case 36: case 38: case 39: case 40: case 42: case 43:
        return true;
    default:
        return false;
    }
}

// What the headers declare so far. A striped page (height 0xFFFFFFFF) grows
// with its end-of-stripe rows and the regions placed on it.
struct declared {
    double largest = 0;
    double page_width = 0, page_height = 0;
    bool striped = false;

    void grow_page(double rows) {
        if (striped) page_height = std::max(page_height, rows);
        largest = std::max(largest, page_width * page_height);
    }
};

// Reads segment headers the way the core does and skips their data. At the
// first region of an inline image it stops: the data of one is followed by
// the page's content, which must stay where the core will look for it.
void read_segments(segment_reader& in, declared& d, bool stop_at_region) {
    for (int n = 0; n < max_segments; ++n) {
        unsigned long long number, flags, refs, page, length;
        if (!in.number(4, number) || !in.number(1, flags) || !in.number(1, refs)) return;
        unsigned long long count = refs >> 5;
        if (count == 7) {
            unsigned long long rest;
            if (!in.number(3, rest)) return;
            count = (refs & 0x1f) << 24 | rest;
            if (!in.skip((count + 9) >> 3)) return;  // retention flags, as many as the core reads
        }
        if (!in.skip(count * (number <= 256 ? 1 : number <= 65536 ? 2 : 4))) return;
        if (!in.number(flags & 0x40 ? 4 : 1, page) || !in.number(4, length)) return;
        const unsigned type = flags & 0x3f;
        unsigned long long used = 0;  // of the segment's data
        if (type == 48) {
            unsigned long long width, height, resolution, page_flags, striping;
            if (!in.number(4, width) || !in.number(4, height) || !in.number(8, resolution) ||
                !in.number(1, page_flags) || !in.number(2, striping))
                return;
            used = 19;
            d.page_width = double(width);
            d.striped = height == 0xFFFFFFFF;
            d.page_height = d.striped ? double(striping & 0x7fff) : double(height);
            d.grow_page(0);
        } else if (is_region(type)) {
            unsigned long long width, height, x, y;
            if (!in.number(4, width) || !in.number(4, height) || !in.number(4, x) || !in.number(4, y)) return;
            used = 16;
            d.largest = std::max(d.largest, double(width) * double(height));
            d.grow_page(double(y) + double(height));
            if (stop_at_region) return;
        } else if (type == 50) {
            unsigned long long row;
            if (!in.number(4, row)) return;
            used = 4;
            d.grow_page(double(row) + 1);
        } else if (type == 49 || type == 51) {
            return;  // end of the page or of the data
        }
        // An immediate generic region may leave its length unknown: nothing after it can be found.
        if (length == 0xFFFFFFFF || length < used || !in.skip(length - used)) return;
    }
}

// The image's own JBIG2 decoder, wherever it stands among its filters.
Stream* find_jbig2(Stream* str) {
    for (int depth = 0; str && depth < 32; ++depth, str = str->getNextStream())
        if (str->getKind() == strJBIG2) return str;
    return nullptr;
}

// The JBIG2Globals of the image's JBIG2 filter, from the image's dictionary
// (an inline image may abbreviate its keys). Read from the dictionary rather
// than the decoder: the core does not export the decoder's class.
Object jbig2_globals(Stream* image) {
    Dict* dict = image->getDict();
    if (!dict) return Object(objNull);
    Object filter = dict->lookup("Filter");
    if (filter.isNull()) filter = dict->lookup("F");
    Object parms = dict->lookup("DecodeParms");
    if (parms.isNull()) parms = dict->lookup("DP");
    if (filter.isArray()) {
        for (int i = 0; i < filter.arrayGetLength(); ++i)
            if (filter.arrayGet(i).isName("JBIG2Decode")) {
                if (parms.isArray()) parms = i < parms.arrayGetLength() ? parms.arrayGet(i) : Object(objNull);
                break;
            }
    }
    if (!parms.isDict()) return Object(objNull);
    Object globals = parms.dictLookup("JBIG2Globals");
    return globals.isStream() ? std::move(globals) : Object(objNull);
}

// The data of an inline image: the bytes already read, then the rest where
// it stands (which this stream does not own).
class replay_stream : public Stream {
public:
    replay_stream(Stream* rest, std::vector<unsigned char> head) : rest_(rest), head_(std::move(head)) {}
    StreamKind getKind() const override { return strWeird; }
    // The rest cannot go back: only the bytes kept are read again.
    void reset() override { pos_ = 0; }
    void close() override {}
    int getChar() override { return pos_ < head_.size() ? head_[pos_++] : rest_->getChar(); }
    int lookChar() override { return pos_ < head_.size() ? head_[pos_] : rest_->lookChar(); }
    int getUnfilteredChar() override { return getChar(); }
    void unfilteredReset() override { reset(); }
    Goffset getPos() override { return rest_->getPos(); }
    void setPos(Goffset, int) override {}
    bool isBinary(bool) const override { return true; }
    BaseStream* getBaseStream() override { return rest_->getBaseStream(); }
    Stream* getUndecodedStream() override { return this; }
    Dict* getDict() override { return rest_->getDict(); }
    Object* getDictObject() override { return rest_->getDictObject(); }

private:
    Stream* rest_;
    std::vector<unsigned char> head_;
    std::size_t pos_ = 0;
};

// A JBIG2 decoder of `data`, with the globals of the image's own.
std::unique_ptr<Stream> jbig2_decoder(std::unique_ptr<Stream> data, Object* globals) {
    Dict* params = new Dict(static_cast<XRef*>(nullptr));
    Object params_obj(params);
    if (globals && globals->isStream()) params->add("JBIG2Globals", globals->copy());
    Dict* filter = new Dict(static_cast<XRef*>(nullptr));
    Object filter_obj(filter);
    filter->add("Filter", Object(objName, "JBIG2Decode"));
    filter->add("DecodeParms", std::move(params_obj));
    Stream* base = data.get();
    Stream* top = base->addFilters(filter);
    if (top == base) return nullptr;  // left to the image's own stream
    data.release();  // the decoder owns it now
    return std::unique_ptr<Stream>(top);
}

}  // namespace

double pdf_jbig2_declared_pixels(Stream* image, bool inline_image, std::unique_ptr<Stream>& replay) {
    replay.reset();
    Stream* jbig2 = find_jbig2(image);
    // Inline data read here must be handed back to the core: only where the
    // decoder is the image's last filter can it be given another source.
    if (!jbig2 || (inline_image && jbig2 != image)) return 0;
    declared d;
    Object globals = jbig2_globals(image);
    if (globals.isStream()) {
        Stream* g = globals.getStream();
        g->reset();
        segment_reader in(g, max_bytes, nullptr);
        read_segments(in, d, false);
        g->close();
    }
    Stream* source = jbig2->getNextStream();
    if (!source) return d.largest;
    if (!inline_image) {
        source->reset();
        segment_reader in(source, max_bytes, nullptr);
        read_segments(in, d, false);
        source->close();
        return d.largest;
    }
    std::vector<unsigned char> head;
    segment_reader in(source, max_inline_bytes, &head);
    read_segments(in, d, true);
    replay = jbig2_decoder(std::make_unique<replay_stream>(source, std::move(head)), &globals);
    return d.largest;
}
