#include "info/manifest.h"

#include <stdio.h>
#include <string.h>

namespace {

// One tag: where its name and attributes lie, whether it closes or is
// empty. Names are compared without a namespace prefix ("asmv1:file").
struct Tag {
    const char *name;
    size_t name_length;
    const char *attributes;
    size_t attributes_length;
    bool closing, empty;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The next element tag from *at on; comments, declarations and processing
// instructions are passed over. False at the end of the text.
bool next_tag(const char *xml, size_t length, size_t *at, Tag *tag) {
    for (;;) {
        const char *open = static_cast<const char *>(memchr(xml + *at, '<', length - *at));
        if (!open) return false;
        size_t start = static_cast<size_t>(open - xml) + 1;
        if (start + 3 <= length && !memcmp(xml + start, "!--", 3)) {
            size_t i = start + 3;
            while (i + 3 <= length && memcmp(xml + i, "-->", 3)) ++i;
            *at = i + 3 <= length ? i + 3 : length;
            continue;
        }
        // A '>' inside a quoted attribute value does not end the tag.
        size_t end = start;
        char quote = 0;
        while (end < length && (quote || xml[end] != '>')) {
            if (quote && xml[end] == quote)
                quote = 0;
            else if (!quote && (xml[end] == '"' || xml[end] == '\''))
                quote = xml[end];
            ++end;
        }
        if (end >= length) return false;
        *at = end + 1;
        if (xml[start] == '?' || xml[start] == '!') continue;
        tag->closing = xml[start] == '/';
        if (tag->closing) ++start;
        tag->empty = end > start && xml[end - 1] == '/';
        size_t name_end = start;
        while (name_end < end && !is_space(xml[name_end]) && xml[name_end] != '/') ++name_end;
        tag->name = xml + start;
        tag->name_length = name_end - start;
        for (size_t i = start; i < name_end; ++i)
            if (xml[i] == ':') {
                tag->name = xml + i + 1;
                tag->name_length = name_end - i - 1;
            }
        tag->attributes = xml + name_end;
        tag->attributes_length = end - name_end;
        return true;
    }
}

bool tag_is(const Tag &tag, const char *name) {
    size_t n = strlen(name);
    return tag.name_length == n && !strncmp(tag.name, name, n);
}

// An attribute's value (any namespace prefix, names compared as written),
// cut to size - 1 bytes; "" when absent.
void attribute(const Tag &tag, const char *name, char *out, size_t size) {
    out[0] = '\0';
    const char *p = tag.attributes, *end = tag.attributes + tag.attributes_length;
    size_t wanted = strlen(name);
    while (p < end) {
        while (p < end && (is_space(*p) || *p == '/')) ++p;
        const char *key = p;
        while (p < end && *p != '=' && !is_space(*p)) ++p;
        const char *key_end = p;
        while (p < end && is_space(*p)) ++p;
        if (p >= end || *p != '=') continue;
        ++p;
        while (p < end && is_space(*p)) ++p;
        if (p >= end || (*p != '"' && *p != '\'')) return;
        char quote = *p++;
        const char *value = p;
        while (p < end && *p != quote) ++p;
        for (const char *c = key; c < key_end; ++c)
            if (*c == ':') key = c + 1;
        if (static_cast<size_t>(key_end - key) == wanted && !strncmp(key, name, wanted)) {
            snprintf(out, size, "%.*s", static_cast<int>(p - value), value);
            return;
        }
        if (p < end) ++p;
    }
}

}  // namespace

int manifest_dependencies(const char *xml, size_t length, AssemblyIdentity *out, int max) {
    size_t at = 0;
    int count = 0, depth = 0;
    Tag tag;
    while (count < max && next_tag(xml, length, &at, &tag)) {
        if (tag_is(tag, "dependentAssembly")) {
            if (tag.closing)
                depth = depth > 0 ? depth - 1 : 0;
            else if (!tag.empty)
                ++depth;
            continue;
        }
        if (!depth || tag.closing || !tag_is(tag, "assemblyIdentity")) continue;
        AssemblyIdentity *a = &out[count++];
        attribute(tag, "name", a->name, sizeof a->name);
        attribute(tag, "version", a->version, sizeof a->version);
        attribute(tag, "processorArchitecture", a->arch, sizeof a->arch);
        attribute(tag, "publicKeyToken", a->token, sizeof a->token);
        attribute(tag, "language", a->language, sizeof a->language);
    }
    return count;
}

int manifest_files(const char *xml, size_t length, char (*out)[PE_LIBRARY_NAME_SIZE], int max) {
    size_t at = 0;
    int count = 0;
    Tag tag;
    while (count < max && next_tag(xml, length, &at, &tag)) {
        if (tag.closing || !tag_is(tag, "file")) continue;
        attribute(tag, "name", out[count], PE_LIBRARY_NAME_SIZE);
        if (out[count][0]) ++count;
    }
    return count;
}

bool parse_assembly_version(const char *text, unsigned parts[4]) {
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        if (*p < '0' || *p > '9') return false;
        unsigned long v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<unsigned>(*p++ - '0');
            if (v > 0xFFFF) return false;
        }
        parts[i] = static_cast<unsigned>(v);
        if (i < 3 && *p++ != '.') return false;
    }
    return *p == '\0';
}

int compare_assembly_versions(const unsigned a[4], const unsigned b[4]) {
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

bool manifest_redirect(const char *xml, size_t length, const char *version, char *new_version, size_t size) {
    unsigned wanted[4];
    if (!parse_assembly_version(version, wanted)) return false;
    size_t at = 0;
    Tag tag;
    while (next_tag(xml, length, &at, &tag)) {
        if (tag.closing || !tag_is(tag, "bindingRedirect")) continue;
        char old_range[80], low_text[80], high_text[80], target[32];
        attribute(tag, "oldVersion", old_range, sizeof old_range);
        attribute(tag, "newVersion", target, sizeof target);
        const char *dash = strchr(old_range, '-');
        snprintf(low_text, sizeof low_text, "%.*s", dash ? static_cast<int>(dash - old_range) : 79, old_range);
        snprintf(high_text, sizeof high_text, "%s", dash ? dash + 1 : old_range);
        unsigned low[4], high[4], to[4];
        if (!parse_assembly_version(low_text, low) || !parse_assembly_version(high_text, high) ||
            !parse_assembly_version(target, to))
            continue;
        if (compare_assembly_versions(wanted, low) >= 0 && compare_assembly_versions(wanted, high) <= 0) {
            snprintf(new_version, size, "%s", target);
            return true;
        }
    }
    return false;
}
