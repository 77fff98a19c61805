#include "owner/PbOutcome.h"

#include "engine/DmCodes.h"
#include "log/VisibleText.h"
#include "data/DataConstants.h"
#include "owner/StatusReport.h"

namespace kv {

namespace {
const char* PbStorageWord(int type) { return type == kPbookRuim ? "ruim" : "memory"; }
} // namespace

PbOutcome PbChangeOutcome(const CPbookEngine::Change& c, const char* what, int type, int index)
{
    const std::string entry = std::string(PbStorageWord(type)) + " entry " + std::to_string(index);
    if (!c.refusal.empty())
        return {PbOutcome::Refused, c.refusal};
    if (c.result == DM_RESULT_DB_ERROR && c.beforeModem)
        return {PbOutcome::Database, "cannot change " + entry + ": database error: " + VisibleText(c.dbError)
                                         + " (0x7003); nothing was changed on the modem"};
    if (c.result == DM_RESULT_DB_ERROR)
        return {PbOutcome::Database, std::string("the modem ") + what + " " + entry
                                         + ", but the database could not follow: " + VisibleText(c.dbError)
                                         + " (0x7003); the next phonebook read (e.g. 'korvianet-cli pb list') "
                                           "brings the local copy in step"};
    if (c.restored)
        return {PbOutcome::Failed, "the modem did not store the changed " + entry
                                       + "; the old entry was written back: " + ResultText(c.result)};
    if (c.lost)
        return {PbOutcome::Failed, "the modem did not store the changed " + entry
                                       + " and the old entry could not be written back: the entry is gone"
                                         " until the next phonebook read (e.g. 'korvianet-cli pb list')"
                                         " writes it back"};
    if (!c.ok()) {
        std::string msg = std::string("cannot change ") + entry + ": " + ResultText(c.result);
        if (c.result == DM_RESULT_EXCHANGE_FAILED)
            msg += "; the modem may or may not have taken the change ('korvianet-cli pb list' shows it)";
        return {PbOutcome::Result, msg, c.result};
    }
    return {};
}

} // namespace kv
