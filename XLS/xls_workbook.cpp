#include "XLS/xls_workbook.h"

#include <ctime>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_oledoc.h"
#include "XLS/xls_spill.h"
#include "XLS/xls_summary.h"
#include "XLS/xls_unit.h"

namespace xls_core {

const std::string too_many_sheets = "A workbook holds at most " + std::to_string(max_sheets) + " worksheets.";

namespace {

// Case folding of Latin-1 for the uniqueness of sheet names.
std::u16string fold(const std::u16string& s)
{
    std::u16string f = s;
    for (char16_t& c : f)
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c = static_cast<char16_t>(c + 32);
    return f;
}

}  // namespace

workbook::workbook() : globals_(new CGlobalRecords), created_(static_cast<std::int64_t>(std::time(nullptr)))
{
}

workbook::~workbook()
{
    // Cells hold formats and long labels of the globals: sheets go first.
    sheets_.clear();
}

worksheet* workbook::sheet(const std::string& name)
{
    std::u16string wide = widen_latin1(name);
    if (wide.empty() || wide.size() > max_sheet_name)
        throw tk_exception("Invalid worksheet name '" + name + "': a name has 1 to 31 characters.", tk_level_error);
    if (wide.find_first_of(u":\\/?*[]") != std::u16string::npos)
        throw tk_exception("Invalid worksheet name '" + name + "': a name may not hold any of : \\ / ? * [ ].",
                           tk_level_error);
    std::u16string folded = fold(wide);
    if (folded_names_.count(folded))
        throw tk_exception("Invalid worksheet name '" + name + "': the workbook has a sheet of that name.",
                           tk_level_error);
    if (sheets_.size() >= max_sheets)
        throw tk_exception(too_many_sheets, tk_level_error);
    tk_log::write(1, "workbook::sheet(%s)", name.c_str());
    sheets_.emplace_back(new worksheet(*globals_, static_cast<std::uint16_t>(sheets_.size())));
    folded_names_.insert(std::move(folded));
    globals_->AddSheetEntry(wide);
    return sheets_.back().get();
}

worksheet* workbook::GetSheet(std::size_t index) const
{
    return index < sheets_.size() ? sheets_[index].get() : nullptr;
}

void workbook::SpillSheets()
{
    if (!spill_) {
        spill_.reset(new CSpillFile);
        spill_->SetFolder(scratch_folder_);
    }
    spilled_.resize(sheets_.size());
    for (; spilled_upto_ < sheets_.size(); ++spilled_upto_) {
        sheet_records_t form;
        if (!sheets_[spilled_upto_]->Spill(*spill_, form)) {
            tk_log::write(1, "workbook::SpillSheets: sheet %u stays in memory", static_cast<unsigned>(spilled_upto_));
            continue;
        }
        spilled_sheet_t& s = spilled_[spilled_upto_];
        s.offset = form.offset;
        s.size = static_cast<std::uint32_t>(form.size);
        s.xfs = static_cast<std::uint32_t>(form.xfs.size());
        s.overflow = static_cast<std::uint32_t>(form.overflow.size());
        s.serials = static_cast<std::uint32_t>(form.serials.size());
        spilled_xfs_.insert(spilled_xfs_.end(), form.xfs.begin(), form.xfs.end());
        spilled_overflow_.insert(spilled_overflow_.end(), form.overflow.begin(), form.overflow.end());
        spilled_serials_.insert(spilled_serials_.end(), form.serials.begin(), form.serials.end());
        sheets_[spilled_upto_].reset();
    }
}

struct workbook::stream_plan {
    std::vector<std::uint8_t> globals;
    std::vector<sheet_records_t> in_memory;   // of the sheets not spilled, in order
    std::uint64_t size = 0;
};

bool workbook::PlanStream(stream_plan& plan)
{
    std::vector<const xf_t*> used(spilled_xfs_);
    std::vector<std::uint64_t> sizes;
    sizes.reserve(sheets_.size());
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (sheets_[i]) {
            plan.in_memory.push_back(sheets_[i]->MakeRecords());
            const sheet_records_t& form = plan.in_memory.back();
            used.insert(used.end(), form.xfs.begin(), form.xfs.end());
            sizes.push_back(form.size);
        } else {
            sizes.push_back(spilled_[i].size);
        }
    }
    CDataStorage out;
    std::vector<std::size_t> boundsheet_at;
    globals_->WriteRecords(out, boundsheet_at, used);
    std::uint64_t at = out.Size();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        out.SetDwordAt(static_cast<std::uint32_t>(at), boundsheet_at[i]);
        at += sizes[i];
    }
    plan.size = at;
    plan.globals = std::move(out.Bytes());
    if (plan.size > 0xFFFFFFFFull - 2 * 4096 - 1024 * 1024) {
        last_error_ = "The workbook is too large for the file format.";
        return false;
    }
    return true;
}

