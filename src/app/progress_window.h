// The progress window: a hidden window of class "QzDocvane" whose title
// follows the progress text, and the progress text and format themselves.
#pragma once

#include <windows.h>

extern HWND g_progress_window;      // null before set-up or if creation failed
extern char g_progress_text[128];   // the last rendered progress text
extern char g_progress_format[100]; // empty until a converter library loads

// Creates the brush, registers the class, empties the progress text, drains
// the message queue once and creates the window, never shown.
void window_setup(HINSTANCE instance, HINSTANCE previous_instance);

// Dispatches what is queued for the thread, without waiting.
void message_pump();

// Renders the progress text with percent and makes it the window's title.
void progress_update(int percent);
