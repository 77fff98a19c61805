// The program's version, as the build's project version sets it: the one
// place every program, the bus service and the About page take it from;
// and the program's desktop id.
#pragma once

namespace kv {

// Dotted numbers, as project(VERSION) gives them.
const char* ProgramVersion();

// The id the desktop knows the program by: the desktop entry's and the
// AppStream metainfo's file name (without .desktop), the Wayland app id.
inline constexpr const char* kDesktopId = "org.korvianet.Korvianet";

} // namespace kv
