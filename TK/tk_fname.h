// A file path split into drive, folder, name and extension.
#pragma once

#include <string>

class tk_file_name {
public:
    // The path is made full against the current folder first. An empty text
    // stands for the program file, whose name is then left empty. A null text
    // or a path that cannot be made full is an internal error.
    explicit tk_file_name(const char* path);
    explicit tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}

    // Drive and folder: the folder keeps its leading and trailing '/'.
    std::string get_drive_path() const { return drive + path; }
    // "xls" and ".xls" both give ".xls"; an empty text removes the extension.
    void set_ext(const std::string& text);
    std::string get_full_path() const;

    const std::string& get_ext() const { return ext; }
    const std::string& get_drive() const { return drive; }
    const std::string& get_name() const { return name; }
    const std::string& get_path() const { return path; }

private:
    void initialize(const char* text);

    std::string ext;
    std::string drive;
    std::string name;
    std::string path;
};
