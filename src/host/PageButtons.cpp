#include "host/PageButtons.h"

#include <algorithm>

namespace kv {

bool IsPageButton(int id)
{
    return std::find(std::begin(kPageButtons), std::end(kPageButtons), id) != std::end(kPageButtons);
}

std::vector<int> PageButtonsShownBy(std::span<const int> set)
{
    std::vector<int> shown;
    for (int id : set)
        if (IsPageButton(id))
            shown.push_back(id);
    return shown;
}

void EnableStartupControls(IDmHost& host, std::span<const int> set)
{
    for (int id : set) {
        host.EnableControl(id, true);
        if (IsPageButton(id))
            host.ShowControl(id, true);
    }
}

void DisablePageButtons(IDmHost& host)
{
    for (int id : kPageButtons)
        host.EnableControl(id, false);
}

void ShowWindowButtons(IDmHost& host)
{
    for (int id : kWindowButtons) {
        host.EnableControl(id, true);
        host.ShowControl(id, true);
    }
}

} // namespace kv
