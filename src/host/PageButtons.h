// The main window's page buttons: the dial pad and SMS page toggles, the
// phonebook button and the two volume buttons. The window hides them when
// it starts; the start-up chain shows each one as it enables it (the end of
// the chain, or the shorter sets when the card cannot be used), so what the
// user can click follows what the modem reported. Nothing hides them again:
// a modem that goes away disables them where they stand, and the next
// start-up enables them again.
#pragma once

#include "engine/DmHost.h"

#include <span>
#include <vector>

namespace kv {

inline constexpr int kPageButtons[5] = {IDC_DIAL_TOGGLE, IDC_SMS_TOGGLE, IDC_PHONEBOOK,
                                        IDC_VOLUME_DOWN, IDC_VOLUME_UP};

bool IsPageButton(int id);

// The page buttons of a start-up set, in the set's order: the ones that
// enabling the set shows.
std::vector<int> PageButtonsShownBy(std::span<const int> set);

// Enables every control of a start-up set (kUiEnableControls,
// kPinCancelControls, kNoCardControls); the page buttons among them are
// shown as well. Other controls keep their visibility.
void EnableStartupControls(IDmHost& host, std::span<const int> set);

// The modem went away: the page buttons are disabled and stay shown.
void DisablePageButtons(IDmHost& host);

// Buttons whose pages need no modem (the traffic statistics are kept by the
// program itself): the window shows and enables them once it has
// initialised, with or without a modem. The start-up and a removal leave them
// alone, so they are no page buttons.
inline constexpr int kWindowButtons[1] = {IDC_TRAFFIC_TAB};

void ShowWindowButtons(IDmHost& host);

} // namespace kv
