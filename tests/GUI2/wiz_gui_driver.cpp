// Drives the real wizard windows through a scenario (TBX_GUI_SCENARIO):
// button events are sent from the event loop once the wizard reaches the
// state a step waits for, modal dialogs are answered by wxTEST_DIALOG or by a
// scripted modal hook, and every page is saved as a screenshot under
// TBX_GUI_SHOTS. Nothing waits for a time to pass: every step waits for a
// state. Exit code 0 only when every check held.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef TBX_GUI_X11
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#endif

#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>
#include <wx/image.h>
#include <wx/checkbox.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/hyperlink.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/uiaction.h>
#include <wx/testing.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "GUI2/g_pages.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_errh.h"
#include "TK/tk_texts.h"
#include "GUI2/tbx_shel.h"
#include "GUI2/wx/wx_ui.h"
#include "tabrixa/tbx_conv.h"

class pdf_uline_processor;
class Splash;
class ExcelOutputDev;

// ------------------------------------------------------------ link-time seams
// gui.cmake links this driver with --wrap for two functions, so the wizard's
// own calls of them arrive here.

namespace {
std::mutex opened_mutex;
std::vector<std::string> opened;  // what the wizard handed to the desktop

// The cancel scenario holds the conversion in its second page until Cancel
// has asked the run to stop, so the run is under way when Cancel is pressed
// however fast the machine is.
std::atomic<bool> hold_second_page{false};
std::atomic<int> pages_played{0};
// The late scenario holds the run in its second page until the cancel
// question is open, then watches it come to its workbook.
std::atomic<bool> question_open{false};
std::atomic<bool> at_result{false};
std::atomic<bool> saved_while_asking{false};
}  // namespace

// plat_open_with_desktop: recorded; a test never starts a desktop program.
extern "C" bool __wrap__Z22plat_open_with_desktopRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(
    const std::string& target) {
    std::lock_guard<std::mutex> lock(opened_mutex);
    opened.push_back(target);
    return true;
}

// pdf_uline_processor::undo_lines(Splash*), called once per page on the worker.
extern "C" void __real__ZN19pdf_uline_processor10undo_linesEP6Splash(pdf_uline_processor* self, Splash* raster);
extern "C" void __wrap__ZN19pdf_uline_processor10undo_linesEP6Splash(pdf_uline_processor* self, Splash* raster) {
    if (++pages_played == 2 && hold_second_page) {
        while (!xelvio_convertor::instance().stop_requested() && !question_open)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    __real__ZN19pdf_uline_processor10undo_linesEP6Splash(self, raster);
}

// tk_thread_functor::begin_result(): the run has come to its workbook.
extern "C" bool __real__ZN17tk_thread_functor12begin_resultEv(tk_thread_functor* self);
extern "C" bool __wrap__ZN17tk_thread_functor12begin_resultEv(tk_thread_functor* self) {
    at_result = true;
    return __real__ZN17tk_thread_functor12begin_resultEv(self);
}

// ExcelOutputDev::save(): the workbook is written.
extern "C" void __real__ZN14ExcelOutputDev4saveEv(ExcelOutputDev* self);
extern "C" void __wrap__ZN14ExcelOutputDev4saveEv(ExcelOutputDev* self) {
    if (question_open) saved_while_asking = true;
    at_result = true;
    __real__ZN14ExcelOutputDev4saveEv(self);
}

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
        if (auto* m = dynamic_cast<wx_message_box*>(dialog)) text = wx_utf8(m->text());
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
class expect_message : public wxExpectModalBase<wx_message_box> {
public:
    expect_message(int code, const std::string& text) : code_(code), text_(text) {}

protected:
    int OnInvoked(wx_message_box* dlg) const override {
        if (wx_utf8(dlg->text()) != text_) fail("question text: " + wx_utf8(dlg->text()));
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

void send(wxWindow* w, wxEventType type) {
    wxCommandEvent e(type, w->GetId());
    e.SetEventObject(w);
    w->GetEventHandler()->ProcessEvent(e);
}

void click_window(wxWindow* b, const std::string& what) {
    if (!b) return fail("no " + what);
    if (!b->IsEnabled()) return fail(what + " is disabled");
    send(b, wxEVT_BUTTON);
}

// A button of the sheet, of an open dialog, or of the current page.
void click(wxWindowID id) { click_window(button(id), "button " + std::to_string(id)); }
void click_in(wxWindow* parent, int id) { click_window(parent->FindWindow(id), "button " + std::to_string(id)); }
void click_ctrl(int ctrl) { click_window(wiz->current()->ctrl(ctrl), "control " + std::to_string(ctrl)); }

wxTextCtrl* edit(int page, int ctrl) { return dynamic_cast<wxTextCtrl*>(wiz->page(page)->ctrl(ctrl)); }
std::string text_of(int page, int ctrl) { return wiz_ui::instance().get_text(page, ctrl); }

void screenshot(const std::string& name, wxWindow* window = nullptr) {
#ifndef TBX_GUI_X11
    (void)name;
#else
    if (!window) window = wiz;
    if (shots.empty() || !window) return;
    window->Raise();
    window->Refresh();
    window->Update();
    // GTK paints on its frame clock: let a few frames pass so the picture is
    // the page now shown (only the picture depends on this, no check does).
    for (int i = 0; i < 15; ++i) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    // Read the pixels from the X server itself (GTK 3 windows cannot be read back).
    const wxRect r = window->GetScreenRect();
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
#endif
}

// The size of the picture the wizard shows beside the current page.
wxSize shown_picture() {
    for (wxWindow* w : wiz->GetChildren())
        if (auto* b = dynamic_cast<wxStaticBitmap*>(w))
            if (b->IsShown()) return b->GetBitmap().GetSize();
    return wxSize();
}

// The icons the wizard's window announces to the desktop (_NET_WM_ICON), as
// "WxH" for each one that has opaque pixels.
std::vector<std::string> window_icons() {
    std::vector<std::string> found;
#ifdef TBX_GUI_X11
    wxTheApp->Yield(true);
    Display* d = XOpenDisplay(nullptr);
    if (!d) return found;
    const Atom icon = XInternAtom(d, "_NET_WM_ICON", False);
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n);
    for (unsigned i = 0; i < n; ++i) {
        char* name = nullptr;
        const bool ours = XFetchName(d, kids[i], &name) && name && wx_utf8(wiz->GetTitle()) == name;
        if (name) XFree(name);
        if (!ours) continue;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, kids[i], icon, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) == Success && data && format == 32) {
            const long* v = reinterpret_cast<const long*>(data);  // Xlib hands 32-bit items as longs
            for (unsigned long k = 0; k + 2 <= count;) {
                const unsigned long w = static_cast<unsigned long>(v[k]), h = static_cast<unsigned long>(v[k + 1]);
                if (w * h > count - k - 2) break;
                bool opaque = false;
                for (unsigned long j = 0; j < w * h; ++j) opaque = opaque || ((v[k + 2 + j] >> 24) & 0xFF) != 0;
                if (opaque) found.push_back(std::to_string(w) + "x" + std::to_string(h));
                k += 2 + w * h;
            }
        }
        if (data) XFree(data);
    }
    if (kids) XFree(kids);
    XCloseDisplay(d);
#endif
    return found;
}

