#include "bus/StatusFlatten.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace kv::bus {

namespace {
constexpr int kDepthMax = 32;

bool Walk(const nlohmann::json& v, const std::string& key, int depth, std::vector<FlatValue>& out)
{
    if (depth > kDepthMax)
        return false;
    const auto join = [&key](const std::string& k) { return key.empty() ? k : key + "." + k; };
    if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it)
            if (!Walk(it.value(), join(it.key()), depth + 1, out))
                return false;
        return true;
    }
    if (v.is_array()) {
        for (size_t n = 0; n < v.size(); ++n)
            if (!Walk(v[n], join(std::to_string(n)), depth + 1, out))
                return false;
        return true;
    }
    if (v.is_null())
        return true;
    FlatValue f;
    f.key = key;
    if (v.is_boolean()) {
        f.type = 'b';
        f.b = v.get<bool>();
    } else if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > uint64_t(std::numeric_limits<int64_t>::max())) {
            f.type = 't';
            f.u = u;
        } else {
            f.type = 'x';
            f.i = int64_t(u);
        }
    } else if (v.is_number_integer()) {
        f.type = 'x';
        f.i = v.get<int64_t>();
    } else if (v.is_number_float()) {
        f.type = 'd';
        f.d = v.get<double>();
    } else {
        f.type = 's';
        f.s = v.get<std::string>();
    }
    out.push_back(std::move(f));
    return true;
}
} // namespace

bool FlattenStatus(const std::string& json, std::vector<FlatValue>& out)
{
    out.clear();
    const nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return false;
    std::vector<FlatValue> flat;
    if (!Walk(doc, "", 0, flat))
        return false;
    out = std::move(flat);
    return true;
}

} // namespace kv::bus
