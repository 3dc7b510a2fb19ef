#include "Limits.h"

void CountEntry(PackTotals& totals, const ZipRecord& record, u64 size, u64 stored,
                const std::string& shown)
{
    ++totals.Entries;
    if (size >= totals.LargestSize) {
        totals.LargestSize = size;
        totals.LargestName = shown;
    }
    totals.TotalSize += size;
    totals.AllEmpty = totals.AllEmpty && size == 0;
    totals.OutputBound += LocalHeaderLength(record) + stored + CentralHeaderLength(record);
}

std::string LimitProblem(const PackTotals& totals)
{
    if (totals.Entries > EntryLimit)
        return std::to_string(totals.Entries) + " entries; the stub reads at most 65535";
    if (totals.LargestSize >= SizeLimit)
        return "'" + totals.LargestName + "' is " + std::to_string(totals.LargestSize) +
               " bytes; the stub extracts entries under 2 GiB";
    if (totals.TotalSize >= SizeLimit)
        return "the entries hold " + std::to_string(totals.TotalSize) +
               " bytes in all; the stub extracts under 2 GiB in one archive";
    if (totals.OutputBound >= SizeLimit)
        return "the self-extractor could reach " + std::to_string(totals.OutputBound) +
               " bytes; the stub reads files under 2 GiB";
    if (totals.AllEmpty)
        return totals.Entries == 0 ? "nothing to pack"
                                   : "every entry is empty or a folder; the stub would extract "
                                     "nothing";
    return "";
}
