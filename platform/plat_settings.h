// The per-user settings store that stands in for the registry: one key is one
// text file "settings" in a folder below the user's configuration folder
// (${XDG_CONFIG_HOME:-~/.config}). "Software\Vantrel\Tabrixa" becomes
// <config>/Vantrel/Tabrixa/settings. Values are typed (string or 32-bit
// number); every write replaces the file atomically (temporary file + rename)
// as a workbook is written: a link keeps leading to its target, a replaced
// file keeps its owner and mode. The file is read once, when the key is
// opened; one larger than 1 MB is refused (plat_reg_invalid_data).
// New folders get mode 0700, a new file 0600.
#pragma once

#include <cstdint>
#include <string>

// Result codes follow the registry's numbers so callers can treat them alike.
enum : long {
    plat_reg_ok = 0,
    plat_reg_not_found = 2,
    plat_reg_access_denied = 5,
    plat_reg_invalid_handle = 6,
    plat_reg_invalid_data = 13,
    plat_reg_write_fault = 29,
    plat_reg_read_fault = 30,
    plat_reg_invalid_parameter = 87,
    plat_reg_more_data = 234,
};

// Value types (the registry's numbers).
enum : unsigned long { plat_reg_type_none = 0, plat_reg_type_sz = 1, plat_reg_type_dword = 4 };

// Dispositions reported by plat_reg_create.
enum : unsigned long { plat_reg_created_new_key = 1, plat_reg_opened_existing_key = 2 };

// A root of keys; the only one is the current user's.
struct plat_reg_root;
extern const plat_reg_root* const plat_hkey_current_user;

// An open key. Opaque to callers.
struct plat_reg_handle;

// The folder that holds the key folders of a root (no trailing '/').
std::string plat_reg_root_folder(const plat_reg_root* root);
// The settings file of a key path under a root; empty for an unusable path
// (empty, or with "." or ".." parts).
std::string plat_reg_key_file(const plat_reg_root* root, const std::string& sub_key);

// Opens the key, creating its folders and an empty file when missing.
long plat_reg_create(const plat_reg_root* root, const std::string& sub_key, plat_reg_handle** key,
                     unsigned long* disposition);
long plat_reg_close(plat_reg_handle* key);
// Query with the registry's rules: a null data pointer only reports the size;
// a buffer smaller than the value gives plat_reg_more_data and the size needed.
// Strings are returned with their terminating zero.
long plat_reg_query(plat_reg_handle* key, const std::string& name, unsigned long* type, unsigned char* data,
                    unsigned long* size);
// Sets a value: a string (bytes up to the first zero are kept) or a number of
// exactly 4 bytes.
long plat_reg_set(plat_reg_handle* key, const std::string& name, unsigned long type, const unsigned char* data,
                  unsigned long size);
// Removes a value; one that is not there is no error (the key holds no such value afterwards either way).
long plat_reg_delete(plat_reg_handle* key, const std::string& name);
