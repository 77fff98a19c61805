// The database every command that keeps messages, phonebooks or calls works
// on: the user's own copy, made from the template on first use.
#include "cli/CliCommand.h"
#include "data/DbPath.h"

#include <cstdio>

namespace kvcli {

bool PrepareDatabase(std::string& path)
{
    const kv::DbSetupResult r = kv::PrepareUserDatabase();
    path = r.path;
    if (r.Ok())
        return true;
    std::fprintf(stderr, "korvianet-cli: %s\n", r.message.c_str());
    return false;
}

} // namespace kvcli