bool has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
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

// Where the welcome page's title and button sit in the window.
std::vector<wxPoint> welcome_layout() {
    std::vector<wxPoint> at;
    for (int id : {int(welcome_page::id_title), int(welcome_page::id_load)})
        at.push_back(wiz->page(wiz_welcome_id)->ctrl(id)->GetScreenPosition() - wiz->GetScreenPosition());
    return at;
}
std::vector<wxPoint> first_layout;

void smoke() {
    on("welcome", page_is(wiz_welcome_id), [] {
        check(wx_utf8(wiz->GetTitle()) == "Tabrixa 2.5", "window title");
        check(!back_enabled() && next_enabled(), "welcome buttons");
        // Enter means Next: the focus starts there, not on "Load Settings...".
        check(wxWindow::FindFocus() == button(wxID_FORWARD), "the focus is not on Next");
        screenshot("welcome");
        first_layout = welcome_layout();
        // The "Vantrel" link stands right after its label, its text at its left edge.
        wxWindow* welcome = wiz->page(wiz_welcome_id);
        wxWindow* link = welcome->FindWindow(welcome_page::id_link);
        wxStaticText* made_by = nullptr;
        for (wxWindow* w : welcome->GetChildren())
            if (auto* t = dynamic_cast<wxStaticText*>(w))
                if (wx_utf8(t->GetLabel()) == "Tabrixa is made by") made_by = t;
        check(link && made_by, "the link and its label");
        if (link && made_by) {
            const int label_end = made_by->GetPosition().x + made_by->GetTextExtent(made_by->GetLabel()).x;
            const int gap = link->GetPosition().x - label_end;
            check(gap >= 0 && gap <= 2 * made_by->GetTextExtent(" ").x,
                  "the link stands " + std::to_string(gap) + " px after its label");
            check(link->GetWindowStyle() & wxHL_ALIGN_LEFT, "the link's text is not at its left edge");
        }
        check(shown_picture() == wxSize(164, 314), "the watermark beside the welcome page");
#ifdef TBX_GUI_X11
        check(has(window_icons(), "48x48"), "no 48 x 48 window icon (_NET_WM_ICON)");
#endif
        // The icon has no title bar to show on in a bare X server: kept as a picture.
        const wxIcon icon = wiz->GetIcons().GetIcon(wxSize(48, 48), wxIconBundle::FALLBACK_NONE);
        check(icon.IsOk(), "no 48 x 48 window icon");
        if (icon.IsOk() && !shots.empty())
            wxBitmap(icon).ConvertToImage().Scale(192, 192, wxIMAGE_QUALITY_NEAREST)
                .SaveFile(wx_text(shots + "/smoke-icon.png"), wxBITMAP_TYPE_PNG);
        // A profile that cannot be loaded is reported and the wizard stays.
        hook->answers.push_back({"file", wxID_OK, env("TBX_GUI_WORK") + "/bad.tbx", ""});
        hook->answers.push_back({"message", wxID_OK, "", "Invalid page range: \"3-1\""});
        click_ctrl(welcome_page::id_load);
        check(current_id() == wiz_welcome_id, "bad profile keeps the welcome page");
        click(wxID_FORWARD);
    });
    on("files", page_is(wiz_files_id), [] {
        check(back_enabled() && next_enabled(), "files buttons");
        screenshot("files");
        check(shown_picture() == wxSize(49, 49), "the header picture on the file page");
        // Next with empty fields stays, with the message.
        hook->answers.push_back({"message", wxID_OK, "", "You should enter source file name"});
        click(wxID_FORWARD);
        check(current_id() == wiz_files_id, "stays on files");
        // No help pages beside this copy of the test program: the missing-help box.
        hook->answers.push_back({"message", wxID_OK, "", "Help file does not exist. Reinstall the program."});
        click(wxID_HELP);
        click(wxID_BACKWARD);
    });
    on("back to welcome", page_is(wiz_welcome_id), [] {
        screenshot("welcome-again");
        // The page looks as it did the first time, beside its picture.
        const std::vector<wxPoint> again = welcome_layout();
        check(again == first_layout, "the welcome page moved from x " + std::to_string(first_layout[0].x) + " to " +
                                         std::to_string(again[0].x) + " after Back");
        click(wxID_FORWARD);
    });
    on("cancel asks", page_is(wiz_files_id), [] {
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_NO, "Are you sure you want to exit the wizard?"));
        check(current_id() == wiz_files_id, "No keeps the wizard");
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_YES, "Are you sure you want to exit the wizard?"));
    });
}

