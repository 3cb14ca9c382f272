#include "platform/plat_shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/plat_files.h"
#include "platform/plat_settings.h"

extern char** environ;

namespace {
std::mutex opener_mutex;
std::string& opener() {
    static std::string program = "xdg-open";
    return program;
}

std::mutex failure_mutex;
std::function<void(const std::string&)>& failure_handler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}

std::string strip_trailing_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}
}  // namespace

void plat_set_desktop_opener(const std::string& program) {
    std::lock_guard<std::mutex> lock(opener_mutex);
    opener() = program;
}

bool plat_open_with_desktop(const std::string& target) {
    std::string program;
    {
        std::lock_guard<std::mutex> lock(opener_mutex);
        program = opener();
    }
    // A relative path that starts with '-' would be read as an option.
    const std::string arg = target.compare(0, 1, "-") == 0 ? "./" + target : target;
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    // The handler may run long (a mail client); reap it without waiting here.
    std::thread([pid, target] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        std::lock_guard<std::mutex> lock(failure_mutex);
        if (failure_handler()) failure_handler()(target);
    }).detach();
    return true;
}

void plat_set_open_failure_handler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> lock(failure_mutex);
    failure_handler() = std::move(handler);
}

std::string plat_percent_encode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string plat_mailto_url(const std::string& address, const std::string& subject, const std::string& body) {
    // Mail bodies want CR LF line ends.
    std::string crlf;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\n' && (i == 0 || body[i - 1] != '\r')) crlf += '\r';
        crlf += body[i];
    }
    return "mailto:" + address + "?subject=" + plat_percent_encode(subject) + "&body=" + plat_percent_encode(crlf);
}


std::string plat_documents_folder() {
    const std::string home = plat_home_folder();
    if (home.empty()) return home;
    // user-dirs.dirs lives in the same configuration folder as our settings.
    const std::string config = plat_reg_root_folder(plat_hkey_current_user);
    if (config.empty()) return home;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        value = strip_trailing_slash(value);
        // A documents folder outside the home folder (or the home folder's
        // parent, or a relative path) is not proposed.
        if (value.size() > home.size() && value.compare(0, home.size(), home) == 0 && value[home.size()] == '/' &&
            value.find("/..") == std::string::npos && plat_is_folder(value))
            return value;
        break;
    }
    return home;
}
