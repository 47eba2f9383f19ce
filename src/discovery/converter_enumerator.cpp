#include "discovery/converter_enumerator.h"

#include <string.h>
#include <windows.h>

#include "common/file_routines.h"
#include "common/result_codes.h"
#include "common/text_limits.h"
#include "discovery/exclusion_filter.h"

char g_source_selector = 'W';
EnumerationObserver g_enumeration_observer = nullptr;
void *g_enumeration_observer_context = nullptr;

namespace {

struct BuiltIn {
    const char *file_name;
    const char *display_name;
    const char *extension_list;
};

const BuiltIn BUILT_INS[] = {
    {"MSWD6_32.WPC", "Word f\xFCr Windows 6.0", "doc"},
    {"WRITE32.WPC", "Windows Write", "wri"},
};

const char WORDPAD_COMMAND_KEY[] = "WordPad.Document.1\\shell\\open\\command";
const char CONVERTERS_KEY[] = "SOFTWARE\\Microsoft\\Shared Tools\\Text Converters\\";

struct Walk {
    ConverterAction action;
    void *context;
    int export_flag;
    int running_index;
    int running_result;
};

void notify(EnumerationEventKind kind, int position, const char *subkey, const char *display_name,
            const char *library_path, const char *text = nullptr, long number = 0) {
    if (!g_enumeration_observer) return;
    EnumerationEvent e = {kind, position, subkey, display_name, library_path, text, number};
    g_enumeration_observer(&e, g_enumeration_observer_context);
}

void hand_out(Walk *w, const char *display_name, const char *library_path, const char *extension_list) {
    w->running_result = w->action(display_name, library_path, extension_list, w->running_index, 1,
                                  w->export_flag, w->running_result, w->context);
    ++w->running_index;
}

bool selector_is(char a, char b) {
    // The single-character form: the character itself, not a string.
    char c = static_cast<char>(reinterpret_cast<UINT_PTR>(
        CharUpperA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(static_cast<unsigned char>(g_source_selector))))));
    return c == a || c == b;
}

void offer_built_ins(Walk *w) {
    HKEY key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, WORDPAD_COMMAND_KEY, &key) != ERROR_SUCCESS) {
        notify(ENUM_WORDPAD_KEY_MISSING, 0, nullptr, nullptr, nullptr);
        return;
    }
    // The candidate path is built in place of the command and may be one
    // character longer than it ("MSWD6_32.WPC" is longer than "WORDPAD.EXE");
    // the zeroed spare bytes keep it terminated even if the value was not.
    char command[REGISTRY_PATH_SIZE + 3] = {0};
    LONG size = REGISTRY_PATH_SIZE;
    if (RegQueryValueA(key, NULL, command, &size) != ERROR_SUCCESS) {
        notify(ENUM_WORDPAD_VALUE_UNREADABLE, 0, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return;
    }
    char *start = command[0] == '"' ? command + 1 : command;
    char upper[sizeof command];
    strcpy(upper, start);
    CharUpperA(upper);
    const char *match = strstr(upper, "WORDPAD.EXE");
    if (!match) {
        notify(ENUM_WORDPAD_OTHER_PROGRAM, 0, nullptr, nullptr, nullptr, start);
        RegCloseKey(key);
        return;
    }
    // Same distance into the original, so the directory keeps its case.
    char *file_name = start + (match - upper);
    notify(ENUM_BUILT_IN_FOLDER, 0, nullptr, nullptr, nullptr, start, static_cast<long>(file_name - start));
    int row_number = 0;
    for (const BuiltIn &row : BUILT_INS) {
        if (w->running_result != NOT_HANDLED) break;
        strcpy(file_name, row.file_name);
        if (!passes_exclusion_filter(start, w->export_flag))
            notify(ENUM_EXCLUDED, row_number, nullptr, row.display_name, start);
        else if (!file_exists(start))
            notify(ENUM_BUILT_IN_ABSENT, row_number, nullptr, row.display_name, start);
        else
            hand_out(w, row.display_name, start, row.extension_list);
        ++row_number;
    }
    RegCloseKey(key);
}

// Reads a value's bytes into buf, whatever its type, or leaves buf empty
// when the value is missing or does not fit together with a zero byte. An
// expandable string keeps its references; the spare zero bytes terminate a
// value that was stored without one.
void read_string_value(HKEY key, const char *name, char *buf, DWORD size) {
    memset(buf, 0, size);
    DWORD got = size;
    LONG rc = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE *>(buf), &got);
    // A value that fills the buffer without a zero byte is too long for the
    // field; cut, a path would name another file.
    if (rc != ERROR_SUCCESS || !memchr(buf, 0, size)) buf[0] = '\0';
}

void offer_registry(Walk *w, const char *key_path, char (&subkey_name)[100]) {
    HKEY converters;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, key_path, &converters) != ERROR_SUCCESS) {
        notify(ENUM_CONVERTER_KEY_MISSING, 0, nullptr, nullptr, nullptr, key_path);
        return;
    }
    for (DWORD position = 0;; ++position) {
        const int at = static_cast<int>(position);
        // Fails past the last subkey and for a name of 100 characters or
        // more: either way the walk ends here.
        LONG rc = RegEnumKeyA(converters, position, subkey_name, sizeof subkey_name);
        if (rc != ERROR_SUCCESS) {
            notify(ENUM_WALK_ENDED, at, nullptr, nullptr, nullptr, nullptr, rc);
            break;
        }
        if (w->running_result != NOT_HANDLED) break;
        if (subkey_name[0] == '.') {
            notify(ENUM_SUBKEY_DOT, at, subkey_name, nullptr, nullptr);
            continue;
        }
        char display_name[64] = "";
        char library_path[REGISTRY_PATH_SIZE] = "";
        char extension_list[100] = "";
        HKEY sub;
        bool opened = RegOpenKeyA(converters, subkey_name, &sub) == ERROR_SUCCESS;
        if (opened) {
            read_string_value(sub, "Name", display_name, sizeof display_name);
            read_string_value(sub, "Path", library_path, sizeof library_path);
            read_string_value(sub, "Extensions", extension_list, sizeof extension_list);
            RegCloseKey(sub);
        }
        notify(ENUM_SUBKEY, at, subkey_name, display_name, library_path, nullptr, opened);
        if (passes_exclusion_filter(library_path, w->export_flag))
            hand_out(w, display_name, library_path, extension_list);
        else
            notify(ENUM_EXCLUDED, at, subkey_name, display_name, library_path);
    }
    RegCloseKey(converters);
}

}  // namespace

int enumerate_converters(ConverterAction action, void *context, int export_flag) {
    char key_path[100];
    strcpy(key_path, CONVERTERS_KEY);
    strcat(key_path, export_flag ? "Export" : "Import");
    // The working buffer for subkey names lives on the stack, so it is
    // always there.
    char subkey_name[100];

    Walk w = {action, context, export_flag, 0, NOT_HANDLED};
    if (selector_is('W', 'Y')) offer_built_ins(&w);
    if (selector_is('X', 'Y')) offer_registry(&w, key_path, subkey_name);
    return w.running_result == NOT_HANDLED ? RESULT_NOT_TAKEN : w.running_result;
}
