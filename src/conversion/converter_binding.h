// Binding one converter library for one conversion attempt: loading,
// resolving and initialising its entry points, building the name handles,
// and releasing all of it again on every path.
#pragma once

#include <windows.h>

#include "conversion/converter_api.h"
#include "conversion/fault_guard.h"

// Every global block of an attempt comes from here, the export's transfer
// buffer grows through the second and every block goes through the third,
// so a test can make allocation fail and watch the order of release.
extern HGLOBAL(WINAPI *g_global_alloc)(UINT flags, SIZE_T bytes);
extern HGLOBAL(WINAPI *g_global_realloc)(HGLOBAL block, SIZE_T bytes, UINT flags);
extern HGLOBAL(WINAPI *g_global_free)(HGLOBAL block);

// Before every library load and every call into converter code: the DLL
// directory and PATH as docvane settled them, the error modes, and the
// fault guard as the top-level filter and abort handler.
void before_converter_code();

// Releases the library when the attempt's scope ends, after the blocks
// (declare it before them).
struct ConverterLibrary {
    HMODULE module = NULL;
    // Our name for the converter, handed to InitConverter32. A converter may
    // keep the pointer, so it lives as long as the attempt.
    char init_buffer[40] = "docvane";
    PFN_InitConverter32 init_converter = nullptr;
    PFN_RegisterApp register_app = nullptr;
    PFN_IsFormatCorrect32 is_format_correct = nullptr;
    PFN_ForeignToRtf32 foreign_to_rtf = nullptr;
    PFN_RtfToForeign32 rtf_to_foreign = nullptr;

    ConverterLibrary() = default;
    ~ConverterLibrary() {
        if (!module) return;
        // Its shutdown code is converter code too. Unloading loads nothing,
        // and nothing may allocate between the blocks' release and the
        // library's (a converter may check that it was handed them back).
        arm_fault_guard();
        FreeLibrary(module);
    }
    ConverterLibrary(const ConverterLibrary &) = delete;
    ConverterLibrary &operator=(const ConverterLibrary &) = delete;
};

// Frees a global block when the attempt's scope ends. An attempt declares
// its blocks up front and fills them later, so the order of declaration is
// the order of release (the reverse).
struct GlobalBlock {
    HGLOBAL handle = NULL;
    GlobalBlock() = default;
    ~GlobalBlock() { if (handle) g_global_free(handle); }
    GlobalBlock(const GlobalBlock &) = delete;
    GlobalBlock &operator=(const GlobalBlock &) = delete;
};

enum BindStatus { BIND_OK, BIND_NOT_LOADED, BIND_ENTRY_MISSING, BIND_REFUSED };

// Loads the library, sets the progress format, resolves the entry points of
// the direction and calls InitConverter32 with window. On any failure the
// library is released when *lib goes out of scope.
BindStatus bind_converter(ConverterLibrary *lib, const char *library_path, int export_flag, HWND window);


// The path of the foreign-format file, converted to the OEM code page, in a
// 261-byte block. Null when the path has more than 260 characters or the
// block cannot be had.
HGLOBAL make_path_handle(UINT flags, const char *path);
int path_fits_path_handle(const char *path);

// The display name in a 32-byte block, cut to 31 characters so the converter
// always finds it terminated. Null when the block cannot be had.
HGLOBAL make_class_name_handle(UINT flags, const char *display_name);

// The low 16 bits of a conversion entry point's result, signed.
inline int converter_result(short raw) { return raw; }