void convert() {
    const std::string src = env("TBX_GUI_SRC"), dest = env("TBX_GUI_DEST");
    on("welcome", page_is(wiz_welcome_id), [] {
        // A real Enter key press is Next here.
        wiz->Raise();
        wxUIActionSimulator().Char(WXK_RETURN);
    });
    on("files", page_is(wiz_files_id), [src, dest] {
        edit(wiz_files_id, sel_file_page::id_source)->SetValue(wx_text(src));
        edit(wiz_files_id, sel_file_page::id_dest)->SetValue(wx_text(dest));
        // Ticking "Use password" keeps the focus on the box, so the next Tab
        // goes to the password field (not past it into the destination).
        auto* use = dynamic_cast<wxCheckBox*>(wiz->page(wiz_files_id)->ctrl(sel_file_page::id_use_password));
        wxWindow* password = wiz->page(wiz_files_id)->ctrl(sel_file_page::id_password);
        wiz->Raise();
        use->SetFocus();
        use->SetValue(true);  // as GTK does on a click, before it tells the page
        send(use, wxEVT_CHECKBOX);
        check(use->GetValue() && password->IsEnabled(), "Use password ticked");
        check(wxWindow::FindFocus() == use, "ticking Use password moved the focus");
        wxUIActionSimulator().Char(WXK_TAB);
    });
    on("tab to the password", [] {
        return wxWindow::FindFocus() == wiz->page(wiz_files_id)->ctrl(sel_file_page::id_password);
    }, [] {
        auto* use = dynamic_cast<wxCheckBox*>(wiz->page(wiz_files_id)->ctrl(sel_file_page::id_use_password));
        use->SetValue(false);
        send(use, wxEVT_CHECKBOX);
        screenshot("files");
        // A real F1 key press: the file page's help topic.
        wiz->Raise();
        wiz->SetFocus();
        wxUIActionSimulator().Char(WXK_F1);
    });
    on("F1 opened the topic", [] {
        std::lock_guard<std::mutex> lock(opened_mutex);
        return !opened.empty();
    }, [] {
        check(opened == std::vector<std::string>{wizard_shell::help_folder() + "/1013.html"},
              "F1 opened " + (opened.empty() ? std::string("nothing") : opened[0]));
        click(wxID_FORWARD);
    });
    on("settings", page_is(wiz_settings_id), [] {
        check(back_enabled() && next_enabled(), "settings buttons");
        check(shown_picture() == wxSize(49, 49), "the header picture on the settings page");
        // A user's click: GTK toggles the box, then tells the page, which keeps
        // exactly one toggle.
        auto* tables = dynamic_cast<wxCheckBox*>(wiz->page(wiz_settings_id)->ctrl(settings_page::id_tables));
        const bool before = tables->GetValue();
        tables->SetValue(!before);
        send(tables, wxEVT_CHECKBOX);
        check(tables->GetValue() == !before, "check box toggles once");
        tables->SetValue(before);
        send(tables, wxEVT_CHECKBOX);
        // A bad page list keeps the page, with its error box.
        auto* list = dynamic_cast<wxRadioButton*>(wiz->page(wiz_settings_id)->ctrl(settings_page::id_list));
        list->SetValue(true);
        send(list, wxEVT_RADIOBUTTON);
        check(edit(wiz_settings_id, settings_page::id_pages)->IsEnabled(), "page field enabled");
        edit(wiz_settings_id, settings_page::id_pages)->SetValue("3-1");
        hook->answers.push_back({"message", wxID_OK, "", "Invalid page range: \"3-1\""});
        click(wxID_FORWARD);
        check(current_id() == wiz_settings_id, "bad range keeps the page");
        auto* all = dynamic_cast<wxRadioButton*>(wiz->page(wiz_settings_id)->ctrl(settings_page::id_all));
        all->SetValue(true);
        send(all, wxEVT_RADIOBUTTON);
        check(!edit(wiz_settings_id, settings_page::id_pages)->IsEnabled(), "page field disabled");
        screenshot("settings");
        click(wxID_FORWARD);  // "All": the field is not read
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
        check(shown_picture() == wxSize(164, 314), "the watermark beside the finish page");
        screenshot("finish");
        // "Save Settings...": the typed name gets the profile extension.
        hook->answers.push_back({"file", wxID_OK, env("TBX_GUI_WORK") + "/saved", ""});
        click_ctrl(gui_finish_page_ex::id_save);
        // The run is over: the close box acts as Finish, with "Open on exit".
        wiz->Close();
    });
}

