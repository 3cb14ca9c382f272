// Settings as named sections of key=value pairs, read from and written to
// INI-like profile files.
#pragma once

#include <map>
#include <string>
#include <vector>

class tk_profile {
public:
    using key_map = std::map<std::string, std::string>;
    using section_map = std::map<std::string, key_map>;
    using bare_map = std::map<std::string, std::vector<std::string>>;

    // Holds the one empty section "Generic settings".
    tk_profile();

    void add_section(const std::string& name);
    // The value, or empty when the section or the key is missing.
    std::string get_value(const std::string& section, const std::string& key) const;
    // Adds the pair unless the key is already there (the first value wins).
    void set_value(const std::string& section, const std::string& key, const std::string& value);

    // Reads a file into the profile. A missing file throws tk_exception level 1;
    // a file that cannot be read, or a key line before the first section header,
    // gives false (what was read before stays).
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
