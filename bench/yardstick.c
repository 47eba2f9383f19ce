/* The yardstick for conversions: only the work a host of this kind is obliged
 * to do for a command-line import or export through WordPad's first built-in
 * converter, and nothing else, so that docvane's time divided by its time is
 * docvane's own overhead.
 *
 *   yardstick import SOURCE DESTINATION
 *   yardstick export SOURCE DESTINATION
 *
 * The same hidden window as docvane's (class "QzDocvane", same class fields
 * and window arguments, one drain of the message queue before it); the
 * converter found as docvane finds it (WordPad's open command, the file's
 * existence) and bound as docvane binds it (entry points, initialisation,
 * the global blocks with the same flags and sizes); each chunk of 2048 bytes
 * through one stream write (import) or read (export), and one title update
 * per chunk with the same progress text. Not done: request parsing, the
 * exclusion filter, the same-file test, the registry's converters. */
#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <string.h>

typedef long(WINAPI *PFN_RTF)(long count, long percent);
typedef long(WINAPI *PFN_INIT)(HANDLE window, char *module);
typedef HGLOBAL(WINAPI *PFN_REGISTER_APP)(unsigned long flags, void *reg_app);
typedef short(WINAPI *PFN_IS_FORMAT_CORRECT)(HANDLE file, HANDLE class_name);
typedef short(WINAPI *PFN_FOREIGN_TO_RTF)(HANDLE file, void *storage, HANDLE buffer, HANDLE class_name,
                                          HANDLE subset, PFN_RTF out);
typedef short(WINAPI *PFN_RTF_TO_FOREIGN)(HANDLE file, void *storage, HANDLE buffer, HANDLE class_name,
                                          PFN_RTF in);

enum { CHUNK = 2048 };

static HWND g_window;
static char g_title[128];
static FILE *g_file;
static HGLOBAL g_transfer;
static long long g_done, g_total;

/* Rendered by hand, as a host must: the format's "%)" is no conversion, so a
 * general formatting routine is no help (and costs more). */
static void progress(int percent) {
    static const char head[] = "Datei wird generiert (", tail[] = "%)...";
    char digits[12];
    int n = 0;
    unsigned int magnitude = percent < 0 ? 0u - (unsigned int)percent : (unsigned int)percent;
    do {
        digits[n++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    char *at = g_title;
    memcpy(at, head, sizeof head - 1);
    at += sizeof head - 1;
    if (percent < 0) *at++ = '-';
    while (n) *at++ = digits[--n];
    memcpy(at, tail, sizeof tail);
    SetWindowTextA(g_window, g_title);
}

static long WINAPI output_callback(long count, long percent) {
    void *bytes = GlobalLock(g_transfer);
    short n = (short)count;
    if (n != 0 && fwrite(bytes, (size_t)n, 1, g_file) != 1) {
        GlobalUnlock(g_transfer);
        return -4;
    }
    GlobalUnlock(g_transfer);
    progress((short)percent);
    return 0;
}

static long WINAPI input_callback(long unused_a, long unused_b) {
    (void)unused_a;
    (void)unused_b;
    if (GlobalSize(g_transfer) < CHUNK) GlobalReAlloc(g_transfer, CHUNK, 0);
    size_t n = fread(GlobalLock(g_transfer), 1, CHUNK, g_file);
    GlobalUnlock(g_transfer);
    g_done += (long long)n;
    progress(g_total > 0 ? (int)(g_done * 100 / g_total) : 100);
    return (long)n;
}

static void window_setup(HINSTANCE instance) {
    HBRUSH brush = CreateSolidBrush(0x007F0000);
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
    wc.lpszClassName = "QzDocvane";
    RegisterClassA(&wc);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_window = CreateWindowExA(0, "QzDocvane", g_title, WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                               1, 1, 20, 20, NULL, NULL, instance, NULL);
}

/* WordPad's first built-in converter, as docvane finds it; 0 if none. */
static int builtin_converter(char *path, size_t size) {
    HKEY key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "WordPad.Document.1\\shell\\open\\command", &key) != ERROR_SUCCESS) return 0;
    char command[262], upper[262];
    LONG length = 261;
    LONG rc = RegQueryValueA(key, NULL, command, &length);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return 0;
    const char *start = command[0] == '"' ? command + 1 : command;
    memcpy(upper, start, strlen(start) + 1);
    CharUpperA(upper);
    const char *match = strstr(upper, "WORDPAD.EXE");
    size_t at = match ? (size_t)(match - upper) : 0;
    if (!match || at + sizeof "MSWD6_32.WPC" > size) return 0;
    memcpy(path, start, at);
    memcpy(path + at, "MSWD6_32.WPC", sizeof "MSWD6_32.WPC");
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    fclose(f);
    return 1;
}

