#include "TK/tk_regk.h"

#include <vector>

#include "TK/tk_except.h"
#include "TK/tk_log.h"

tk_reg_key::~tk_reg_key() { close(); }

long tk_reg_key::create(const plat_reg_root* root, const char* sub_key, unsigned long* disposition) {
    if (!root) throw tk_mail_assertion("tk_regk", 64);
    plat_reg_handle* key = nullptr;
    unsigned long disp = 0;
    long rc = plat_reg_create(root, sub_key ? sub_key : "", &key, &disp);
    if (rc != plat_reg_ok) return rc;
    if (disposition) *disposition = disp;
    close();
    key_ = key;
    return rc;
}

long tk_reg_key::close() {
    if (!key_) return plat_reg_ok;
    long rc = plat_reg_close(key_);
    key_ = nullptr;
    return rc;
}

long tk_reg_key::get_value(uint32_t& value, const char* name) {
    if (!name) throw tk_mail_assertion("tk_regk", 98);
    tk_log::write(2, "tk_reg_key::get_value(ulong, %s)", name);
    unsigned long type = 0;
    unsigned char data[4] = {};
    unsigned long size = sizeof data;
    long rc = plat_reg_query(key_, name, &type, data, &size);
    tk_log::write(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(size));
    if (rc == plat_reg_ok) {
        uint32_t n = 0;
        for (unsigned long i = 0; i < size && i < 4; ++i) n |= static_cast<uint32_t>(data[i]) << (8 * i);
        value = n;
    }
    return rc;
}

long tk_reg_key::get_value(char* buffer, const char* name, unsigned long* size) {
    if (!size) throw tk_mail_assertion("tk_regk", 115);
    if (!name) throw tk_mail_assertion("tk_regk", 116);
    tk_log::write(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    unsigned long type = 0;
    long rc = plat_reg_query(key_, name, &type, reinterpret_cast<unsigned char*>(buffer), size);
    tk_log::write(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(*size));
    return rc;
}

long tk_reg_key::set_value(uint32_t value, const char* name) {
    if (!key_) throw tk_mail_assertion("tk_regk", 149);
    unsigned char data[4];
    for (int i = 0; i < 4; ++i) data[i] = static_cast<unsigned char>(value >> (8 * i));
    return plat_reg_set(key_, name ? name : "", plat_reg_type_dword, data, 4);
}

long tk_reg_key::set_value(const char* text, const char* name) {
    if (!text) throw tk_mail_assertion("tk_regk", 156);
    if (!key_) throw tk_mail_assertion("tk_regk", 157);
    std::string bytes(text);
    return plat_reg_set(key_, name ? name : "", plat_reg_type_sz,
                        reinterpret_cast<const unsigned char*>(bytes.c_str()),
                        static_cast<unsigned long>(bytes.size() + 1));
}

long tk_reg_key::delete_value(const char* name) {
    if (!key_) return plat_reg_invalid_handle;
    return plat_reg_delete(key_, name ? name : "");
}

bool tk_reg_key::serialize_flag(const char* name, bool& field, bool store) {
    if (!key_) return false;
    if (store) return set_value(field ? 1u : 0u, name) == plat_reg_ok;
    uint32_t n = 0;
    if (get_value(n, name) != plat_reg_ok) return false;
    field = n != 0;
    return true;
}

bool tk_reg_key::serialize_string(const char* name, std::string& field, bool store) {
    if (!key_) return false;
    if (store) return set_value(field.c_str(), name) == plat_reg_ok;
    unsigned long size = 0;
    if (get_value(nullptr, name, &size) != plat_reg_ok || size == 0) return false;
    std::vector<char> buf(size + 1, '\0');
    if (get_value(buf.data(), name, &size) != plat_reg_ok) return false;
    field.assign(buf.data());
    return true;
}