void quick() {
    on("progress first", [] { return current_id() != 0; }, [] {
        check(current_id() == wiz_progress_id, "quick launch opens on the progress page");
        check(!back_enabled(), "quick launch: no way back");
        screenshot("progress");
    });
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("Wizard has converted", 0) == 0,
              "success text");
        screenshot("finish");
        click(wxID_FORWARD);
    });
}

// A quick launch whose profile names no destination writes beside the
// source, never into the destination saved from the last session.
void quick_default() {
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("Wizard has converted", 0) == 0,
              "success text");
        click(wxID_FORWARD);
    });
}

// "Save Settings..." through a link another user planted in a shared folder
// is refused; an existing profile is replaced only after the question.
void save_settings() {
    on("finish", page_is(wiz_finish_id), [] {
        const std::string work = env("TBX_GUI_WORK");
        const std::string planted = work + "/shared/saved.tbx", kept = work + "/kept.tbx";
        // Even after Yes to the replace question the link is not followed.
        hook->answers.push_back({"file", wxID_OK, planted, ""});
        hook->answers.push_back({"message", wxID_YES, "", planted + " already exists.\nDo you want to replace it?"});
        hook->answers.push_back({"message", wxID_OK, "", "The settings could not be saved to " + planted + "."});
        click_ctrl(gui_finish_page_ex::id_save);
        const std::string question = kept + " already exists.\nDo you want to replace it?";
        hook->answers.push_back({"file", wxID_OK, kept, ""});
        hook->answers.push_back({"message", wxID_NO, "", question});
        click_ctrl(gui_finish_page_ex::id_save);
        check(hook->answers.empty(), "no replace question");
        check(std::ifstream(kept).peek() == 'o', "No replaced the profile");
        hook->answers.push_back({"file", wxID_OK, kept, ""});
        hook->answers.push_back({"message", wxID_YES, "", question});
        click_ctrl(gui_finish_page_ex::id_save);
        click(wxID_FORWARD);
    });
}

void cancel_run() {
    // The run is held in its second page (see the seams above): Cancel stops
    // it between pages and waits for the worker.
    hold_second_page = true;
    on("progress", [] {
        return current_id() == wiz_progress_id && pages_played.load() >= 2 &&
               text_of(wiz_progress_id, progress_page::id_line) == "Processing page 2 of 3";
    }, [] {
        auto* progress = static_cast<progress_page*>(wiz->page(wiz_progress_id)->logic());
        auto* bar = dynamic_cast<wxGauge*>(wiz->page(wiz_progress_id)->ctrl(progress_page::id_bar));
        check(bar && bar->GetValue() == 33, "progress bar at a third");
        check(!back_enabled() && !next_enabled() && button(wxID_CANCEL)->IsEnabled(), "progress buttons");
        screenshot("progress");
        check(!progress->worker_finished(), "the held run ended by itself");
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_YES, "Are you sure you want to exit the wizard?"));
        check(progress->worker_finished(), "Cancel returned before the worker ended");
        check(!wiz_job::instance().succeeded(), "a cancelled run reports success");
        check(wiz_job::instance().pages_done() == 1, "the run went on after Cancel");
    });
}

