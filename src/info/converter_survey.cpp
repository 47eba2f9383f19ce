#include "info/converter_survey.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "discovery/converter_enumerator.h"
#include "info/library_file.h"
#include "info/library_load.h"
#include "info/library_verdict.h"

namespace {

const char CONVERTERS_KEY[] = "SOFTWARE\\Microsoft\\Shared Tools\\Text Converters\\";

// What loading the library being judged would meet; big for the stack.
LibraryLoad g_load;

struct Survey {
    Report *report;
    ReportDirection *dir;
    int export_flag;
    int selector;        // index into SELECTORS
    int first_pass;      // the Y walk: every row is made here
    int in_registry;     // a subkey event came: the next hand-out is a registry converter
    int subkey_position;
    int subkey_opened;
    char subkey[100];
    int next_built_in_row;
};

void copy_text(char *to, size_t size, const char *from) { snprintf(to, size, "%s", from ? from : ""); }

ReportRow *passed_by(Survey *s, const EnumerationEvent *e, const char *format, ...) __attribute__((format(printf, 3, 4)));

// A row that takes no index, with the candidate the event names.
ReportRow *passed_by(Survey *s, const EnumerationEvent *e, const char *format, ...) {
    ReportRow *row = add_report_row(s->dir);
    if (!row) return nullptr;
    row->built_in = e->subkey == nullptr && e->position >= 0 && e->kind != ENUM_WALK_ENDED &&
                    e->kind != ENUM_CONVERTER_KEY_MISSING;
    // The key itself, not one of its subkeys.
    row->position = e->kind == ENUM_CONVERTER_KEY_MISSING ? -1 : e->position;
    copy_text(row->subkey, sizeof row->subkey, e->subkey);
    copy_text(row->display_name, sizeof row->display_name, e->display_name);
    copy_text(row->library_path, sizeof row->library_path, e->library_path);
    va_list args;
    va_start(args, format);
    vsnprintf(row->text, sizeof row->text, format, args);
    va_end(args);
    return row;
}

void describe_wordpad(Report *r, const EnumerationEvent *e) {
    switch (e->kind) {
    case ENUM_WORDPAD_KEY_MISSING:
        snprintf(r->wordpad, sizeof r->wordpad, "no open command registered: no built-in converters");
        break;
    case ENUM_WORDPAD_VALUE_UNREADABLE:
        snprintf(r->wordpad, sizeof r->wordpad,
                 "open command missing or longer than 260 characters: no built-in converters");
        break;
    case ENUM_WORDPAD_OTHER_PROGRAM:
        snprintf(r->wordpad, sizeof r->wordpad, "open command names another program, no built-in converters: %s",
                 e->text);
        break;
    case ENUM_BUILT_IN_FOLDER:
        snprintf(r->wordpad, sizeof r->wordpad, "built-in converters looked for in %.*s",
                 static_cast<int>(e->number), e->text);
        break;
    default:
        break;
    }
}

// The name at a position whose name did not fit the enumerator's buffer.
void long_subkey_name(int export_flag, int position, char *out, size_t size) {
    char key_path[100];
    snprintf(key_path, sizeof key_path, "%s%s", CONVERTERS_KEY, export_flag ? "Export" : "Import");
    out[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return;
    DWORD n = static_cast<DWORD>(size);
    if (RegEnumKeyExA(key, static_cast<DWORD>(position), out, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        out[0] = '\0';
    RegCloseKey(key);
}

void observe(const EnumerationEvent *e, void *context) {
    Survey *s = static_cast<Survey *>(context);
    if (e->kind == ENUM_SUBKEY) {
        s->in_registry = 1;
        s->subkey_position = e->position;
        s->subkey_opened = static_cast<int>(e->number);
        copy_text(s->subkey, sizeof s->subkey, e->subkey);
    }
    if ((e->kind == ENUM_EXCLUDED || e->kind == ENUM_BUILT_IN_ABSENT) && !e->subkey)
        s->next_built_in_row = e->position + 1;
    if (!s->first_pass) return;
    const char *direction = s->export_flag ? "export" : "import";
    switch (e->kind) {
    case ENUM_WORDPAD_KEY_MISSING:
    case ENUM_WORDPAD_VALUE_UNREADABLE:
    case ENUM_WORDPAD_OTHER_PROGRAM:
    case ENUM_BUILT_IN_FOLDER:
        if (!s->export_flag) describe_wordpad(s->report, e);
        break;
    case ENUM_BUILT_IN_ABSENT:
        passed_by(s, e, "built-in file absent");
        break;
    case ENUM_EXCLUDED:
        passed_by(s, e, "library excluded for %s", direction);
        break;
    case ENUM_CONVERTER_KEY_MISSING:
        passed_by(s, e, "no registered converters: HKEY_LOCAL_MACHINE\\%s missing", e->text);
        break;
    case ENUM_SUBKEY_DOT:
        passed_by(s, e, "subkey name begins with \".\"");
        break;
    case ENUM_WALK_ENDED:
        if (e->number == ERROR_MORE_DATA) {
            ReportRow *row = passed_by(s, e, "subkey name of 100 characters or more: the walk ends here, "
                                             "later subkeys take no index");
            if (row) long_subkey_name(s->export_flag, e->position, row->subkey, sizeof row->subkey);
        } else if (e->number != ERROR_NO_MORE_ITEMS) {
            passed_by(s, e, "the registry walk ends here (error %ld)", e->number);
        }
        break;
    default:
        break;
    }
}

bool same_converter(const ReportRow &row, int built_in, int position, const char *library_path) {
    return row.numbered && row.built_in == built_in && row.position == position &&
           !strcmp(row.library_path, library_path);
}

int take_nothing(const char *display_name, const char *library_path, const char *extension_list, int running_index,
                 int, int, int running_result, void *context) {
    Survey *s = static_cast<Survey *>(context);
    int built_in = !s->in_registry;
    int position = built_in ? s->next_built_in_row++ : s->subkey_position;
    ReportRow *row = nullptr;
    for (int i = 0; i < s->dir->row_count && !row; ++i)
        if (same_converter(s->dir->rows[i], built_in, position, library_path)) row = &s->dir->rows[i];
    // Later walks find their rows; one they do not find came into the
    // registry in between and gets a row of its own.
    if (!row) {
        row = add_report_row(s->dir);
        if (!row) return running_result;
        row->numbered = 1;
        row->built_in = built_in;
        row->position = position;
        copy_text(row->display_name, sizeof row->display_name, display_name);
        copy_text(row->library_path, sizeof row->library_path, library_path);
        copy_text(row->extension_list, sizeof row->extension_list, extension_list);
        if (!built_in) {
            copy_text(row->subkey, sizeof row->subkey, s->subkey);
            // Noted here, completed by the library check.
            if (!s->subkey_opened) snprintf(row->text, sizeof row->text, "subkey cannot be opened");
        }
    }
    row->index[s->selector] = running_index;
    return running_result;
}

}  // namespace

void survey_converters(Report *r, unsigned own_machine) {
    const char saved_selector = g_source_selector;
    Survey s;
    g_enumeration_observer = observe;
    g_enumeration_observer_context = &s;
    // Y first: it consults both sources, so its walk makes every row and
    // sees all that is passed by; W and X then add their indices.
    const int order[SELECTOR_COUNT] = {2, 0, 1};
    for (int d = 0; d < 2; ++d) {
        for (int selector : order) {
            memset(&s, 0, sizeof s);
            s.report = r;
            s.dir = &r->directions[d];
            s.export_flag = d;
            s.selector = selector;
            s.first_pass = selector == 2;
            g_source_selector = SELECTORS[selector];
            enumerate_converters(take_nothing, &s, d);
        }
    }
    g_enumeration_observer = nullptr;
    g_enumeration_observer_context = nullptr;
    g_source_selector = saved_selector;

    start_library_search(own_machine);
    for (int d = 0; d < 2; ++d) {
        ReportDirection &dir = r->directions[d];
        for (int i = 0; i < dir.row_count; ++i) {
            ReportRow &row = dir.rows[i];
            if (!row.numbered) continue;
            PeFacts facts;
            unsigned long error;
            LibraryFileStatus status = read_library_facts(row.library_path, &facts, &error);
            // The loader goes on only with a DLL of its own machine.
            LibraryLoad *followed = nullptr;
            if (status == LIBRARY_READ && facts.kind == PE_DLL && facts.machine == own_machine) {
                check_library_load(row.library_path, &facts, &g_load);
                followed = &g_load;
            }
            char verdict[REPORT_TEXT_SIZE];
            row.usable = library_verdict(status, error, &facts, followed, d, own_machine, verdict, sizeof verdict);
            char note[REPORT_TEXT_SIZE];
            copy_text(note, sizeof note, row.text);
            if (note[0])
                snprintf(row.text, sizeof row.text, "%s; %s", note, verdict);
            else
                copy_text(row.text, sizeof row.text, verdict);
        }
    }
}
