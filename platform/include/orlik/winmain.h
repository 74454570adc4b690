// The entry of a panel program. Include this header in exactly one source
// file of the program: it supplies the host's main(), which calls the
// program's WinMain with its module handle and its command line.
#pragma once

#include <orlik/windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);

int main() { return WinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOW); }
