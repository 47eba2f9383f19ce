#include "conversion/fault_guard.h"

#include <winternl.h>

#include <new>

#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "app/progress_window.h"
#include "common/own_file.h"
#include "common/result_codes.h"
#include "common/status_text.h"
#include "common/text_limits.h"
#include "conversion/crash_record.h"

namespace {

typedef NTSTATUS(NTAPI *PFN_NtDeleteFile)(POBJECT_ATTRIBUTES attributes);
typedef BOOLEAN(NTAPI *PFN_RtlDllShutdownInProgress)();
typedef NTSTATUS(NTAPI *PFN_NtCreateFile)(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                          PIO_STATUS_BLOCK status, PLARGE_INTEGER size, ULONG file_attributes,
                                          ULONG share, ULONG disposition, ULONG options, PVOID ea, ULONG ea_length);
typedef BOOLEAN(NTAPI *PFN_RtlDosPathNameToNtPathName_U)(PCWSTR dos_path, PUNICODE_STRING nt_path,
                                                         PWSTR *file_part, PVOID reserved);
typedef VOID(NTAPI *PFN_RtlFreeUnicodeString)(PUNICODE_STRING text);
const ULONG NT_FILE_OPEN = 1;
const ULONG NT_FILE_NON_DIRECTORY_FILE = 0x40;
const ULONG NT_FILE_SYNCHRONOUS_IO_NONALERT = 0x20;
typedef VOID(CALLBACK *PFN_DllNotification)(ULONG reason, const void *data, void *context);
typedef NTSTATUS(NTAPI *PFN_LdrRegisterDllNotification)(ULONG flags, PFN_DllNotification notification,
                                                          void *context, void **cookie);
const ULONG DLL_NOTIFICATION_UNLOADED = 2;

// Everything the guard uses is here, fixed in size and set up before any
// converter code runs: by the time the guard acts the heap may be damaged
// (CreateFileA and DeleteFileA allocate from it) and the current directory
// moved.
volatile LONG g_run_begun;
char g_status_bytes[STATUS_TEXT_SIZE];
PFN_NtDeleteFile g_nt_delete_file;
PFN_NtCreateFile g_nt_create_file;
PFN_RtlDllShutdownInProgress g_dll_shutdown_in_progress;

// Never destroyed: converter code may end the process through exit(),
// whose static destructors would close them before the guard writes.
alignas(OwnFile) unsigned char g_status_storage[sizeof(OwnFile)];
alignas(OwnFile) unsigned char g_folder_storage[sizeof(OwnFile)];
OwnFile &g_status_file = *new (g_status_storage) OwnFile;
OwnFile &g_destination_folder = *new (g_folder_storage) OwnFile;

// The request file's path as resolved at the start, in the form NtCreateFile
// takes, so that it can be opened again without the heap.
WCHAR g_request_nt_path[PATH_BUFFER_SIZE + 16];
UNICODE_STRING g_request_unicode;
OBJECT_ATTRIBUTES g_request_attributes;

// A file docvane holds no longer names the file it opened.
volatile LONG g_own_file_changed;
// The import destination as docvane holds it open, while it does.
const OwnFile *volatile g_open_destination;

// The destination: a handle on its folder and its name there, so it is
// deleted through a handle, never by path, and a converter may still replace
// the file itself. The folder handle stays open until the next destination.
volatile LONG g_destination_watched;
WCHAR g_destination_name[PATH_BUFFER_SIZE];
UNICODE_STRING g_destination_unicode;
OBJECT_ATTRIBUTES g_destination_attributes;

char g_converter[PATH_BUFFER_SIZE];
char g_module[PATH_BUFFER_SIZE];
char g_record[CRASH_RECORD_SIZE];

// The guard thread does the guard's work on a stack of its own, for a
// thread whose stack has overflowed, and notices when docvane's thread
// dies while a run is under way.
HANDLE g_main_thread;
DWORD g_main_thread_id;
HANDLE g_wake;
HANDLE g_report;    // asks the guard thread for the crash record
HANDLE g_reported;
HANDLE g_guard_thread;
DWORD g_guard_thread_id;
volatile LONG g_overflow_thread;  // the last thread a stack overflow was seen on
void *volatile g_overflow_address;

// The run's end: claimed once, by the normal path or by the guard.
volatile LONG g_claimer;        // the claiming thread, 0 while the end is open
volatile LONG g_end_recorded;   // the claimer has recorded what follows
volatile LONG g_finisher;       // the thread doing the guard's work
int g_end_result;
bool g_end_by_guard;
DWORD g_fault_code;
void *g_fault_address;

[[noreturn]] void end_process(int result) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    // TerminateProcess does not return for the calling process.
    for (;;) Sleep(INFINITE);
}

