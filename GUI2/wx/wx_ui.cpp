#include "GUI2/wx/wx_ui.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/hyperlink.h>
#include <wx/iconbndl.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/wx/wx_art.h"
#include "TK/tk_except.h"
#include "platform/plat_shell.h"

wxString wx_text(const std::string& utf8) { return wxString::FromUTF8(utf8.c_str()); }
std::string wx_utf8(const wxString& text) { return std::string(text.utf8_str()); }

namespace {
// Page positions are in dialog units of a sheet whose left 115 units held a
// picture (pages without header) or a margin of 22; the wizard draws its own
// picture beside the page, so those margins go.
int page_left_margin(const wizard_page& page) { return (page.flags() & wiz_page_hide_header) ? 110 : 17; }
constexpr int header_height = 26;  // dialog units taken by a header title and subtitle
}  // namespace

// ------------------------------------------------------------ dialogs

namespace {
// Both own dialogs open with the error icon beside the message (control 1320);
// returns the dialog's top sizer with that row in it.
wxBoxSizer* error_icon_and_text(wxDialog* dialog, const wxString& text) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticBitmap(dialog, wxID_ANY, wxArtProvider::GetBitmap(wxART_ERROR, wxART_MESSAGE_BOX)), 0,
             wxALL, 10);
    auto* label = new wxStaticText(dialog, 1320, text);
    label->Wrap(dialog->ConvertDialogToPixels(wxSize(192, 0)).x);
    row->Add(label, 1, wxALL | wxEXPAND, 10);
    top->Add(row, 1, wxEXPAND);
    return top;
}
}  // namespace

wx_continue_dialog::wx_continue_dialog(wxWindow* parent, const wxString& caption, const wxString& text)
    : wxDialog(parent, wxID_ANY, caption) {
    wxBoxSizer* top = error_icon_and_text(this, text);
    check_ = new wxCheckBox(this, 1222, "&Do not show this dialog box again");
    top->Add(check_, 0, wxLEFT | wxRIGHT, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* cont = new wxButton(this, wxID_CANCEL, "Continue");
    auto* abort = new wxButton(this, wxID_ABORT, "Abort");
    buttons->Add(cont, 0, wxALL, 5);
    buttons->Add(abort, 0, wxALL, 5);
    top->Add(buttons, 0, wxALIGN_CENTRE | wxALL, 5);
    cont->SetDefault();
    SetEscapeId(wxID_CANCEL);
    abort->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wiz_answer_ok); });
    cont->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wiz_answer_continue); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { EndModal(wiz_answer_continue); });
    SetSizerAndFit(top);
    CentreOnParent();
}

bool wx_continue_dialog::dont_show() const { return check_->GetValue(); }

wx_internal_dialog::wx_internal_dialog(wxWindow* parent, const wxString& caption, const wxString& text)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSTAY_ON_TOP) {
    wxBoxSizer* top = error_icon_and_text(this, text);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* send = new wxButton(this, 1112, "Send bug");
    auto* ok = new wxButton(this, wxID_OK, "OK");
    auto* copy = new wxButton(this, 1108, "Copy to clipboard");
    buttons->Add(send, 0, wxALL, 5);
    buttons->Add(ok, 0, wxALL, 5);
    buttons->Add(copy, 0, wxALL, 5);
    top->Add(buttons, 0, wxALIGN_CENTRE | wxALL, 5);
    send->SetDefault();
    // Only the three buttons close it: no Escape, no close box.
    SetEscapeId(wxID_NONE);
    Bind(wxEVT_CLOSE_WINDOW, [](wxCloseEvent& e) { e.Veto(); });
    send->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wiz_answer_send); });
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wiz_answer_ok); });
    copy->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wiz_answer_copy); });
    SetSizerAndFit(top);
    CentreOnParent();
    Raise();
}

// ------------------------------------------------------------ pages

wx_page::wx_page(wx_wizard* parent, wizard_page* logic, const wxBitmapBundle& picture)
    : wxWizardPageSimple(parent, nullptr, nullptr, picture), logic_(logic) {
    build();
}

