// Drives the real wizard windows through a scenario (TBX_GUI_SCENARIO):
// button events are sent from the event loop once the wizard reaches the
// state a step waits for, modal dialogs are answered by wxTEST_DIALOG or by a
// scripted modal hook, and every page is saved as a screenshot under
// TBX_GUI_SHOTS. Exit code 0 only when every check held.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <wx/app.h>
#include <wx/utils.h>
#include <wx/image.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "GUI2/g_pages.h"
#include "GUI2/tbx_shel.h"
#include "GUI2/wx/wx_ui.h"

namespace {

std::vector<std::string> failures;
std::string scenario;
std::string shots;

void fail(const std::string& what) {
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    failures.push_back(what);
}

void check(bool ok, const std::string& what) {
    if (!ok) fail(what);
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// ------------------------------------------------------------ dialogs the wizard shows

struct answer {
    std::string kind;    // "message" (wxMessageDialog), "file", "continue", "internal"
    int code;            // what ShowModal returns
    std::string path;    // for file dialogs
    std::string expect;  // message text the dialog must show (empty: any)
};

// Answers the dialogs that appear outside a wxTEST_DIALOG block (those a
// worker thread asks for); the wizard itself is shown normally.
class scripted_hook : public wxModalDialogHook {
public:
    std::deque<answer> answers;
    std::vector<std::string> seen;  // "caption|message"

protected:
    int Enter(wxDialog* dialog) override {
        if (dynamic_cast<wx_wizard*>(dialog)) return wxID_NONE;
        if (answers.empty()) return wxID_NONE;  // a wxTEST_DIALOG block answers it
        answer a = answers.front();
        answers.pop_front();
        std::string text;
        if (auto* m = dynamic_cast<wxMessageDialog*>(dialog)) text = wx_utf8(m->GetMessage());
        seen.push_back(wx_utf8(dialog->GetTitle()) + "|" + text);
        if (!a.expect.empty() && text != a.expect) fail("dialog text: [" + text + "] expected [" + a.expect + "]");
        if (a.kind == "file") {
            auto* f = dynamic_cast<wxFileDialog*>(dialog);
            if (!f) {
                fail("expected a file dialog");
                return wxID_CANCEL;
            }
            f->SetPath(wx_text(a.path));
        }
        return a.code;
    }
    void Exit(wxDialog*) override {}
};

scripted_hook* hook = nullptr;

// The question of wxMessageDialog with its text checked.
class expect_message : public wxExpectModalBase<wxMessageDialog> {
public:
    expect_message(int code, const std::string& text) : code_(code), text_(text) {}

protected:
    int OnInvoked(wxMessageDialog* dlg) const override {
        if (wx_utf8(dlg->GetMessage()) != text_) fail("question text: " + wx_utf8(dlg->GetMessage()));
        if (!(dlg->GetMessageDialogStyle() & wxNO_DEFAULT)) fail("No is not the default answer");
        return code_;
    }

private:
    int code_;
    std::string text_;
};

// ------------------------------------------------------------ the wizard

wx_wizard* wiz = nullptr;
bool wizard_gone = false;

int current_id() {
    if (!wiz || wizard_gone) return 0;
    wx_page* p = wiz->current();
    return p ? p->logic()->id() : 0;
}

wxWindow* button(wxWindowID id) { return wiz->FindWindow(id); }

void click(wxWindowID id) {
    wxWindow* b = button(id);
    if (!b) return fail("no button " + std::to_string(id));
    if (!b->IsEnabled()) return fail("button " + std::to_string(id) + " is disabled");
    wxCommandEvent e(wxEVT_BUTTON, id);
    e.SetEventObject(b);
    b->GetEventHandler()->ProcessEvent(e);
}

wxTextCtrl* edit(int page, int ctrl) { return dynamic_cast<wxTextCtrl*>(wiz->page(page)->ctrl(ctrl)); }
std::string text_of(int page, int ctrl) {
    wxWindow* w = wiz->page(page)->ctrl(ctrl);
    if (auto* t = dynamic_cast<wxTextCtrl*>(w)) return wx_utf8(t->GetValue());
    return w ? wx_utf8(w->GetLabel()) : std::string();
}

void screenshot(const std::string& name) {
    if (shots.empty() || !wiz) return;
    wiz->Raise();
    wiz->Refresh();
    wiz->Update();
    // GTK paints on its frame clock: let a few frames pass so the picture is
    // the page now shown (only the picture depends on this, no check does).
    for (int i = 0; i < 15; ++i) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    // Read the pixels from the X server itself (GTK 3 windows cannot be read back).
    const wxRect r = wiz->GetScreenRect();
    Display* display = XOpenDisplay(nullptr);
    if (!display) return fail("screenshot: no X display");
    XImage* shot = XGetImage(display, DefaultRootWindow(display), r.x, r.y, static_cast<unsigned>(r.width),
                             static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    wxImage img(r.width, r.height);
    if (shot) {
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const unsigned long px = XGetPixel(shot, x, y);
                img.SetRGB(x, y, (px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
            }
        XDestroyImage(shot);
    }
    XCloseDisplay(display);
    if (!shot) return fail("screenshot: XGetImage");
    wxBitmap bmp(img);
    const std::string path = shots + "/" + scenario + "-" + name + ".png";
    if (!bmp.SaveFile(wx_text(path), wxBITMAP_TYPE_PNG)) fail("screenshot " + path);
}

// ------------------------------------------------------------ steps

// A step waits until its condition holds, then acts (through CallAfter).
struct step {
    std::string name;
    std::function<bool()> ready;
    std::function<void()> act;
};
std::deque<step> steps;
bool acting = false;

class stepper : public wxTimer {
public:
    void Notify() override {
        if (acting || steps.empty()) return;
        if (!steps.front().ready()) return;
        acting = true;
        wxTheApp->CallAfter([] {
            step s = steps.front();
            steps.pop_front();
            std::fprintf(stderr, "step: %s\n", s.name.c_str());
            s.act();
            acting = false;
        });
    }
};

void on(const std::string& name, std::function<bool()> ready, std::function<void()> act) {
    steps.push_back({name, std::move(ready), std::move(act)});
}
std::function<bool()> page_is(int id) {
    return [id] { return current_id() == id; };
}

bool back_enabled() { return button(wxID_BACKWARD)->IsEnabled(); }
bool next_enabled() { return button(wxID_FORWARD)->IsEnabled(); }

// ------------------------------------------------------------ scenarios

void smoke() {
    on("welcome", page_is(wiz_welcome_id), [] {
        check(wx_utf8(wiz->GetTitle()) == "Tabrixa 2.5", "window title");
        check(!back_enabled() && next_enabled(), "welcome buttons");
        screenshot("welcome");
        click(wxID_FORWARD);
    });
    on("files", page_is(wiz_files_id), [] {
        check(back_enabled() && next_enabled(), "files buttons");
        screenshot("files");
        // Next with empty fields stays, with the message.
        hook->answers.push_back({"message", wxID_OK, "", "You should enter source file name"});
        click(wxID_FORWARD);
        check(current_id() == wiz_files_id, "stays on files");
        // No help pages beside the test program: the missing-help box.
        hook->answers.push_back({"message", wxID_OK, "", "Help file does not exist. Reinstall the program."});
        click(wxID_HELP);
        click(wxID_BACKWARD);
    });
    on("back to welcome", page_is(wiz_welcome_id), [] { click(wxID_FORWARD); });
    on("cancel asks", page_is(wiz_files_id), [] {
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_NO, "Are you sure you want to exit the wizard?"));
        check(current_id() == wiz_files_id, "No keeps the wizard");
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_YES, "Are you sure you want to exit the wizard?"));
    });
}

