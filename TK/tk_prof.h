// Settings as named sections of key=value pairs, read from and written to
// INI-like profile files.
#pragma once

#include <map>
#include <string>
#include <vector>

// Section and key names are matched regardless of letter case, as INI files
// are read everywhere; the first spelling met is the one kept.
struct tk_nocase_less {
    bool operator()(const std::string& a, const std::string& b) const;
};

class tk_profile {
public:
    using key_map = std::map<std::string, std::string, tk_nocase_less>;
    using section_map = std::map<std::string, key_map, tk_nocase_less>;
    using bare_map = std::map<std::string, std::vector<std::string>, tk_nocase_less>;

    // Holds the one empty section "Generic settings".
    tk_profile();

    void add_section(const std::string& name);
    // The value, or empty when the section or the key is missing.
    std::string get_value(const std::string& section, const std::string& key) const;
    // Adds the pair unless the key is already there (the first value wins).
    void set_value(const std::string& section, const std::string& key, const std::string& value);

    // Reads a file into the profile; a leading UTF-8 byte-order mark is
    // skipped. A file that cannot be read, or one with a key line before its
    // first section header, gives false and nothing is taken. Throws
    // tk_exception level 1 for a missing file and for one that is no profile:
    // text but no section header at all, or more than 1 MB (reading stops
    // there, so a device that never ends is no trouble).
    bool load(const std::string& path);
    // Writes the profile into a plain file of mode 0600 (an existing file is
    // narrowed to it); false when the file cannot be narrowed or written.
    bool store(const std::string& path) const;

    const section_map& sections() const { return sections_; }
    const bare_map& bare_lines() const { return bare_; }

private:
    section_map sections_;
    bare_map bare_;
};