wxWindow* wx_page::ctrl(int id) const {
    auto it = ctrls_.find(id);
    return it == ctrls_.end() ? nullptr : it->second;
}

void wx_page::notify(int ctrl, wiz_notify code) {
    static_cast<wx_wizard*>(GetParent())->guard([&] { logic_->on_command(ctrl, code); });
}

void wx_page::build() {
    const int left = page_left_margin(*logic_);
    int top = 0;
    if (!logic_->header_title().empty()) {
        auto* title = new wxStaticText(this, wxID_ANY, wx_text(logic_->header_title()),
                                       ConvertDialogToPixels(wxPoint(0, 0)));
        wxFont bold = title->GetFont();
        bold.SetWeight(wxFONTWEIGHT_BOLD);
        title->SetFont(bold);
        title->SetSize(title->GetTextExtent(title->GetLabel()) + wxSize(4, 2));
        new wxStaticText(this, wxID_ANY, wx_text(logic_->header_subtitle()), ConvertDialogToPixels(wxPoint(8, 10)));
        top = header_height;
    }
    wxStaticText* last_label = nullptr;
    for (const wiz_ctrl_desc& d : logic_->controls()) {
        const wxPoint pos = ConvertDialogToPixels(wxPoint(d.x - left, d.y + top));
        const wxSize size = ConvertDialogToPixels(wxSize(d.w, d.h));
        const wxWindowID id = d.id < 0 ? wxID_ANY : d.id;
        const wxString text = wx_text(d.text);
        wxWindow* w = nullptr;
        switch (d.kind) {
            case wiz_ctrl_kind::label:
                w = last_label = new wxStaticText(this, id, text, pos, size);
                break;
            case wiz_ctrl_kind::title: {
                auto* t = new wxStaticText(this, id, text, pos, size);
                wxFont f = t->GetFont();
                f.SetPointSize(13);
                t->SetFont(f);
                t->SetInitialSize(size);
                w = t;
                break;
            }
            case wiz_ctrl_kind::centred:
                w = new wxStaticText(this, id, text, pos, size, wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
                break;
            case wiz_ctrl_kind::group:
                w = new wxStaticBox(this, id, text, pos, size);
                break;
            case wiz_ctrl_kind::button:
                w = new wxButton(this, id, text, pos, size);
                w->Bind(wxEVT_BUTTON, [this, id = d.id](wxCommandEvent&) { notify(id, wiz_notify::clicked); });
                break;
            case wiz_ctrl_kind::checkbox: {
                auto* c = new wxCheckBox(this, id, text, pos, size);
                // A plain check box: the page toggles it itself, so undo wx's toggle first.
                c->Bind(wxEVT_CHECKBOX, [this, c, id = d.id](wxCommandEvent&) {
                    c->SetValue(!c->GetValue());
                    notify(id, wiz_notify::clicked);
                });
                w = c;
                break;
            }
            case wiz_ctrl_kind::radio_first:
            case wiz_ctrl_kind::radio:
                w = new wxRadioButton(this, id, text, pos, size, d.kind == wiz_ctrl_kind::radio_first ? wxRB_GROUP : 0);
                w->Bind(wxEVT_RADIOBUTTON, [this, id = d.id](wxCommandEvent&) { notify(id, wiz_notify::clicked); });
                break;
            case wiz_ctrl_kind::edit:
            case wiz_ctrl_kind::password:
            case wiz_ctrl_kind::multiline: {
                long style = d.kind == wiz_ctrl_kind::password ? wxTE_PASSWORD
                             : d.kind == wiz_ctrl_kind::multiline ? (wxTE_MULTILINE | wxVSCROLL)
                                                                  : 0L;
                w = new wxTextCtrl(this, id, wxString(), pos, size, style);
                w->Bind(wxEVT_KILL_FOCUS, [this, id = d.id](wxFocusEvent& e) {
                    e.Skip();
                    notify(id, wiz_notify::kill_focus);
                });
                w->Bind(wxEVT_SET_FOCUS, [this, id = d.id](wxFocusEvent& e) {
                    e.Skip();
                    notify(id, wiz_notify::set_focus);
                });
                break;
            }
            case wiz_ctrl_kind::progress:
                w = new wxGauge(this, id, 100, pos, size);
                break;
            case wiz_ctrl_kind::hyperlink: {
                const std::size_t bar = d.text.find('|');
                const std::string label = d.text.substr(0, bar);
                const std::string url = bar == std::string::npos ? label : d.text.substr(bar + 1);
                // Its text starts at its left edge (the toolkit centres it in
                // its box), right after a label that ends the same row.
                wxPoint at = pos;
                if (last_label && last_label->GetPosition().y == pos.y) {
                    const int after = last_label->GetPosition().x + last_label->GetTextExtent(last_label->GetLabel()).x +
                                      last_label->GetTextExtent(" ").x;
                    if (after < pos.x) at.x = after;
                }
                auto* link = new wxHyperlinkCtrl(this, id, wx_text(label), wx_text(url), at, size,
                                                 wxHL_CONTEXTMENU | wxNO_BORDER | wxHL_ALIGN_LEFT);
                link->Bind(wxEVT_HYPERLINK, [this, url](wxHyperlinkEvent&) {
                    static_cast<wx_wizard*>(GetParent())->guard([&] { wizard_shell::instance().open_external(url); });
                });
                w = link;
                break;
            }
        }
        if (!w) continue;
        // A box or button lower than the toolkit's own minimum would be cut.
        const bool boxed = d.kind == wiz_ctrl_kind::checkbox || d.kind == wiz_ctrl_kind::radio_first ||
                           d.kind == wiz_ctrl_kind::radio || d.kind == wiz_ctrl_kind::button;
        if (boxed && w->GetBestSize().y > size.y) w->SetSize(wxSize(size.x, w->GetBestSize().y));
        if (d.hidden) w->Hide();
        if (d.id >= 0) ctrls_[d.id] = w;
    }
}

// ------------------------------------------------------------ the sheet

wx_wizard::wx_wizard(wxWindow* parent, wizard_shell& shell) : timer_(this, wizard_shell::timer_id) {
    SetExtraStyle(wxWIZARD_EX_HELPBUTTON);
    // The wizard shows one picture beside each page, in a column sized by
    // the wizard's own picture: the watermark, the largest of them. The
    // header picture of an inner page sits at the top of that column.
    Create(parent, wxID_ANY, wx_text(shell.title()), wx_artwork(shell.watermark_id()));
    wx_page* prev = nullptr;
    for (wizard_page* logic : shell.pages()) {
        auto* page = new wx_page(this, logic, wx_artwork(shell.picture_of(*logic)));
        pages_[logic->id()] = page;
        order_.push_back(page);
        if (prev) wxWizardPageSimple::Chain(prev, page);
        prev = page;
    }
    for (wx_page* p : order_) GetPageAreaSizer()->Add(p);

    Bind(wxEVT_WIZARD_BEFORE_PAGE_CHANGED, &wx_wizard::on_before_change, this);
    Bind(wxEVT_WIZARD_PAGE_SHOWN, &wx_wizard::on_shown, this);
    Bind(wxEVT_WIZARD_CANCEL, &wx_wizard::on_cancel, this);
    Bind(wxEVT_WIZARD_HELP, &wx_wizard::on_help, this);
    Bind(wxEVT_CHAR_HOOK, &wx_wizard::on_key, this);
    Bind(wxEVT_HELP, [this](wxHelpEvent&) { help(); });
    Bind(wxEVT_CLOSE_WINDOW, &wx_wizard::on_close, this);
    Bind(wxEVT_TIMER, &wx_wizard::on_timer, this, wizard_shell::timer_id);
}

wx_wizard::~wx_wizard() { timer_.Stop(); }

wx_page* wx_wizard::page(int dialog_id) const {
    auto it = pages_.find(dialog_id);
    return it == pages_.end() ? nullptr : it->second;
}

wx_page* wx_wizard::current() const { return static_cast<wx_page*>(GetCurrentPage()); }

void wx_wizard::fail(std::exception_ptr error) {
    if (!error_) error_ = error;
    if (IsModal()) EndModal(wxID_ABORT);
}

int wx_wizard::run() {
    if (order_.empty()) return wxID_CANCEL;
    const bool done = RunWizard(order_.front());
    if (error_) std::rethrow_exception(error_);
    return done ? wxID_OK : wxID_CANCEL;
}

void wx_wizard::set_buttons(unsigned mask) {
    if (wxWindow* back = FindWindow(wxID_BACKWARD)) back->Enable((mask & wizb_back) != 0);
    if (wxWindow* next = FindWindow(wxID_FORWARD)) next->Enable((mask & (wizb_next | wizb_finish)) != 0);
}

void wx_wizard::go_to_page(int dialog_id) {
    if (wx_page* p = page(dialog_id)) ShowPage(p, true);
}

bool wx_wizard::start_timer(int id, int period_ms) {
    if (id != wizard_shell::timer_id) return false;
    return timer_.Start(period_ms);
}

void wx_wizard::stop_timer(int id) {
    if (id == wizard_shell::timer_id) timer_.Stop();
}

void wx_wizard::on_before_change(wxWizardEvent& event) {
    wx_page* p = current();
    if (!p) return;
    wizard_page* logic = p->logic();
    int result = 0;
    guard([&] {
        if (event.GetDirection() && !p->GetNext())
            result = logic->on_finish() ? 0 : -1;
        else
            result = event.GetDirection() ? logic->on_next() : logic->on_back();
    });
    if (error_) {
        event.Veto();
        return;
    }
    if (result == 0) return;
    event.Veto();
    if (result > 0) CallAfter([this, result] { go_to_page(result); });
}

void wx_wizard::on_shown(wxWizardEvent& event) {
    event.Skip();
    wx_page* p = current();
    if (!p) return;
    // The page goes where the picture now shown leaves room for it: a page
    // laid out beside a narrower picture would otherwise keep that place.
    Layout();
    // wx has re-enabled Back by now; the page's own states come last.
    bool accepted = true;
    guard([&] { accepted = p->logic()->on_set_active(); });
    if (error_) return;
    wx_page* from = shown_;
    // Back on the page it came from, the wizard stops there even when that
    // page refuses now: two refusing pages must not pass the wizard to and fro.
    const bool returned = returning_ == p;
    returning_ = nullptr;
    if (accepted || returned) {
        shown_ = p;
        return;
    }
    // A page that refuses its activation is passed over in the direction of
    // travel; with no page there, the wizard returns to the page it came from.
    const bool forward = event.GetDirection();
    wxWizardPage* instead = forward ? p->GetNext() : p->GetPrev();
    bool towards = forward;
    if (!instead) {
        instead = from;
        towards = !forward;
        returning_ = from;
    }
    if (instead) CallAfter([this, instead, towards] { ShowPage(instead, towards); });
}

bool wx_wizard::may_leave() {
    wx_page* p = current();
    bool leave = true;
    if (p) guard([&] { leave = p->logic()->on_cancel(); });
    return leave;
}

void wx_wizard::on_cancel(wxWizardEvent& event) {
    if (!may_leave()) event.Veto();
}

void wx_wizard::on_help(wxWizardEvent&) { help(); }

void wx_wizard::help() {
    if (wx_page* p = current()) guard([&] { p->logic()->on_help(); });
}

void wx_wizard::on_key(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_F1 && event.GetModifiers() == wxMOD_NONE) {
        help();
        return;
    }
    event.Skip();
}

