// The status panel of the main window: the window implements the view and
// paints what the core's status model decides (host/StatusModel.h).
#pragma once

#include "host/StatusModel.h"

namespace kvapp {

using IStatusView = kv::IStatusView;
using CStatusPanel = kv::CStatusModel;

} // namespace kvapp
