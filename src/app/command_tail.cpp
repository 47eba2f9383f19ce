#include "app/command_tail.h"

static const char *skip_blanks(const char *p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

const char *command_line_tail(const char *p) {
    p = skip_blanks(p);
    if (*p == '"') {
        ++p;
        while (*p && *p != '"' && *p != '\t') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    if (*p == '"') ++p;
    return skip_blanks(p);
}
