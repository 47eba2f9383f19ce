/* The yardstick for start-up cost: a GUI program of our own that does
 * nothing, started the same way as docvane. Built as well with the parts of
 * docvane's set-up that Windows itself charges for, to show where start-up
 * time goes: WITH_USER32 touches the window manager once, WITH_WINDOW also
 * creates a hidden window as docvane does. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show) {
    (void)instance;
    (void)previous;
    (void)tail;
    (void)show;
#if defined(WITH_USER32) || defined(WITH_WINDOW)
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
#endif
#ifdef WITH_WINDOW
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(0x007F0000);
    wc.lpszClassName = "QzEmpty";
    RegisterClassA(&wc);
    CreateWindowExA(0, "QzEmpty", "", WS_CAPTION | WS_SYSMENU, 1, 1, 20, 20, NULL, NULL, instance, NULL);
#endif
    return 0;
}
