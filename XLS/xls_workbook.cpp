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
    if (!spill_)
        spill_.reset(new CSpillFile);
    for (; spilled_upto_ < sheets_.size(); ++spilled_upto_)
        if (!sheets_[spilled_upto_]->Spill(*spill_))
            tk_log::write(1, "workbook::SpillSheets: sheet %u stays in memory", static_cast<unsigned>(spilled_upto_));
}

struct workbook::stream_plan {
    std::vector<std::uint8_t> globals;
    std::vector<sheet_records_t*> sheets;
    std::vector<sheet_records_t> in_memory;   // the sheets not spilled
    std::uint64_t size = 0;
};

bool workbook::PlanStream(stream_plan& plan)
{
    std::size_t kept = 0;
    for (auto& sheet : sheets_)
        kept += sheet->Spilled() ? 0 : 1;
    plan.in_memory.reserve(kept);
    std::vector<const xf_t*> used;
    for (auto& sheet : sheets_) {
        sheet_records_t* form = const_cast<sheet_records_t*>(sheet->Spilled());
        if (!form) {
            plan.in_memory.push_back(sheet->MakeRecords());
            form = &plan.in_memory.back();
        }
        plan.sheets.push_back(form);
        used.insert(used.end(), form->xfs.begin(), form->xfs.end());
    }
    CDataStorage out;
    std::vector<std::size_t> boundsheet_at;
    globals_->WriteRecords(out, boundsheet_at, used);
    std::uint64_t at = out.Size();
    for (std::size_t i = 0; i < plan.sheets.size(); ++i) {
        out.SetDwordAt(static_cast<std::uint32_t>(at), boundsheet_at[i]);
        at += plan.sheets[i]->size;
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
    if (out.PutBytes(plan.globals.data(), plan.globals.size()) != 0)
        return -1;
    std::uint64_t at = plan.globals.size();
    std::vector<std::uint8_t> buffer;
    for (sheet_records_t* form : plan.sheets) {
        std::uint8_t* bytes = form->bytes.data();
        if (form->bytes.size() != form->size) {
            // One sheet at a time comes back from the spill file.
            buffer.resize(form->size);
            if (!spill_ || !spill_->Read(form->offset, form->size, buffer.data())) {
                last_error_ = spill_ ? spill_->Error() : "The workbook's temporary file is missing.";
                return -1;
            }
            bytes = buffer.data();
        }
        worksheet::ResolveRecords(bytes, *form, static_cast<std::uint32_t>(at), *globals_);
        if (out.PutBytes(bytes, form->size) != 0)
            return -1;
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
    if (file.Open(file_name) != 0 || doc.WriteCompoundFile(file) != 0 || file.Close() != 0)
        return fail();
    return 0;
}

}  // namespace xls_core