// The question stays open until the run has come to its workbook.
class answer_when_run_ended : public wxExpectModalBase<wx_message_box> {
protected:
    int OnInvoked(wx_message_box* dlg) const override {
        if (wx_utf8(dlg->text()) != "Are you sure you want to exit the wizard?")
            fail("question text: " + wx_utf8(dlg->text()));
        question_open = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!at_result && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        check(at_result, "the run did not come to its workbook");
        check(!saved_while_asking, "the workbook was written while the cancel question was open");
        return wxID_YES;
    }
};

void late_yes() {
    hold_second_page = true;
    on("progress", [] { return current_id() == wiz_progress_id && pages_played.load() >= 2; }, [] {
        wxTEST_DIALOG(click(wxID_CANCEL), answer_when_run_ended());
        check(!wiz_job::instance().succeeded(), "Yes came late, and the run reports success");
    });
}

// The open modal dialog of a type, if any.
template <class D>
D* open_dialog() {
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* d = dynamic_cast<D*>(w))
            if (d->IsModal()) return d;
    return nullptr;
}

std::thread reporter;
std::atomic<bool> reported{false};

// Reports an exception from another thread, as the conversion's worker does.
void report_from_worker(tk_exception e) {
    reported = false;
    reporter = std::thread([e] {
        error_handler::instance().handle(e, 1);
        reported = true;
    });
}

void warning_dialog() {
    on("welcome", page_is(wiz_welcome_id), [] { report_from_worker(tk_exception("Careful\nnow", tk_level_warning)); });
    on("continue dialog", [] { return open_dialog<wx_continue_dialog>() != nullptr; }, [] {
        auto* d = open_dialog<wx_continue_dialog>();
        check(wx_utf8(d->GetTitle()) == "Tabrixa 2.5 Error", "dialog caption " + wx_utf8(d->GetTitle()));
        auto* text = dynamic_cast<wxStaticText*>(d->FindWindow(1320));
        check(text && wx_utf8(text->GetLabel()) == "Careful now", "dialog text");
        auto* box = dynamic_cast<wxCheckBox*>(d->FindWindow(1222));
        box->SetValue(true);
        screenshot("continue", d);
        click_in(d, wxID_CANCEL);  // "Continue"
    });
    on("quiet", [] { return reported.load(); }, [] {
        reporter.join();
        check(wizard_shell::instance().errors() == std::vector<std::string>{"Careful now"}, "listed");
        // Silenced: the next warning shows nothing and returns at once.
        report_from_worker(tk_exception("Again", tk_level_warning));
    });
    on("no dialog", [] { return reported.load(); }, [] {
        reporter.join();
        check(wizard_shell::instance().errors().size() == 2, "second warning listed");
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_YES, "Are you sure you want to exit the wizard?"));
    });
}

void internal_dialog() {
    on("welcome", page_is(wiz_welcome_id), [] { report_from_worker(tk_mail_assertion("tbx_conv", 124)); });
    on("internal dialog", [] { return open_dialog<wx_internal_dialog>() != nullptr; }, [] {
        auto* d = open_dialog<wx_internal_dialog>();
        check(d->FindWindow(1112) && d->FindWindow(wxID_OK) && d->FindWindow(1108), "three buttons");
        // Escape does not close it.
        wxKeyEvent esc(wxEVT_CHAR_HOOK);
        esc.m_keyCode = WXK_ESCAPE;
        esc.SetEventObject(d);
        d->GetEventHandler()->ProcessEvent(esc);
        check(d->IsModal(), "Escape closed the internal-error dialog");
        screenshot("internal", d);
        // The process ends inside the click: report what failed so far now.
        if (!failures.empty()) ::_exit(1);
        std::fflush(stderr);
        // "Copy to clipboard"; then the process ends with -1.
        click_in(d, 1108);
    });
}

// ------------------------------------------------------------ questions

bool asking = false;  // a question's handler is running (its box may be open)