void wx_wizard::on_close(wxCloseEvent& event) {
    // The close box goes through the cancel question even where Cancel is disabled.
    if (!may_leave() && event.CanVeto()) {
        event.Veto();
        return;
    }
    if (IsModal()) EndModal(wxID_CANCEL);
}

void wx_wizard::on_timer(wxTimerEvent& event) {
    guard([&] {
        if (wizard_shell* shell = wizard_shell::find()) shell->on_timer(event.GetId());
    });
}

// ------------------------------------------------------------ the interface

wx_ui::wx_ui() {
    // The desktop's opener tells only later that it found no program: the
    // box then comes through the event loop, while there is a window.
    plat_set_open_failure_handler([](const std::string& target) {
        if (wxTheApp)
            wxTheApp->CallAfter([target] {
                if (wizard_shell::find()) wizard_shell::error(wizard_shell::no_program_text(target));
            });
    });
}

wx_ui::~wx_ui() {
    plat_set_open_failure_handler(nullptr);
    begin_closing();
}

wxWindow* wx_ui::owner() const {
    if (wizard_shell::is_initialized() && wizard_ && wizard_->IsShown()) return wizard_;
    return nullptr;
}

wxWindow* wx_ui::find(int page, int ctrl) const {
    if (!wizard_) return nullptr;
    wx_page* p = wizard_->page(page);
    return p ? p->ctrl(ctrl) : nullptr;
}

