// The quota warnings as the owner's events: what the desktop notification,
// the hooks and the bus's QuotaWarning signal hear of.
#pragma once

#include "host/OwnerEvents.h"
#include "usage/UsageMeter.h"

namespace kvusage {

kv::OwnerEvent QuotaWarningEvent(const QuotaNotice& notice);

// A sink for CUsageMeter::SetQuotaSink that publishes each warning to hub
// (which must outlive the meter).
CUsageMeter::QuotaSink QuotaPublisher(kv::COwnerHub& hub);

} // namespace kvusage
