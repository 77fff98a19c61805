// The database every command that keeps messages, phonebooks or calls works
// on: the user's own copy, made from the template on first use.
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "data/DbPath.h"

#include <cstdio>

namespace kvcli {

bool PrepareDatabase(std::string& path)
{
    const kv::DbSetupResult r = kv::PrepareUserDatabase();
    path = r.path;
    if (r.Ok())
        return true;
    Fail(kExitFailure, r.message);
    return false;
}

} // namespace kvcli
