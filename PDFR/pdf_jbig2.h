// The bitmaps a JBIG2 image's data asks the core for, read from its segment
// headers without decoding anything. The core allocates and decodes the page
// and region bitmaps the data declares, whatever the image's own /Width and
// /Height: 50 bytes can ask for 10^10 pixels, decoded where no callback is
// asked. The devices hold the declared size against the image-pixel limit
// before they hand such an image to the core.
#pragma once

#include <memory>

class Stream;

// The pixels of the largest bitmap (page, or region of it) that the JBIG2
// data of an image's stream declares, its globals included; 0 when the image
// is not JBIG2-encoded or its headers declare nothing readable. Reading stops
// at the stream's end, at a damaged header or after a bounded number of
// segments and bytes: what was read until then counts.
//
// An inline image's data is part of the page's content and cannot be read
// twice: `replay` then receives the stream to decode instead of the image's
// own (the same data, the bytes read here first). It stays empty for an
// image XObject, which the core reads again from its start.
double pdf_jbig2_declared_pixels(Stream* image, bool inline_image, std::unique_ptr<Stream>& replay);