// A question asked for real (from the event loop, so that its box shows) and
// answered twice, by Escape and by the box's close box: each time No, so that
// kept() holds afterwards.
void answered_no_twice(const std::string& name, const std::string& text, std::function<void()> ask,
                       std::function<void()> kept) {
    for (const bool escape : {true, false}) {
        const std::string how = escape ? "Escape" : "the close box";
        on(name + ": asked", [] { return !asking; }, [ask] {
            asking = true;
            wxTheApp->CallAfter([ask] {
                ask();
                asking = false;
            });
        });
        on(name + ": " + how, [] { return open_dialog<wx_message_box>() != nullptr; }, [=] {
            wx_message_box* box = open_dialog<wx_message_box>();
            check(wx_utf8(box->text()) == text, name + ": the question reads " + wx_utf8(box->text()));
            if (escape) {
                // A real key press, as the user makes it.
                box->Raise();
                box->SetFocus();
                wxUIActionSimulator().Char(WXK_ESCAPE);
            } else {
                // What the window manager's close box does.
                box->Close();
            }
        });
        on(name + ": after " + how, [] { return !asking; }, [=] {
            check(open_dialog<wx_message_box>() == nullptr, name + ": " + how + " left the question open");
            kept();
        });
    }
}

std::string file_text(const std::string& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Escape and the close box answer No to every question; "Pages" with an
// empty field is refused.
void questions() {
    const std::string src = env("TBX_GUI_SRC"), dest = env("TBX_GUI_DEST");
    const std::string kept = env("TBX_GUI_WORK") + "/kept.tbx";
    on("welcome shown", page_is(wiz_welcome_id), [] {});
    answered_no_twice("exit", "Are you sure you want to exit the wizard?", [] { click(wxID_CANCEL); }, [] {
        check(current_id() == wiz_welcome_id && wiz->IsShown(), "No to the exit question ended the wizard");
    });
    on("welcome", page_is(wiz_welcome_id), [] { click(wxID_FORWARD); });
    on("files", page_is(wiz_files_id), [src, dest] {
        edit(wiz_files_id, sel_file_page::id_source)->SetValue(wx_text(src));
        edit(wiz_files_id, sel_file_page::id_dest)->SetValue(wx_text(dest));
    });
    answered_no_twice("overwrite", "Destination file already exists. Overwrite?", [] { click(wxID_FORWARD); },
                      [dest] {
                          check(current_id() == wiz_files_id, "No to the overwrite question left the file page");
                          check(file_text(dest) == "old", "No to the overwrite question touched the workbook");
                      });
    on("overwrite: Yes", [] { return !asking; }, [] {
        wxTEST_DIALOG(click(wxID_FORWARD), expect_message(wxID_YES, "Destination file already exists. Overwrite?"));
    });
    on("settings", page_is(wiz_settings_id), [] {
        // "Pages" and an empty field: refused, and the field has the focus again.
        auto* list = dynamic_cast<wxRadioButton*>(wiz->page(wiz_settings_id)->ctrl(settings_page::id_list));
        list->SetValue(true);
        send(list, wxEVT_RADIOBUTTON);
        wxTextCtrl* pages = edit(wiz_settings_id, settings_page::id_pages);
        pages->SetValue("");
        button(wxID_FORWARD)->SetFocus();
        hook->answers.push_back(
            {"message", wxID_OK, "", "You should enter the pages to convert (for example: 1,3,5-10), or choose All."});
        click(wxID_FORWARD);
        check(current_id() == wiz_settings_id, "an empty page list left the settings page");
        check(wxWindow::FindFocus() == pages, "the focus is not back in the page field");
        pages->SetValue("1-3");
        click(wxID_FORWARD);
    });
    on("finish shown", page_is(wiz_finish_id), [] {});
    answered_no_twice(
        "replace profile", kept + " already exists.\nDo you want to replace it?",
        [kept] {
            hook->answers.push_back({"file", wxID_OK, kept, ""});
            click_ctrl(gui_finish_page_ex::id_save);
        },
        [kept] { check(file_text(kept) == "old profile\n", "No to the replace question replaced the profile"); });
    on("finish", [] { return !asking && current_id() == wiz_finish_id; }, [] { click(wxID_FORWARD); });
}

void bad_password() {
    // The run's error box comes from the worker: answered by the hook.
    hook->answers.push_back({"message", wxID_OK, "", "Incorrect password"});
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_title) == "Conversion Failed", "failure title");
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_text).rfind("The conversion failed", 0) == 0,
              "failure text");
        const std::string list = text_of(wiz_finish_id, gui_finish_page_ex::id_errors);
        check(list.find("Incorrect password") != std::string::npos, "error list: " + list);
        check(wiz->page(wiz_finish_id)->ctrl(gui_finish_page_ex::id_errors)->IsShown(), "list shown");
        check(!wiz->page(wiz_finish_id)->ctrl(gui_finish_page_ex::id_open)->IsShown(), "open hidden");
        screenshot("finish");
        click(wxID_FORWARD);
    });
}

