#include "support/Processes.h"

#include <cstdlib>
#include <fstream>

namespace kvtest {

std::vector<pid_t> PidsIn(const std::string& path)
{
    std::vector<pid_t> pids;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const long v = std::strtol(line.c_str(), nullptr, 10);
        if (v > 1)
            pids.push_back(pid_t(v));
    }
    return pids;
}

bool ProcessRuns(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size())
        return false;
    const char state = text[close + 2];
    return state != 'Z' && state != 'X';
}

} // namespace kvtest
