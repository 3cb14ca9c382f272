// One open key of the per-user settings store (the registry's stand-in, see
// platform/plat_settings.h) and typed values under it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/plat_settings.h"

class tk_reg_key {
public:
    tk_reg_key() = default;
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Opens or creates the key; on success the previous key is closed and the
    // new one held, on failure the held key stays. A null root is an internal error.
    long create(const plat_reg_root* root, const char* sub_key, unsigned long* disposition = nullptr);
    long close();
    bool is_open() const { return key_ != nullptr; }

    long get_value(uint32_t& value, const char* name);
    // With a null buffer only the size (terminating zero included) is reported.
    long get_value(char* buffer, const char* name, unsigned long* size);
    long set_value(uint32_t value, const char* name);
    long set_value(const char* text, const char* name);
    // Removes the value; a missing one is not an error.
    long delete_value(const char* name);

    // Transfer one field in either direction; false on any error (a load then
    // leaves the field unchanged).
    bool serialize_flag(const char* name, bool& field, bool store);
    bool serialize_string(const char* name, std::string& field, bool store);

private:
    plat_reg_handle* key_ = nullptr;
};

// A key together with the path to open.
class tk_serializer {
public:
    explicit tk_serializer(const char* key_path) : key_path_(key_path ? key_path : "") {}

protected:
    tk_reg_key key_;
    std::string key_path_;
};