// Another thread ends the process.
[[noreturn]] void hold_forever() {
    for (;;) Sleep(INFINITE);
}

void note_own_file_changed() { g_own_file_changed = 1; }

// The request file opened again by the path resolved at the start, if that
// path still names the file opened then; else none.
HANDLE reopen_request_file() {
    if (!g_nt_create_file || !g_request_unicode.Buffer) return INVALID_HANDLE_VALUE;
    HANDLE h = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK io;
    NTSTATUS status = g_nt_create_file(&h, GENERIC_WRITE | SYNCHRONIZE, &g_request_attributes, &io, NULL,
                                       FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, NT_FILE_OPEN,
                                       NT_FILE_NON_DIRECTORY_FILE | NT_FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
    if (status < 0 || !h || h == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (same_identity(file_identity_of(h), g_status_file.identity())) return h;
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
}

// Over the request from its start, then cut: a second write of the same
// bytes changes nothing, so whoever finishes a run may write them again.
// Never through a handle that names another file by now.
void write_status_bytes(int result) {
    if (!g_status_file.is_open()) return;
    HANDLE target = g_status_file.handle();
    HANDLE reopened = INVALID_HANDLE_VALUE;
    if (!g_status_file.still_names_it()) {
        note_own_file_changed();
        reopened = target = reopen_request_file();
        if (target == INVALID_HANDLE_VALUE) return;
    }
    DWORD length = static_cast<DWORD>(
        format_status_text(g_status_bytes, sizeof g_status_bytes, g_progress_text, result));
    DWORD written = 0;
    if (SetFilePointer(target, 0, NULL, FILE_BEGIN) == 0 &&
        WriteFile(target, g_status_bytes, length, &written, NULL) && written == length)
        SetEndOfFile(target);
    if (reopened != INVALID_HANDLE_VALUE) CloseHandle(reopened);
}

// Through the folder handle and the name, or, where the folder handle names
// another folder by now, through the open import destination's own handle;
// never through a handle that names another file. False when nothing could
// be trusted to delete it.
bool delete_destination() {
    if (!g_destination_watched) return true;
    if (g_destination_folder.still_names_it()) {
        // Deleted once every handle on it is closed, which the end of the
        // process does; stays while converter code holds it unshared.
        if (g_nt_delete_file) g_nt_delete_file(&g_destination_attributes);
        return true;
    }
    note_own_file_changed();
    const OwnFile *open_file = g_open_destination;
    if (!open_file || !open_file->still_names_it()) return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(open_file->handle(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

bool any_own_file_changed() {
    if (g_status_file.is_open() && !g_status_file.still_names_it()) note_own_file_changed();
    if (g_destination_watched && !g_destination_folder.still_names_it()) note_own_file_changed();
    const OwnFile *open_file = g_open_destination;
    if (open_file && !open_file->still_names_it()) note_own_file_changed();
    return g_own_file_changed != 0;
}

// Best effort, and last: the event log allocates, and a fault in here ends
// the process with the result at once.
void report_crash() {
    CrashFacts facts = {g_fault_code, reinterpret_cast<UINT_PTR>(g_fault_address), NULL, 0, g_converter,
                        g_end_result};
    HMODULE module = NULL;
    if (g_fault_address &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(g_fault_address), &module) &&
        GetModuleFileNameA(module, g_module, sizeof g_module) > 0) {
        facts.module = g_module;
        // Modules load where address space layout randomisation puts them:
        // the offset is what the symbols resolve.
        facts.offset = facts.address - reinterpret_cast<UINT_PTR>(module);
    }
    format_crash_record(g_record, sizeof g_record, facts);
    HANDLE log = RegisterEventSourceA(NULL, "docvane");
    if (!log) return;
    const char *strings[1] = {g_record};
    ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(log);
}

bool guard_thread_can_help() {
    return g_guard_thread && GetCurrentThreadId() != g_guard_thread_id &&
           WaitForSingleObject(g_guard_thread, 0) == WAIT_TIMEOUT;
}

// The event log may wait for the loader lock, which the thread docvane
// runs converters on can hold (a worker faults while a library unloads): on
// the guard thread, and waited for only a while, so the process always ends.
void report_crash_in_time() {
    if (!guard_thread_can_help()) {
        report_crash();
        return;
    }
    SetEvent(g_report);
    WaitForSingleObject(g_reported, 5000);
}

void record_end(int result, bool by_guard, DWORD code, void *address) {
    g_end_result = result;
    g_end_by_guard = by_guard;
    g_fault_code = code;
    g_fault_address = address;
    MemoryBarrier();
    g_end_recorded = 1;
}

// Set when the process is already ending (exit, ExitProcess): the loader
// lock is held, no thread can be started, and the event log's client could
// wait for ever, so no crash record is written then.
volatile LONG g_process_exiting;

[[noreturn]] void finish() {
    g_finisher = static_cast<LONG>(GetCurrentThreadId());
    // A fault in a library's detach code at a process end that converter
    // code started comes here before docvane's own unload notification
    // says so: the same wait on the event log is to be avoided.
    if (g_dll_shutdown_in_progress && g_dll_shutdown_in_progress()) g_process_exiting = 1;
    if (g_end_by_guard) delete_destination();
    // Never success, and never the fault's code alone, when docvane's own
    // files were taken from it.
    if (g_end_by_guard && any_own_file_changed()) g_end_result = RESULT_OWN_FILE_CHANGED;
    write_status_bytes(g_end_result);
    if (g_end_by_guard && !g_process_exiting) report_crash_in_time();
    end_process(g_end_result);
}

enum Others { OTHERS_RUNNING, MAIN_THREAD_GONE, OTHERS_GONE };

// Ends the run through the guard with result, unless its end has been
// claimed already: then the claimer ends it, or, if the claimer is gone
// (the process is exiting, or it was docvane's own thread), its work is
// done again here and the process ends with its result.
[[noreturn]] void end_through_guard(int result, DWORD code, void *address, Others others, bool hand_over) {
    LONG self = static_cast<LONG>(GetCurrentThreadId());
    LONG claimer = InterlockedCompareExchange(&g_claimer, self, 0);
    if (claimer == 0) {
        record_end(result, true, code, address);
        if (hand_over && guard_thread_can_help()) {
            SetEvent(g_wake);
            hold_forever();
        }
        finish();
    }
    // A fault inside the guard's own work, or after this thread's normal end.
    if (claimer == self || g_finisher == self) end_process(g_end_recorded ? g_end_result : result);
    bool claimer_gone = others == OTHERS_GONE ||
                        (others == MAIN_THREAD_GONE && claimer == static_cast<LONG>(g_main_thread_id));
    if (!claimer_gone) hold_forever();
    if (!g_end_recorded) record_end(result, true, code, address);
    finish();
}

LONG WINAPI fault_filter(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info ? info->ExceptionRecord : NULL;
    DWORD code = record ? record->ExceptionCode : 0;
    LONG signed_code = static_cast<LONG>(code);
    // After a stack overflow this thread has little stack left: the guard
    // thread does the work on its own.
    end_through_guard(signed_code < 0 ? signed_code : RESULT_CONVERTER_FAULTED, code,
                      record ? record->ExceptionAddress : NULL, OTHERS_RUNNING, code == EXCEPTION_STACK_OVERFLOW);
}

// Wine 8.0 on x86_64 never reaches the filter after a stack overflow: it
// commits the whole stack, dispatching overflows again and the thread is
// killed. A vectored handler is still reached; it only notes the overflow,
// so a converter that handles its own still can, and the guard thread
// takes over when the thread dies. Under qemu-i386 and on Windows the
// filter is reached.
LONG CALLBACK overflow_watch(EXCEPTION_POINTERS *info) {
    if (info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        g_overflow_address = info->ExceptionRecord->ExceptionAddress;
        g_overflow_thread = static_cast<LONG>(GetCurrentThreadId());
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI guard_thread(void *ready) {
    SetEvent(static_cast<HANDLE>(ready));
    HANDLE waits[3] = {g_wake, g_report, g_main_thread};
    DWORD which;
    while ((which = WaitForMultipleObjects(3, waits, FALSE, INFINITE)) == WAIT_OBJECT_0 + 1) {
        ResetEvent(g_report);
        report_crash();
        SetEvent(g_reported);
    }
    if (which == WAIT_OBJECT_0) finish();  // an end handed over, claimed and recorded
    if (which != WAIT_OBJECT_0 + 2) return 0;
    // Docvane's thread is gone while the run was under way: converter code
    // ended it, or a stack overflow that could not be dispatched did.
    bool overflow = g_overflow_thread == static_cast<LONG>(g_main_thread_id);
    end_through_guard(overflow ? static_cast<int>(EXCEPTION_STACK_OVERFLOW) : RESULT_CONVERTER_ENDED_RUN,
                      overflow ? EXCEPTION_STACK_OVERFLOW : 0, overflow ? g_overflow_address : NULL,
                      MAIN_THREAD_GONE, false);
}

// Converter code ended the process: every other thread is gone by now.
void process_ending() {
    if (!g_run_begun) return;
    g_process_exiting = 1;
    end_through_guard(RESULT_CONVERTER_ENDED_RUN, 0, NULL, OTHERS_GONE, false);
}

// Windows calls the executable's TLS callbacks with DLL_PROCESS_DETACH
// during ExitProcess; Wine 8.0 does not. Wine instead calls DLL
// notifications (reason "unloaded") while RtlDllShutdownInProgress() is
// true, after each library's own detach. Both lead here; whichever comes
// first ends the process.
void NTAPI process_detach_callback(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_PROCESS_DETACH) process_ending();
}

VOID CALLBACK dll_notification(ULONG reason, const void *, void *) {
    if (reason == DLL_NOTIFICATION_UNLOADED && g_dll_shutdown_in_progress && g_dll_shutdown_in_progress())
        process_ending();
}

// abort() and a failed assertion raise SIGABRT through the C runtime that
// docvane shares with converters built against msvcrt.dll. A converter with
// a C runtime of its own never comes here.
void __cdecl on_abort(int) {
    if (g_run_begun) end_through_guard(RESULT_CONVERTER_ENDED_RUN, 0, NULL, OTHERS_RUNNING, false);
}

template <class F>
F ntdll_function(const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

}  // namespace

// Placed among the C runtime's TLS callbacks.
extern "C" {
__attribute__((section(".CRT$XLY"), used)) PIMAGE_TLS_CALLBACK docvane_process_detach = process_detach_callback;
}

namespace {

// The NT form of the request file's path, kept in a buffer of our own.
void prepare_request_reopen(const WCHAR *request_file) {
    PFN_RtlDosPathNameToNtPathName_U to_nt =
        ntdll_function<PFN_RtlDosPathNameToNtPathName_U>("RtlDosPathNameToNtPathName_U");
    PFN_RtlFreeUnicodeString free_text = ntdll_function<PFN_RtlFreeUnicodeString>("RtlFreeUnicodeString");
    UNICODE_STRING nt = {0, 0, NULL};
    if (!request_file || !request_file[0] || !to_nt || !free_text || !to_nt(request_file, &nt, NULL, NULL))
        return;
    size_t units = nt.Length / sizeof(WCHAR);
    if (units < sizeof g_request_nt_path / sizeof(WCHAR)) {
        memcpy(g_request_nt_path, nt.Buffer, units * sizeof(WCHAR));
        g_request_nt_path[units] = L'\0';
        g_request_unicode.Buffer = g_request_nt_path;
        g_request_unicode.Length = static_cast<USHORT>(units * sizeof(WCHAR));
        g_request_unicode.MaximumLength = static_cast<USHORT>((units + 1) * sizeof(WCHAR));
        InitializeObjectAttributes(&g_request_attributes, &g_request_unicode, OBJ_CASE_INSENSITIVE, NULL, NULL);
    }
    free_text(&nt);
}

}  // namespace

void begin_guarded_run(HANDLE status_file, const WCHAR *request_file) {
    g_status_file.take(status_file);
    g_nt_delete_file = ntdll_function<PFN_NtDeleteFile>("NtDeleteFile");
    g_nt_create_file = ntdll_function<PFN_NtCreateFile>("NtCreateFile");
    if (g_status_file.is_open()) prepare_request_reopen(request_file);
    g_dll_shutdown_in_progress = ntdll_function<PFN_RtlDllShutdownInProgress>("RtlDllShutdownInProgress");
    PFN_LdrRegisterDllNotification register_notification =
        ntdll_function<PFN_LdrRegisterDllNotification>("LdrRegisterDllNotification");
    void *cookie;
    if (register_notification) register_notification(0, dll_notification, NULL, &cookie);
    AddVectoredExceptionHandler(1, overflow_watch);
    // Windows: room for the filter after a stack overflow. Wine 8.0 returns
    // TRUE and gives none, hence the guard thread.
    ULONG guarantee = 64 * 1024;
    SetThreadStackGuarantee(&guarantee);

    g_main_thread_id = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_thread, SYNCHRONIZE,
                    FALSE, 0);
    g_wake = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_report = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_reported = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (g_main_thread && g_wake && g_report && g_reported && ready)
        g_guard_thread = CreateThread(NULL, 64 * 1024, guard_thread, ready, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                      &g_guard_thread_id);
    // Its start-up, which tells every loaded library of the new thread and
    // allocates, is over before any converter loads: no converter code ever
    // runs on it, and nothing it does can land between a converter's calls.
    if (g_guard_thread) {
        HANDLE waits[2] = {ready, g_guard_thread};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
    if (ready) CloseHandle(ready);
    g_run_begun = 1;
    arm_fault_guard();
}

void arm_fault_guard() {
    // A converter may have cleared it (SetErrorMode(0)): a bad image or a
    // drive without media would then wait for a person.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(fault_filter);
    signal(SIGABRT, on_abort);
    // msvcrt's assertion box would wait for a person: docvane is a GUI
    // program.
    _set_error_mode(_OUT_TO_STDERR);
}

void fault_guard_converter(const char *library_path) {
    g_converter[0] = '\0';
    if (library_path && strlen(library_path) < sizeof g_converter) strcpy(g_converter, library_path);
}

void fault_guard_destination(const WCHAR *path, const OwnFile *open_file) {
    g_destination_watched = 0;
    MemoryBarrier();
    g_open_destination = open_file;
    g_destination_folder.release();
    // Also without a guarded run (in-process tests): the normal path deletes
    // through it too.
    if (!g_nt_delete_file) g_nt_delete_file = ntdll_function<PFN_NtDeleteFile>("NtDeleteFile");

    const WCHAR *name = NULL;
    for (const WCHAR *p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    if (!name || !*name) return;
    WCHAR folder[PATH_BUFFER_SIZE];
    size_t folder_length = static_cast<size_t>(name - path);
    size_t units = wcslen(name) + 1;
    if (folder_length >= PATH_BUFFER_SIZE || units > PATH_BUFFER_SIZE) return;
    memcpy(folder, path, folder_length * sizeof(WCHAR));
    folder[folder_length] = L'\0';
    memcpy(g_destination_name, name, units * sizeof(WCHAR));
    // No read, write or delete access: the folder handle never stands in the
    // way of what a converter does with its files.
    HANDLE folder_handle = CreateFileW(folder, FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder_handle == INVALID_HANDLE_VALUE) return;
    g_destination_folder.take(folder_handle);
    HANDLE held = g_destination_folder.handle();
    g_destination_unicode.Buffer = g_destination_name;
    g_destination_unicode.Length = static_cast<USHORT>((units - 1) * sizeof(WCHAR));
    g_destination_unicode.MaximumLength = static_cast<USHORT>(units * sizeof(WCHAR));
    InitializeObjectAttributes(&g_destination_attributes, &g_destination_unicode, OBJ_CASE_INSENSITIVE, held,
                               NULL);
    MemoryBarrier();
    g_destination_watched = 1;
}

void fault_guard_destination_closed() { g_open_destination = NULL; }

bool fault_guard_delete_destination() {
    bool deleted = delete_destination();
    g_destination_watched = 0;
    return deleted;
}

void fault_guard_note_own_file_changed() { note_own_file_changed(); }

int settle_own_files(int result) {
    if (!any_own_file_changed()) return result;
    // No longer a success: what docvane made goes, if anything can be
    // trusted to delete it.
    if (result >= 0) fault_guard_delete_destination();
    return RESULT_OWN_FILE_CHANGED;
}

void claim_run_end(int result) {
    if (InterlockedCompareExchange(&g_claimer, static_cast<LONG>(GetCurrentThreadId()), 0) != 0) hold_forever();
    record_end(result, false, 0, NULL);
}

bool write_guarded_status(int result) {
    if (!g_status_file.is_open()) return false;
    write_status_bytes(result);
    return true;
}