namespace {
// What a message box needs beside its text: the icon, the borders and the frame.
constexpr int box_margins = 140;

// The width of the screen the box goes on.
int screen_width(wxWindow* parent) {
    const int index = parent ? wxDisplay::GetFromWindow(parent) : wxNOT_FOUND;
    return wxDisplay(index == wxNOT_FOUND ? 0u : static_cast<unsigned>(index)).GetClientArea().GetWidth();
}

// The longest start of word that fits; at least one character.
size_t longest_fit(const wxString& word, int max_width, const std::function<int(const wxString&)>& measure) {
    size_t lo = 1, hi = word.length();
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (measure(word.Left(mid)) <= max_width) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

// Breaks text into lines no wider than max_width as measure tells: at blanks
// where a line allows, else (a path, a long word) after a '/' or, failing
// that, between characters. Line ends of the text stay.
wxString wrap_text(const wxString& text, int max_width, const std::function<int(const wxString&)>& measure) {
    wxString out;
    const wxArrayString lines = wxSplit(text, '\n', '\0');
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += '\n';
        wxString line;
        bool first = true;
        for (wxString word : wxSplit(lines[i], ' ', '\0')) {
            const wxString joined = first ? word : line + ' ' + word;
            first = false;
            if (measure(joined) <= max_width) {
                line = joined;
                continue;
            }
            if (!line.empty()) out += line + '\n';
            // A word wider than the line (a path): cut after a folder where one
            // ends well into the line, else where the line is full.
            while (measure(word) > max_width) {
                const size_t fit = longest_fit(word, max_width, measure);
                const size_t slash = word.Left(fit).find_last_of('/');
                const size_t cut = slash != wxString::npos && slash + 1 >= fit / 3 ? slash + 1 : fit;
                out += word.Left(cut) + '\n';
                word = word.Mid(cut);
            }
            line = word;
        }
        out += line;
    }
    return out;
}
}  // namespace

