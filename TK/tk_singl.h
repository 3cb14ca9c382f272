// Base of every class that exists at most once per process.
#pragma once

#include <atomic>
#include <cstdio>

#include "TK/tk_except.h"

template <class T>
class tk_singleton {
public:
    tk_singleton() {
        tk_singleton* expected = nullptr;
        if (!slot().compare_exchange_strong(expected, this)) throw tk_mail_assertion("tk_singl", 35);
    }
    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    // A destructor must not throw: a missing registration is reported instead.
    virtual ~tk_singleton() {
        tk_singleton* expected = this;
        if (!slot().compare_exchange_strong(expected, nullptr))
            std::fprintf(stderr, "%s\n", tk_mail_assertion("tk_singl", 46).what());
    }

    static T& instance() {
        tk_singleton* p = slot().load();
        if (!p) throw tk_mail_assertion("tk_singl", 59);
        return *static_cast<T*>(p);
    }
    // The second form of the accessor, reporting its own line.
    static T& instance2() {
        tk_singleton* p = slot().load();
        if (!p) throw tk_mail_assertion("tk_singl", 66);
        return *static_cast<T*>(p);
    }
    static bool exists() { return slot().load() != nullptr; }
    // The instance or null, for callers that treat a missing one as "off".
    static T* find() { return static_cast<T*>(slot().load()); }

private:
    static std::atomic<tk_singleton*>& slot() {
        static std::atomic<tk_singleton*> p{nullptr};
        return p;
    }
};
