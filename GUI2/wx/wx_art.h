// The wizard's pictures by resource id (wiz_art_*): drawn from the SVG
// sources in GUI2/art, which the build puts into the program.
#pragma once

#include <wx/bmpbndl.h>

// An empty bundle for an id without a picture.
wxBitmapBundle wx_artwork(int resource_id);