wx_message_box::wx_message_box(wxWindow* parent, const wxString& text, const wxString& caption, long style)
    : wxGenericMessageDialog(parent, text, caption, style), text_(text) {
    // Without a Cancel button the box would take the affirmative button (Yes)
    // for Escape and the close box: neither may replace a file or end the wizard.
    if ((style & wxYES_NO) == wxYES_NO && !(style & wxCANCEL)) SetEscapeId(wxID_NO);
    wxScreenDC dc;
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const int room = std::max(screen_width(parent) - wxWindow::FromDIP(box_margins, parent), 100);
    SetMessage(wrap_text(text, room, [&dc](const wxString& s) { return dc.GetTextExtent(s).x; }));
}

void wx_message_box::AddMessageDialogDetails(wxSizer* sizer) {
    // Room for the caption in a bold title font, with the title bar's buttons
    // beside it, as far as the screen is wide.
    wxFont bold = GetFont();
    bold.SetWeight(wxFONTWEIGHT_BOLD);
    int caption = 0;
    GetTextExtent(GetTitle(), &caption, nullptr, nullptr, nullptr, &bold);
    sizer->Add(std::min(caption + FromDIP(120), screen_width(GetParent()) - FromDIP(box_margins)), 0);
}

void wx_ui::show_error(const std::string& caption, const std::string& text) {
    wx_message_box(owner(), wx_text(text), wx_text(caption), wxOK | wxICON_ERROR).ShowModal();
}

