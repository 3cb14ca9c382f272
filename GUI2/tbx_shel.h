// The wizard program: its conversion job around the converter, and its
// start-up (the error handler, the converter with its saved settings, the
// quick launch from a profile, the shell, the pages and the modal run).
#pragma once

#include <functional>
#include <string>

#include "GUI2/wiz_job.h"

class tk_profile;
class xelvio_convertor;
class wx_wizard;

// The converter as the pages see it.
class convertor_job : public wiz_job {
public:
    explicit convertor_job(xelvio_convertor& conv) : conv_(conv) {}

    std::string source() const override;
    void set_source(const std::string& path) override;
    std::string destination() const override;
    void set_destination(const std::string& path) override;
    std::string password() const override;
    void set_password(const std::string& password) override;
    std::string page_range() const override;
    void set_page_range(const std::string& range) override;
    bool graph_tab() const override;
    void set_graph_tab(bool on) override;
    bool open_on_exit() const override;
    void set_open_on_exit(bool on) override;

    void check_source(const std::string& path, const std::string& password) override;
    void check_destination(const std::string& path) override;
    bool load_profile_file(const std::string& path) override;
    bool store_profile_file(const std::string& path) override;

    void run() override;
    void request_stop() override;
    void hold_result() override;
    void release_result() override;
    long pages_done() const override;
    long page_count() const override;
    double get_percent() const override;
    bool succeeded() const override;
    bool stopped() const override;

private:
    xelvio_convertor& conv_;
};

// For the tests: called once the wizard window exists, before it runs.
extern std::function<void(wx_wizard&)> tabwiz_on_created;

// The program; returns its exit code. The command line, when not empty, is
// the path of a profile to convert at once.
int tabwiz_main(int argc, char** argv);
