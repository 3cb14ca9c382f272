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
    // skipped, comment lines (";" or "#" first) and lines before the first
    // section are skipped, keys and values are trimmed of white space.
    // Throws tk_exception level 1 for a missing file, a folder, device, pipe
    // or socket (told without opening it), an unreadable file and one of more
    // than 1 MB; the texts name the file. False when reading failed.
    bool load(const std::string& path);
    // Writes the profile as workbooks are written (a new file of mode 0600;
    // a replaced one keeps its owner and mode, without group and other
    // access when a password is stored); false when it cannot be written.
    bool store(const std::string& path) const;

    const section_map& sections() const { return sections_; }
    const bare_map& bare_lines() const { return bare_; }

private:
    section_map sections_;
    bare_map bare_;
};
