#include "app/progress_window.h"

#include "app/progress_text.h"

HWND g_progress_window;
char g_progress_text[128];
char g_progress_format[100];

static const char WINDOW_CLASS[] = "QzDocvane";

void window_setup(HINSTANCE instance, HINSTANCE previous_instance) {
    // Never deleted: it lives as long as the class, until the process ends.
    HBRUSH brush = CreateSolidBrush(0x007F0000);
    if (!previous_instance) {
        WNDCLASSA wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = DefWindowProcA;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, "QzSI");
        wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
        wc.hbrBackground = brush;
        wc.lpszMenuName = NULL;
        wc.lpszClassName = WINDOW_CLASS;
        RegisterClassA(&wc);
    }
    g_progress_text[0] = '\0';
    message_pump();
    // No WS_VISIBLE, and nothing ever shows the window.
    g_progress_window = CreateWindowExA(0, WINDOW_CLASS, g_progress_text,
                                        WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                        1, 1, 20, 20, NULL, NULL, instance, NULL);
}

void message_pump() {
    MSG msg;
    for (unsigned long left = 0xFFFFFFFFul; left && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); --left) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void progress_update(int percent) {
    render_progress_text(g_progress_format, percent, g_progress_text, sizeof g_progress_text);
    SetWindowTextA(g_progress_window, g_progress_text);
}