void convert() {
    const std::string src = env("TBX_GUI_SRC"), dest = env("TBX_GUI_DEST");
    on("welcome", page_is(wiz_welcome_id), [] { click(wxID_FORWARD); });
    on("files", page_is(wiz_files_id), [src, dest] {
        edit(wiz_files_id, sel_file_page::id_source)->SetValue(wx_text(src));
        edit(wiz_files_id, sel_file_page::id_dest)->SetValue(wx_text(dest));
        screenshot("files");
        click(wxID_FORWARD);
    });
    on("settings", page_is(wiz_settings_id), [] {
        check(back_enabled() && next_enabled(), "settings buttons");
        edit(wiz_settings_id, settings_page::id_pages)->SetValue("3-1");
        screenshot("settings");
        click(wxID_FORWARD);  // "All" is selected: the field is not read
    });
    on("progress", page_is(wiz_progress_id), [] {
        check(!back_enabled() && !next_enabled(), "progress buttons");
        check(button(wxID_CANCEL)->IsEnabled(), "progress cancel");
        screenshot("progress");
    });
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("Wizard has converted", 0) == 0,
              "success text: " + text_of(wiz_finish_id, gui_finish_page_ex::id_text));
        check(!button(wxID_CANCEL)->IsEnabled() && !button(wxID_HELP)->IsEnabled(), "finish cancel/help");
        check(next_enabled(), "finish button");
        screenshot("finish");
        click(wxID_FORWARD);
    });
}

