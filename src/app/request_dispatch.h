// The entry function: one job per run, reported as the result code.
#pragma once

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line_tail, int show_state);
