// Phonebook table reads for new entries.
#include "contacts/PbTable.h"

#include <set>

namespace kv {

namespace {
void CloseCursor(CDaoPbookDb& pb)
{
    try {
        if (pb.IsOpen())
            pb.Close();
    } catch (const CDaoException&) {
    }
}
} // namespace

int PbFreeIndex(CDaoPbookDb& pb, int storageType, std::string* error)
{
    CloseCursor(pb);
    std::set<int32_t> used;
    try {
        pb.Open(CDaoPbookDb::QueryStorage(storageType));
        for (; !pb.IsEOF(); pb.MoveNext())
            used.insert(pb.m_index);
    } catch (const CDaoException& e) {
        if (error)
            *error = e.Description();
        CloseCursor(pb);
        return -1;
    }
    CloseCursor(pb);
    int index = 1;
    while (used.count(index))
        ++index;
    return index;
}

int PbEntryCount(CDaoPbookDb& pb, int storageType, std::string* error)
{
    CloseCursor(pb);
    int count = -1;
    try {
        pb.Open(CDaoPbookDb::QueryStorage(storageType));
        count = int(pb.GetRecordCount());
    } catch (const CDaoException& e) {
        if (error)
            *error = e.Description();
    }
    CloseCursor(pb);
    return count;
}

} // namespace kv
