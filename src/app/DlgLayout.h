// Where the main window's controls sit, in client pixels. Bitmap buttons
// take the size of one frame of their strip, so only their place is given
// (size 0 x 0). The controls the initialisation does not move keep the
// places of the dialog template, given here in dialog units and converted
// with the template font's base units.
#pragma once

#include "app/AppIds.h"

namespace kvapp {

struct ControlPlace {
    int id;
    int x, y, w, h;
};

constexpr int kMainWidth = 500;
constexpr int kMainHeight = 640;

// Places set by the initialisation.
constexpr ControlPlace kMainLayout[] = {
    {kv::IDC_PAGE_AREA, 12, 189, 160, 117},
    {kv::IDC_DIAL_TOGGLE, 18, 160, 0, 0},
    {kv::IDC_SMS_TOGGLE, 45, 160, 0, 0},
    {kv::IDC_PHONEBOOK, 72, 160, 0, 0},
    {kv::IDC_SETTING, 96, 405, 0, 0},
    {kv::IDC_NET_CONNECT, 96, 345, 0, 0},
    {kv::IDC_NET_DISCONNECT, 96, 345, 0, 0},
    {kv::IDC_MINIMIZE, 404, 15, 0, 0},
    {kv::IDC_EXIT, 435, 15, 0, 0},
    {kv::IDC_VOLUME_DOWN, 15, 140, 0, 0},
    {kv::IDC_VOLUME_UP, 51, 140, 0, 0},
    {IDC_EAR_VOLUME, 25, 140, 25, 10},
    {IDC_DATA_RATE, 8, 310, 171, 10},
    {kv::IDC_MESSAGE_LINE, 150, 344, 200, 40},
    {IDC_DURATION_LINE, 150, 344, 200, 40},
    {IDC_STATUS_LINE_1071, 150, 162, 200, 40},
    {IDC_STATUS_LINE_1115, 150, 222, 200, 40},
    {IDC_STATUS_LINE_1116, 150, 284, 200, 40},
    {IDC_STATUS_LINE_1072, 150, 405, 200, 40},
    {kv::IDC_TEXT_FIELD, 32, 54, 120, 59},
    {IDC_ANTENNA, 28, 38, 17, 13},
    {IDC_ROAMING, 46, 38, 13, 13},
    {IDC_CALL, 60, 38, 13, 13},
    {IDC_SMS, 74, 38, 14, 13},
    {IDC_RXD, 90, 38, 17, 13},
    {IDC_SERVICE, 110, 38, 24, 13},
    {IDC_VBAT, 136, 38, 19, 13},
    {IDC_IND_1045, 28, 114, 14, 14},
    {IDC_IND_1046, 44, 114, 14, 14},
    {IDC_CHARGE, 140, 114, 17, 14},
    {kv::IDC_PROGRESS, 5, 180, 120, 8},
    {kv::IDC_RESET_STATS, 8, 10, 18, 12},
};

// Places of the dialog template (dialog units).
constexpr ControlPlace kTemplateLayout[] = {
    {kv::IDC_TRAFFIC_TAB, 6, 210, 33, 22},
    {kv::IDC_ACTIVATION, 79, 139, 11, 10},
    {kv::IDC_GET_BALANCE, 87, 148, 11, 10},
    {kv::IDC_GET_NUMBER, 95, 156, 11, 10},
    {kv::IDC_SWITCH_OFF, 73, 138, 11, 10},
    {kv::IDC_NOP_1019, 106, 23, 6, 8},
    {IDC_CONN_MSG_1, 109, 94, 24, 9},
    {IDC_CONN_MSG_2, 114, 110, 24, 9},
};

// Dialog units to pixels for the template's font (4 horizontal and 8
// vertical units per base unit of 7 x 16 pixels).
constexpr int DuToPixelX(int du) { return du * 7 / 4; }
constexpr int DuToPixelY(int du) { return du * 2; }

// Logo rectangles on the face.
constexpr int kLogoX = 40, kLogoY = 2, kLogoW = 102, kLogoH = 24;
constexpr int kPictureX = 19, kPictureY = 198, kPictureW = 147, kPictureH = 106;
constexpr const char* kLogoFile = "korvia.bmp";
constexpr const char* kPictureFile = "log.bmp";

} // namespace kvapp