// The finish page after five warnings: the list and the hint beside each
// other; then a box with a 200-character path, wrapped at the screen's width.
void many_warnings() {
    // The run's five warnings, each answered Continue.
    for (int i = 0; i < 5; ++i) hook->answers.push_back({"continue", wiz_answer_continue, "", ""});
    on("finish", page_is(wiz_finish_id), [] {
        check(text_of(wiz_finish_id, gui_finish_page_ex::id_title) == "Conversion is Completed", "written");
        const std::string list = text_of(wiz_finish_id, gui_finish_page_ex::id_errors);
        for (int page = 2; page <= 6; ++page)
            check(list.find("Page " + std::to_string(page) + " cannot be read") != std::string::npos,
                  "warning of page " + std::to_string(page) + " listed: " + list);
        wx_page* finish = wiz->page(wiz_finish_id);
        wxWindow* errors = finish->ctrl(gui_finish_page_ex::id_errors);
        wxWindow* hint = finish->ctrl(gui_finish_page_ex::id_hint);
        wxWindow* open = finish->ctrl(gui_finish_page_ex::id_open);
        check(errors->IsShown() && hint->IsShown() && open->IsShown(), "list, hint and Open on exit shown");
        // The hint as tall as its text needs, below the list, above the box.
        const wxRect hint_rect(hint->GetPosition(), hint->GetBestSize());
        check(errors->GetRect().GetBottom() < hint_rect.GetTop(), "the hint covers the warnings list");
        check(hint_rect.GetBottom() < open->GetRect().GetTop(), "the hint covers Open on exit");
        screenshot("finish");
        std::string path = "/srv/shared/";
        for (char c : {'a', 'b', 'c'}) path += std::string(60, c) + "/";
        path += "report.xls";
        check(path.size() >= 200, "the path is " + std::to_string(path.size()) + " characters long");
        report_from_worker(tk_exception("Cannot write '" + path + "': Permission denied", tk_level_error));
    });
    on("long path", [] { return open_dialog<wx_message_box>() != nullptr; }, [] {
        wx_message_box* box = open_dialog<wx_message_box>();
        // On the screen as a whole, and every character of the text shown.
        const wxRect screen = wxDisplay(static_cast<unsigned>(std::max(0, wxDisplay::GetFromWindow(box)))).GetGeometry();
        check(screen.Contains(box->GetScreenRect()), "the box is wider than the screen: " +
                                                         std::to_string(box->GetScreenRect().width) + " px");
        // (The window system keeps a box on the screen by cutting it.)
        std::string shown;
        for (wxWindow* w : box->GetChildren())
            if (auto* t = dynamic_cast<wxStaticText*>(w)) {
                shown += wx_utf8(t->GetLabel());
                check(t->GetPosition().x + t->GetBestSize().x <= box->GetClientSize().x,
                      "a line of the box is cut: " + wx_utf8(t->GetLabel()));
            }
        const auto squeeze = [](std::string s) {
            s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\n'; }), s.end());
            return s;
        };
        check(squeeze(shown) == squeeze(wx_utf8(box->text())), "the box shows " + shown);
        screenshot("long-path", box);
        click_in(box, wxID_OK);
    });
    on("end", [] { return reported.load(); }, [] {
        reporter.join();
        click(wxID_FORWARD);
    });
}

// A page that refuses its activation while told to.
struct refusing_page : wizard_page {
    static constexpr int page_id = 900, after_id = 901;
    bool refuse = true;
    int tries = 0;
    explicit refusing_page(int id = page_id, bool refusing = true)
        : wizard_page(id, wizb_back | wizb_next, wiz_page_has_help), refuse(refusing) {}
    bool page_init() override {
        ++tries;
        return !refuse;
    }
};
refusing_page* refusing = nullptr;
refusing_page* refusing_last = nullptr;

void refuse() {
    on("welcome", page_is(wiz_welcome_id), [] { click(wxID_FORWARD); });
    on("passed over going on", page_is(refusing_page::after_id), [] {
        check(refusing->tries == 1, "the refusing page was asked " + std::to_string(refusing->tries) + " times");
        check(refusing_last->tries == 1, "the last page was asked " + std::to_string(refusing_last->tries) + " times");
        click(wxID_BACKWARD);
    });
    on("passed over going back", [] { return current_id() == wiz_welcome_id && refusing->tries == 2; }, [] {
        refusing->refuse = false;
        click(wxID_FORWARD);
    });
    on("accepted", page_is(refusing_page::page_id), [] {
        check(refusing->tries == 3, "accepted at the third try");
        // Now both it and the last page refuse: Next finds no page and the
        // wizard stops on the page it came from.
        refusing->refuse = true;
        refusing_last->refuse = true;
        click(wxID_FORWARD);
    });
    on("back where it came from", [] { return refusing->tries == 4 && refusing_last->tries == 2; }, [] {
        check(current_id() == refusing_page::page_id, "the wizard went on to page " + std::to_string(current_id()));
        wxTEST_DIALOG(click(wxID_CANCEL), expect_message(wxID_YES, "Are you sure you want to exit the wizard?"));
    });
}