static HGLOBAL filled_block(UINT flags, SIZE_T size, const char *text, int oem) {
    HGLOBAL h = GlobalAlloc(flags, size);
    char *p = (char *)GlobalLock(h);
    if (oem)
        CharToOemA(text, p);
    else
        strncpy(p, text, size);
    GlobalUnlock(h);
    return h;
}

static int convert(int export_dir, const char *source, const char *destination) {
    char library_path[262];
    if (!builtin_converter(library_path, sizeof library_path)) return -15;
    HMODULE lib = LoadLibraryA(library_path);
    if (!lib) return -16;
    PFN_INIT init = (PFN_INIT)(void *)GetProcAddress(lib, "InitConverter32");
    PFN_REGISTER_APP register_app = (PFN_REGISTER_APP)(void *)GetProcAddress(lib, "RegisterApp");
    char module[40] = "docvane";
    const char *name = "Word f\xFCr Windows 6.0";
    int result;
    if (!export_dir) {
        PFN_IS_FORMAT_CORRECT is_format_correct =
            (PFN_IS_FORMAT_CORRECT)(void *)GetProcAddress(lib, "IsFormatCorrect32");
        PFN_FOREIGN_TO_RTF foreign_to_rtf = (PFN_FOREIGN_TO_RTF)(void *)GetProcAddress(lib, "ForeignToRtf32");
        init(g_window, module);
        HGLOBAL path = filled_block(GMEM_ZEROINIT, 261, source, 1);
        HGLOBAL class_name = filled_block(GMEM_ZEROINIT, 32, name, 0);
        if (register_app) register_app(1, NULL);
        result = -15;
        if (is_format_correct(path, class_name) && (g_file = fopen(destination, "wb")) != NULL) {
            HGLOBAL blank = GlobalAlloc(GMEM_ZEROINIT, 32);
            g_transfer = GlobalAlloc(GMEM_ZEROINIT, CHUNK);
            result = (short)foreign_to_rtf(path, NULL, g_transfer, NULL, blank, output_callback);
            fclose(g_file);
            GlobalFree(g_transfer);
            GlobalFree(blank);
        }
        GlobalFree(path);
        GlobalFree(class_name);
    } else {
        PFN_RTF_TO_FOREIGN rtf_to_foreign = (PFN_RTF_TO_FOREIGN)(void *)GetProcAddress(lib, "RtfToForeign32");
        init(NULL, module);
        HGLOBAL path = filled_block(GMEM_MOVEABLE | GMEM_ZEROINIT, 261, destination, 1);
        FILE *created = fopen(destination, "wb");
        if (created) fclose(created);
        HGLOBAL class_name = filled_block(GMEM_MOVEABLE | GMEM_ZEROINIT, 32, name, 0);
        if (register_app) register_app(1, NULL);
        result = -16;
        if (created && (g_file = fopen(source, "rb")) != NULL) {
            g_total = _filelengthi64(_fileno(g_file));
            HGLOBAL side = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8);
            WORD *s = (WORD *)GlobalLock(side);
            s[0] = 8;
            s[1] = 1;
            GlobalUnlock(side);
            g_transfer = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8);
            *(HGLOBAL *)GlobalLock(g_transfer) = side;
            GlobalUnlock(g_transfer);
            result = (short)rtf_to_foreign(path, NULL, g_transfer, class_name, input_callback);
            fclose(g_file);
            GlobalFree(g_transfer);
            GlobalFree(side);
        }
        GlobalFree(path);
        GlobalFree(class_name);
    }
    FreeLibrary(lib);
    return result;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show) {
    (void)previous;
    (void)show;
    window_setup(instance);
    char direction[8], source[264], destination[264];
    if (sscanf(tail, "%7s %263s %263s", direction, source, destination) != 3) return 2;
    return convert(!strcmp(direction, "export"), source, destination);
}
