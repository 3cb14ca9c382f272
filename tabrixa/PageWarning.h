// Warnings about a page that is converted with a loss.
#pragma once

#include <string>

namespace tbx {

// Tells the user what a page lost: a warning (level 0) through the error
// handler, or on the standard error stream when there is none. The
// conversion goes on.
void warnAboutPage(const std::string& text);

// How warnings name a page: "Page 3".
std::string pageName(int page);

}  // namespace tbx