// The real windows over pages of the test's own: the welcome page, one that
// refuses while told to, and a last one.
int run_refusing_wizard(int argc, char** argv) {
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
    {
        wx_ui ui;
        wizard_shell shell("Tabrixa 2.5", wiz_art_icon, wiz_art_watermark, wiz_art_header);
        welcome_page welcome;
        refusing_page middle;
        refusing_page last(refusing_page::after_id, false);
        refusing = &middle;
        refusing_last = &last;
        shell.add_page(&welcome);
        shell.add_page(&middle);
        shell.add_page(&last);
        auto* w = new wx_wizard(nullptr, shell);
        ui.attach(w);
        tabwiz_on_created(*w);
        w->run();
        ui.attach(nullptr);
        delete w;
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
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
    hook = new scripted_hook;
    hook->Register();
    // Quick launches that cannot start: an error box, and no wizard.
    if (scenario == "missing")
        hook->answers.push_back(
            {"message", wxID_OK, "", "Profile does not exist. Please verify the correct path/name was given."});
    if (scenario == "nosource") hook->answers.push_back({"message", wxID_OK, "", "You should specify source file"});
    if (scenario == "garbage")
        hook->answers.push_back(
            {"message", wxID_OK, "", tk_text(tk_txt_profile_no_section, env("TBX_GUI_WORK") + "/garbage.tbx")});
    // A pipe is refused at once: opening it would wait for a writer for ever.
    if (scenario == "fifo")
        hook->answers.push_back(
            {"message", wxID_OK, "", tk_text(tk_txt_profile_special, env("TBX_GUI_WORK") + "/fifo.tbx")});
    stepper* timer = nullptr;  // timers need the application: made once it exists
    tabwiz_on_created = [&timer](wx_wizard& w) {
        timer = new stepper;
        wiz = &w;
        wxInitAllImageHandlers();
        if (scenario == "smoke") smoke();
        else if (scenario == "convert") convert();
        else if (scenario == "quick") quick();
        else if (scenario == "quickdefault") quick_default();
        else if (scenario == "save") save_settings();
        else if (scenario == "badpass") bad_password();
        else if (scenario == "cancel") cancel_run();
        else if (scenario == "late") late_yes();
        else if (scenario == "warning") warning_dialog();
        else if (scenario == "internal") internal_dialog();
        else if (scenario == "refuse") refuse();
        else if (scenario == "questions") questions();
        else if (scenario == "manywarnings") many_warnings();
        else if (scenario == "missing" || scenario == "nosource" || scenario == "garbage" || scenario == "fifo") {
            fail("the wizard opened for a quick launch that cannot start");
            ::_exit(1);
        } else fail("unknown scenario " + scenario);
        timer->Start(20);
        // A scenario that hangs is a failure, not a stuck test.
        static wxTimer watchdog;
        watchdog.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
            fail("timed out waiting for: " + (steps.empty() ? std::string("the end") : steps.front().name));
            std::fflush(stderr);
            ::_exit(3);
        });
        watchdog.StartOnce(60000);
    };
    const int rc = scenario == "refuse" ? run_refusing_wizard(argc, argv) : tabwiz_main(argc, argv);
    if (scenario == "missing" || scenario == "nosource" || scenario == "garbage" || scenario == "fifo")
        check(wiz == nullptr, "the wizard opened");
    // "Open on exit" is on for a new user: only a written workbook is opened.
    const bool written =
        scenario == "convert" || scenario == "quick" || scenario == "save" || scenario == "questions" ||
                         scenario == "manywarnings";
    std::vector<std::string> expected_open;
    if (scenario == "convert") expected_open.push_back(wizard_shell::help_folder() + "/1013.html");
    if (written) expected_open.push_back(env("TBX_GUI_DEST"));
    if (scenario == "quickdefault") {
        const std::string src = env("TBX_GUI_SRC");
        expected_open.push_back(src.substr(0, src.rfind('.')) + ".xls");
    }
    check(opened == expected_open, "opened " + std::to_string(opened.size()) + " document(s)");
    wizard_gone = true;
    if (timer) timer->Stop();
    if (!steps.empty()) fail("steps left: " + steps.front().name);
    if (hook && !hook->answers.empty()) fail("dialog never shown: " + hook->answers.front().expect);
    if (rc != 0) fail("exit code " + std::to_string(rc));
    std::fprintf(stderr, "%s: %zu failure(s)\n", scenario.c_str(), failures.size());
    return failures.empty() ? 0 : 1;
}
