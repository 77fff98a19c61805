// The status report ("korvianet-cli status --json") as the flat dictionary
// GetStatus answers with: each value under the path of its keys joined by
// dots ("signal.1x.dbm"; an array's items by their position), nulls left
// out, empty objects and arrays too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::bus {

struct FlatValue {
    std::string key;
    char type = 's'; // 'x' integer, 't' integer beyond int64, 'd' fraction, 'b', 's'
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    bool b = false;
    std::string s;
};

// False (and nothing in out) when json is not a JSON document, or not an
// object; nesting deeper than 32 levels is refused as well.
bool FlattenStatus(const std::string& json, std::vector<FlatValue>& out);

} // namespace kv::bus
