// libjpeg, which the PDF core decodes DCT images with, prints its warnings
// ("Corrupt JPEG data: ...") on the standard error stream itself. They are
// the core's messages: they go where the core's own go.
#pragma once

// Sends libjpeg's messages to the core's error callback from now on.
void pdf_route_jpeg_messages();
