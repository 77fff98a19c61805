#include "usage/QuotaEvent.h"

namespace kvusage {

kv::OwnerEvent QuotaWarningEvent(const QuotaNotice& notice)
{
    kv::OwnerEvent e;
    e.kind = kv::OwnerEventKind::QuotaWarning;
    e.percent = notice.percent < 0 ? 0u : uint32_t(notice.percent);
    e.used = notice.used;
    e.quota = notice.quota;
    e.text = notice.text;
    return e;
}

CUsageMeter::QuotaSink QuotaPublisher(kv::COwnerHub& hub)
{
    return [&hub](const QuotaNotice& n) { hub.Publish(QuotaWarningEvent(n)); };
}

} // namespace kvusage
