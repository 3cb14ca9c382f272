// Desktop services for the wizard: handing a file or link to the desktop's
// handler, mail links, and the user's folders.
#pragma once

#include <functional>
#include <string>

// Starts "xdg-open <target>" (the target is one argument; no shell is
// involved; a relative path starting with '-' is passed as "./-...") and
// reaps it in the background. False when it could not start.
bool plat_open_with_desktop(const std::string& target);
// The program the desktop handler is started with; tests point it elsewhere.
void plat_set_desktop_opener(const std::string& program);
// Called on the reaping thread, with the target, when the opener ends without
// success (xdg-open found no program for the target, or that one failed);
// an empty function for none. Once this returns, the previous one is not
// called any more.
void plat_set_open_failure_handler(std::function<void(const std::string&)> handler);

// A mailto: link: the address, then subject and body as UTF-8,
// percent-encoded (RFC 6068; line ends become %0D%0A).
std::string plat_mailto_url(const std::string& address, const std::string& subject, const std::string& body);
// Percent-encoding of every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~).
std::string plat_percent_encode(const std::string& text);

// The XDG documents folder (user-dirs.dirs), when it exists and lies inside
// the home folder; else the home folder. No trailing '/'.
std::string plat_documents_folder();
