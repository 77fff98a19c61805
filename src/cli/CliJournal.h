// The commands that read or write the traffic files first fold the journals
// of sessions whose writer is gone (a killed or crashed connect or window)
// into the files, saying so on stderr and in the log.
#pragma once

namespace kvcli {

void FoldSessionJournals();

} // namespace kvcli