void quick() {
    on("progress first", [] { return current_id() != 0; }, [] {
        check(current_id() == wiz_progress_id, "quick launch opens on the progress page");
        screenshot("progress");
    });
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("Wizard has converted", 0) == 0,
              "success text");
        screenshot("finish");
        click(wxID_FORWARD);
    });
}

void bad_password() {
    // The run's error box comes from the worker: answered by the hook.
    hook->answers.push_back({"message", wxID_OK, "", "Incorrect password"});
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("There were some errors", 0) == 0,
              "errors text");
        const std::string list = text_of(wiz_finish_id, gui_finish_page_ex::id_errors);
        check(list.find("Incorrect password") != std::string::npos, "error list: " + list);
        check(wiz->page(wiz_finish_id)->ctrl(gui_finish_page_ex::id_errors)->IsShown(), "list shown");
        check(!wiz->page(wiz_finish_id)->ctrl(gui_finish_page_ex::id_open)->IsShown(), "open hidden");
        screenshot("finish");
        click(wxID_FORWARD);
    });
}

}  // namespace

int main(int argc, char** argv) {
    scenario = env("TBX_GUI_SCENARIO");
    shots = env("TBX_GUI_SHOTS");
    wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                          const wxString& msg) {
        fail("wx assertion " + wx_utf8(file) + ":" + std::to_string(line) + " " + wx_utf8(func) + " " +
             wx_utf8(cond) + " " + wx_utf8(msg));
    });
    stepper* timer = nullptr;  // timers need the application: made once it exists
    tabwiz_on_created = [&timer](wx_wizard& w) {
        timer = new stepper;
        wiz = &w;
        wxInitAllImageHandlers();
        hook = new scripted_hook;
        hook->Register();
        if (scenario == "smoke") smoke();
        else if (scenario == "convert") convert();
        else if (scenario == "quick") quick();
        else if (scenario == "badpass") bad_password();
        else fail("unknown scenario " + scenario);
        timer->Start(20);
        // A scenario that hangs is a failure, not a stuck test.
        static wxTimer watchdog;
        watchdog.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            fail("timed out waiting for: " + (steps.empty() ? std::string("the end") : steps.front().name));
            std::fflush(stderr);
            ::_exit(3);
        });
        watchdog.StartOnce(60000);
        (void)timer;
    };
    const int rc = tabwiz_main(argc, argv);
    wizard_gone = true;
    if (timer) timer->Stop();
    if (!steps.empty()) fail("steps left: " + steps.front().name);
    if (hook && !hook->answers.empty()) fail("dialog never shown: " + hook->answers.front().expect);
    if (rc != 0) fail("exit code " + std::to_string(rc));
    std::fprintf(stderr, "%s: %zu failure(s)\n", scenario.c_str(), failures.size());
    return failures.empty() ? 0 : 1;
}
