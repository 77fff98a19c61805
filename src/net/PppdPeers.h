// The root-owned half of a pppd dial. pppd takes the options that make a
// link without asking the peer to authenticate (noauth) and the connect
// script only from files root controls: /etc/ppp/options or a profile read
// with `call` from /etc/ppp/peers. The package installs one profile per dial
// string there, each running one chat script that gets the number through
// chat's own -T substitution, so nothing the user writes reaches a shell.
// The user's half (the phonebook entry: the data tty, the entry's options,
// the account) holds only what pppd lets a user give.
#pragma once

#include <string>

namespace kvnet {

inline constexpr const char* kPppPeersDir = "/etc/ppp/peers";
inline constexpr const char* kChatScriptFile = "/etc/chatscripts/korvianet";
inline constexpr const char* kPeerCdma = "korvianet-cdma"; // dials #777
inline constexpr const char* kPeerGsm = "korvianet-gsm";   // dials *99#

// The profile that dials this number; "" when no profile does.
std::string PeerForDialString(const std::string& number);

} // namespace kvnet
