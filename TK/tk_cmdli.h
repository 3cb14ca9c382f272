// Walks the arguments of a console program and matches each against a table
// of option prefixes.
#pragma once

struct tk_cmd_option {
    int id;
    const char* prefix;  // the table ends with a row whose prefix is ""
};

class TCmdLine {
public:
    virtual ~TCmdLine() = default;
    virtual void next() = 0;
    virtual bool has_more() const = 0;
};

class ansi_cmd_line : public TCmdLine {
public:
    static constexpr int max_unknown = 20;

    // Starts at argv[1]; the first argument, when there is one, is parsed at once.
    ansi_cmd_line(int argc, char** argv, const tk_cmd_option* table);

    bool has_more() const override { return remaining_ > 0; }
    void next() override;

    // The current argument's option id, -1 when it matched no prefix.
    int id() const;
    // The current argument behind the matched prefix (the whole argument when unknown).
    const char* value() const;
    int unknown_count() const { return unknown_count_; }
    const char* unknown(int i) const { return i >= 0 && i < unknown_count_ ? unknown_[i] : nullptr; }

private:
    void parse();

    const tk_cmd_option* table_;
    const char* value_ = nullptr;
    int id_ = -1;
    int unknown_count_ = 0;
    const char* unknown_[max_unknown] = {};
    char** cursor_;
    int remaining_;
};