void wx_ui::show_message(const std::string& caption, const std::string& text) {
    wx_message_box(owner(), wx_text(text), wx_text(caption), wxOK | wxICON_INFORMATION).ShowModal();
}

bool wx_ui::ask(const std::string& caption, const std::string& text) {
    wx_message_box dlg(owner(), wx_text(text), wx_text(caption), wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
    return dlg.ShowModal() == wxID_YES;
}

int wx_ui::continue_or_abort(const std::string& caption, const std::string& text, bool& dont_show) {
    wx_continue_dialog dlg(owner(), wx_text(caption), wx_text(text));
    const int result = dlg.ShowModal();
    dont_show = dlg.dont_show();
    return result == wiz_answer_ok ? wiz_answer_ok : wiz_answer_continue;
}

int wx_ui::internal_error(const std::string& caption, const std::string& text) {
    wx_internal_dialog dlg(owner(), wx_text(caption), wx_text(text));
    return dlg.ShowModal();
}

bool wx_ui::choose_file(const wiz_file_request& request, std::string& path) {
    wxString wildcard;
    for (const auto& f : request.filters) {
        if (!wildcard.empty()) wildcard += "|";
        wildcard += wx_text(f.first) + "|" + wx_text(wiz_dialog_pattern(f.second));
    }
    const long style = request.save ? wxFD_SAVE : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    wxFileDialog dlg(wizard_, wx_text(request.title), wx_text(request.folder), wx_text(request.name), wildcard,
                     style);
    if (dlg.ShowModal() != wxID_OK) return false;
    wxString chosen = dlg.GetPath();
    // GTK's chooser may report the folder and the name but no path.
    if (chosen.empty() && !dlg.GetFilename().empty())
        chosen = wxFileName(dlg.GetDirectory(), dlg.GetFilename()).GetFullPath();
    path = wx_utf8(chosen);
    return !path.empty();
}

std::string wx_ui::get_text(int page, int ctrl) {
    wxWindow* w = find(page, ctrl);
    if (auto* t = dynamic_cast<wxTextCtrl*>(w)) return wx_utf8(t->GetValue());
    return w ? wx_utf8(w->GetLabel()) : std::string();
}

void wx_ui::set_text(int page, int ctrl, const std::string& text) {
    wxWindow* w = find(page, ctrl);
    if (auto* t = dynamic_cast<wxTextCtrl*>(w))
        t->ChangeValue(wx_text(text));
    else if (auto* s = dynamic_cast<wxStaticText*>(w))
        s->SetLabelText(wx_text(text));
    else if (w)
        w->SetLabel(wx_text(text));
}

void wx_ui::append_text(int page, int ctrl, const std::string& text) {
    if (auto* t = dynamic_cast<wxTextCtrl*>(find(page, ctrl))) {
        t->SetInsertionPointEnd();
        t->WriteText(wx_text(text));
    }
}

bool wx_ui::get_check(int page, int ctrl) {
    wxWindow* w = find(page, ctrl);
    if (auto* c = dynamic_cast<wxCheckBox*>(w)) return c->GetValue();
    if (auto* r = dynamic_cast<wxRadioButton*>(w)) return r->GetValue();
    return false;
}

void wx_ui::set_check(int page, int ctrl, bool on) {
    wxWindow* w = find(page, ctrl);
    if (auto* c = dynamic_cast<wxCheckBox*>(w)) c->SetValue(on);
    if (auto* r = dynamic_cast<wxRadioButton*>(w)) {
        // A radio button cannot be cleared by itself: set one of its group instead.
        if (on) r->SetValue(true);
    }
}

void wx_ui::enable_ctrl(int page, int ctrl, bool enable) {
    if (wxWindow* w = find(page, ctrl)) w->Enable(enable);
}

void wx_ui::focus_ctrl(int page, int ctrl) {
    if (wxWindow* w = find(page, ctrl)) w->SetFocus();
}

void wx_ui::show_ctrl(int page, int ctrl, bool show) {
    if (wxWindow* w = find(page, ctrl)) w->Show(show);
}

void wx_ui::set_read_only(int page, int ctrl, bool on) {
    if (auto* t = dynamic_cast<wxTextCtrl*>(find(page, ctrl))) t->SetEditable(!on);
}

void wx_ui::set_progress(int page, int ctrl, int value) {
    if (auto* g = dynamic_cast<wxGauge*>(find(page, ctrl))) g->SetValue(value < 0 ? 0 : value > 100 ? 100 : value);
}

void wx_ui::set_title(const std::string& title) {
    if (wizard_) {
        wizard_->SetTitle(wx_text(title));
        wizard_->CentreOnScreen();
    }
}

void wx_ui::set_icon(int resource_id) {
    const wxBitmapBundle art = wx_artwork(resource_id);
    if (!wizard_ || !art.IsOk()) return;
    // The system's large-icon size, and the picture's own 48 x 48 beside it
    // for window managers that choose for themselves.
    wxIconBundle icons;
    const wxSize large(wxSystemSettings::GetMetric(wxSYS_ICON_X, wizard_),
                       wxSystemSettings::GetMetric(wxSYS_ICON_Y, wizard_));
    if (large.x > 0 && large.y > 0) icons.AddIcon(art.GetIcon(large));
    icons.AddIcon(art.GetIcon(wxSize(48, 48)));
    wizard_->SetIcons(icons);
}

void wx_ui::set_buttons(unsigned mask) {
    if (wizard_) wizard_->set_buttons(mask);
}

namespace {
int wx_button_id(int id) {
    switch (id) {
        case wiz_id_cancel:
            return wxID_CANCEL;
        case wiz_id_help:
            return wxID_HELP;
        case wiz_id_next:
        case wiz_id_finish:
            return wxID_FORWARD;
        default:
            return id;
    }
}
}  // namespace

void wx_ui::enable_button(int id, bool enable) {
    if (!wizard_) return;
    if (wxWindow* b = wizard_->FindWindow(wx_button_id(id))) b->Enable(enable);
}

void wx_ui::focus_button(int id) {
    if (!wizard_) return;
    if (wxWindow* b = wizard_->FindWindow(wx_button_id(id))) b->SetFocus();
}

void wx_ui::go_to_page(int page) {
    if (wizard_) wizard_->go_to_page(page);
}

bool wx_ui::start_timer(int id, int period_ms) { return wizard_ && wizard_->start_timer(id, period_ms); }

void wx_ui::stop_timer(int id) {
    if (wizard_) wizard_->stop_timer(id);
}

void wx_ui::copy_to_clipboard(const std::string& text) {
    if (!wxTheClipboard->Open()) return;
    wxTheClipboard->SetData(new wxTextDataObject(wx_text(text)));
    // The text stays on the clipboard after the program has ended.
    wxTheClipboard->Flush();
    wxTheClipboard->Close();
}

bool wx_ui::open_document(const std::string& path_or_url) { return plat_open_with_desktop(path_or_url); }

void wx_ui::end_process(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Any thread may end the process here; no destructors run on other threads' objects.
    ::_exit(code & 0xFF);
}

bool wx_ui::on_ui_thread() const { return wxThread::IsMain(); }

void wx_ui::post(std::function<void()> fn) {
    if (wxTheApp) wxTheApp->CallAfter([fn = std::move(fn)] { fn(); });
}
