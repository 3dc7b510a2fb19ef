#include "Limits.h"

void CountEntry(PackTotals& totals, const ZipRecord& record)
{
    ++totals.Entries;
    totals.AllEmpty = totals.AllEmpty && record.UncompressedSize == 0;
    totals.OutputBound +=
        LocalHeaderLength(record) + record.CompressedSize + CentralHeaderLength(record);
}

u64 DeflatedFloor(u64 size)
{
    // A match covers at most 258 bytes and takes at least two bits: one for its length, one
    // for its distance. So 8 x 258 / 2 = 1032 bytes at most per byte written.
    return size / 1032;
}

std::string LimitProblem(const PackTotals& totals)
{
    if (totals.OutputBound >= OutputLimit)
        return OutputLimitProblem;
    if (totals.AllEmpty)
        return totals.Entries == 0 ? "nothing to pack"
                                   : "every entry is empty or a folder; the stub would extract "
                                     "nothing";
    return "";
}
