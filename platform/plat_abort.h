// The PDF core has no way to fail an allocation but abort(), after its own
// "Out of memory". While a plat_memory_abort lives, an abort that comes right
// after a failed allocation (errno ENOMEM as the signal arrives) instead
// writes the guard's text to standard output and ends the process with exit
// code 255, as a run ends when memory runs out anywhere else; any other abort
// ends the process as it would have. One guard at a time. SIGABRT is taken
// only while nothing else handles it, and no guard may live while a named
// temporary file waits for its cleanup on signals (plat_temp).
#pragma once

#include <string>

class plat_memory_abort {
public:
    explicit plat_memory_abort(const std::string& text);
    ~plat_memory_abort();
    plat_memory_abort(const plat_memory_abort&) = delete;
    plat_memory_abort& operator=(const plat_memory_abort&) = delete;

    // The text to write from now on (at most 1023 bytes of it).
    void set_text(const std::string& text);
    // Gives SIGABRT back before the guard's end (before a named temporary file is made).
    void release();

private:
    bool installed_ = false;
};