int workbook::WriteStream(stream_plan& plan, CByteSink& out)
{
    if (spill_released_) {
        last_error_ = "The workbook's sheets were given up by its last write.";
        return -1;
    }
    spill_released_ = final_dump_ && spill_;
    if (out.PutBytes(plan.globals.data(), plan.globals.size()) != 0)
        return -1;
    std::uint64_t at = plan.globals.size();
    std::size_t kept = 0, xfs = 0, overflow = 0, serials = 0;
    sheet_records_t spilled;
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        sheet_records_t* form = nullptr;
        if (sheets_[i]) {
            form = &plan.in_memory[kept++];
        } else {
            // One sheet at a time comes back from the spill file.
            const spilled_sheet_t& s = spilled_[i];
            form = &spilled;
            form->xfs.assign(spilled_xfs_.begin() + xfs, spilled_xfs_.begin() + xfs + s.xfs);
            form->overflow.assign(spilled_overflow_.begin() + overflow,
                                  spilled_overflow_.begin() + overflow + s.overflow);
            form->serials.assign(spilled_serials_.begin() + serials, spilled_serials_.begin() + serials + s.serials);
            xfs += s.xfs;
            overflow += s.overflow;
            serials += s.serials;
            form->size = s.size;
            form->bytes.resize(s.size);
            if (!spill_ || !spill_->Read(s.offset, s.size, form->bytes.data())) {
                last_error_ = spill_ ? spill_->Error() : "The workbook's temporary file is missing.";
                return -1;
            }
        }
        worksheet::ResolveRecords(form->bytes.data(), *form, static_cast<std::uint32_t>(at), *globals_);
        if (out.PutBytes(form->bytes.data(), form->size) != 0)
            return -1;
        // Sheets come back in the order they were spilled: on the last
        // write the workbook grows into the space the spill file had.
        if (!sheets_[i] && final_dump_)
            spill_->Release(spilled_[i].offset + spilled_[i].size);
        at += form->size;
    }
    return 0;
}

std::vector<std::uint8_t> workbook::WorkbookStream()
{
    stream_plan plan;
    CMemorySink out;
    if (!PlanStream(plan) || WriteStream(plan, out) != 0)
        return {};
    return std::move(out.bytes);
}

int workbook::Dump(const std::string& file_name)
{
    tk_log::write(1, "workbook::Dump(%s)", file_name.c_str());
    last_error_.clear();
    if (sheets_.empty()) {
        last_error_ = "The workbook has no worksheet.";
        return -100;
    }
    // Everything but the sheets' records is ready before the file is touched,
    // so that the file exists for as short a time as can be.
    stream_plan plan;
    if (!PlanStream(plan))
        return -1;
    COleDoc doc;
    doc.AddStream("/Workbook", plan.size, [&](CByteSink& out) { return WriteStream(plan, out); });
    doc.AddStream(std::string("\005SummaryInformation"), CSummaryInfo(created_).MakeStream());
    doc.AddStream(std::string("\005DocumentSummaryInformation"), CDocSummaryInfo().MakeStream());

    CBinFile file;
    // Any failure drops the unfinished file; an earlier workbook stays as it was.
    auto fail = [&] {
        if (last_error_.empty())
            last_error_ = file.Error();
        file.Abandon();
        tk_log::write(1, "workbook::Dump: %s", last_error_.c_str());
        return -1;
    };
    if (file.Open(file_name, noted_ ? &*noted_ : nullptr) != 0 || doc.WriteCompoundFile(file) != 0 ||
        file.Close() != 0)
        return fail();
    return 0;
}

void workbook::NoteDestination(const std::string& file_name)
{
    plat_file_place place;
    noted_ = place.locate(file_name) == 0 ? place.identity() : plat_file_id{};
}

}  // namespace xls_core
