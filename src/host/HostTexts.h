// Texts the host core shows, whichever host carries it.
#pragma once

namespace kv::hosttext {

inline constexpr const char* kNoCallEvdoOnly =
    "Cannot call in the EVDO Only mode. Please try different settings !";
inline constexpr const char* kNoSmsEvdoOnly =
    "Cannot send the message in the EVDO Only Mode. Please try different settings!";

} // namespace kv::hosttext
