#include "conversion/converter_binding.h"

#include <string.h>

#include "app/progress_text.h"
#include "app/progress_window.h"
#include "common/file_routines.h"
#include "common/text_limits.h"
#include "conversion/load_settings.h"

HGLOBAL(WINAPI *g_global_alloc)(UINT flags, SIZE_T bytes) = GlobalAlloc;
HGLOBAL(WINAPI *g_global_realloc)(HGLOBAL block, SIZE_T bytes, UINT flags) = GlobalReAlloc;
HGLOBAL(WINAPI *g_global_free)(HGLOBAL block) = GlobalFree;

namespace {

const size_t CLASS_NAME_SIZE = 32;

template <class F>
F entry_point(HMODULE module, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

}  // namespace

void before_converter_code() {
    reassert_load_settings();
    arm_fault_guard();
}

BindStatus bind_converter(ConverterLibrary *lib, const char *library_path, int export_flag, HWND window) {
    // Its start-up code runs inside LoadLibraryW.
    fault_guard_converter(library_path);
    // Wide, from the ANSI bytes: after SetFileApisToOEM in an earlier
    // converter, LoadLibraryA would read a non-ASCII folder name as OEM.
    WCHAR wide_path[PATH_BUFFER_SIZE];
    if (!widen(library_path, wide_path, PATH_BUFFER_SIZE)) return BIND_NOT_LOADED;
    before_converter_code();
    HMODULE module = LoadLibraryW(wide_path);
    if (reinterpret_cast<UINT_PTR>(module) < 32) return BIND_NOT_LOADED;
    lib->module = module;

    // Before any entry point runs, so the format is there whenever a data
    // callback can be called.
    strcpy(g_progress_format, PROGRESS_FORMAT_LITERAL);

    lib->init_converter = entry_point<PFN_InitConverter32>(module, "InitConverter32");
    lib->register_app = entry_point<PFN_RegisterApp>(module, "RegisterApp");
    if (export_flag) {
        lib->rtf_to_foreign = entry_point<PFN_RtfToForeign32>(module, "RtfToForeign32");
        if (!lib->init_converter || !lib->rtf_to_foreign) return BIND_ENTRY_MISSING;
    } else {
        lib->is_format_correct = entry_point<PFN_IsFormatCorrect32>(module, "IsFormatCorrect32");
        lib->foreign_to_rtf = entry_point<PFN_ForeignToRtf32>(module, "ForeignToRtf32");
        if (!lib->init_converter || !lib->is_format_correct || !lib->foreign_to_rtf) return BIND_ENTRY_MISSING;
    }

    // Nothing is read back from the buffer.
    before_converter_code();
    if ((lib->init_converter(window, lib->init_buffer) & 0xFFFF) == 0) return BIND_REFUSED;
    return BIND_OK;
}

int path_fits_path_handle(const char *path) { return strlen(path) < REGISTRY_PATH_SIZE; }

namespace {

// A new zero-filled block, locked so that we can fill it; null when it cannot
// be had.
HGLOBAL new_locked_block(UINT flags, SIZE_T size, char **bytes) {
    HGLOBAL h = g_global_alloc(flags, size);
    if (!h) return NULL;
    *bytes = static_cast<char *>(GlobalLock(h));
    if (!*bytes) {
        GlobalFree(h);
        return NULL;
    }
    return h;
}

}  // namespace

HGLOBAL make_path_handle(UINT flags, const char *path) {
    // CharToOemA writes as many bytes as it reads: a longer path would run
    // past the block.
    if (!path_fits_path_handle(path)) return NULL;
    char *p;
    HGLOBAL h = new_locked_block(flags, REGISTRY_PATH_SIZE, &p);
    if (!h) return NULL;
    CharToOemA(path, p);
    GlobalUnlock(h);
    return h;
}

HGLOBAL make_class_name_handle(UINT flags, const char *display_name) {
    char *p;
    HGLOBAL h = new_locked_block(flags, CLASS_NAME_SIZE, &p);
    if (!h) return NULL;
    // Zero-filled past the name; the last byte always stays zero.
    strncpy(p, display_name, CLASS_NAME_SIZE);
    p[CLASS_NAME_SIZE - 1] = '\0';
    GlobalUnlock(h);
    return h;
}
