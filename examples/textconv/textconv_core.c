#include "textconv_core.h"

#include <string.h>

/* ---- Format test ---------------------------------------------------- */

static int is_rtf_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int tc_is_plain_text(const unsigned char *head, size_t n) {
    if (memchr(head, 0, n)) return 0;
    size_t i = 0;
    while (i < n && is_rtf_space(head[i])) ++i;
    /* A document that is RTF already is not ours to import. */
    return !(n - i >= 5 && memcmp(head + i, "{\\rtf", 5) == 0);
}

/* ---- Text to RTF ---------------------------------------------------- */

static const char RTF_HEADER[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
    "\\pard\\plain\\f0\\fs20 ";
static const char RTF_TRAILER[] = "}\r\n";

typedef struct {
    tc_chunk_fn deliver;
    void *ctx;
    char *chunk;
    size_t cap;
    size_t len;
    long long consumed;
    long long total;
    int result;
} rtf_out;

static int percent_of(long long consumed, long long total) {
    if (total <= 0) return 0;
    if (consumed >= total) return 100;
    return (int)(consumed * 100 / total);
}

static int flush(rtf_out *o, int percent) {
    long rc = o->deliver(o->ctx, o->chunk, o->len, percent);
    o->len = 0;
    if (rc != 0) {
        /* The host's own negative answer says most; anything else is a plain
         * request to stop. */
        short low = (short)(rc & 0xFFFF);
        o->result = low < 0 ? low : TC_ERR_STOPPED;
        return 0;
    }
    return 1;
}

/* The chunk is sent only when a byte does not fit, so the last chunk always
 * holds something and carries 100%. */
static int put(rtf_out *o, const char *s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (o->len == o->cap && !flush(o, percent_of(o->consumed, o->total))) return 0;
        o->chunk[o->len++] = s[i];
    }
    return 1;
}

static int put_byte(rtf_out *o, unsigned char c, int *after_cr) {
    static const char hex[] = "0123456789abcdef";
    int was_cr = *after_cr;
    *after_cr = c == '\r';
    switch (c) {
    case '\r':
        return put(o, "\\par\r\n", 6);
    case '\n':
        /* CR LF, LF and CR alone each end one paragraph. */
        return was_cr ? 1 : put(o, "\\par\r\n", 6);
    case '\t':
        return put(o, "\\tab ", 5);
    case '\\':
    case '{':
    case '}': {
        char esc[2] = {'\\', (char)c};
        return put(o, esc, 2);
    }
    default:
        if (c >= 0x80 || c < 0x20) {
            char esc[4] = {'\\', '\'', hex[c >> 4], hex[c & 15]};
            return put(o, esc, 4);
        }
        return put(o, (const char *)&c, 1);
    }
}

int tc_text_to_rtf(tc_read_fn read, void *read_ctx, long long total, tc_chunk_fn deliver, void *deliver_ctx,
                   char *chunk, size_t chunk_cap) {
    if (!chunk || chunk_cap == 0) return TC_ERR_NO_MEMORY;
    rtf_out o = {deliver, deliver_ctx, chunk, chunk_cap, 0, 0, total, TC_OK};
    if (!put(&o, RTF_HEADER, sizeof RTF_HEADER - 1)) return o.result;

    unsigned char buf[1024];
    int after_cr = 0;
    for (;;) {
        long n = read(read_ctx, buf, sizeof buf);
        if (n < 0) return TC_ERR_READ;
        if (n == 0) break;
        for (long i = 0; i < n; ++i) {
            ++o.consumed;
            if (!put_byte(&o, buf[i], &after_cr)) return o.result;
        }
    }
    if (!put(&o, RTF_TRAILER, sizeof RTF_TRAILER - 1)) return o.result;
    flush(&o, 100);
    return o.result;
}

/* ---- RTF to text ---------------------------------------------------- */

enum { S_TEXT, S_ESCAPE, S_WORD, S_PARAM, S_HEX1, S_HEX2, S_BIN };

/* Groups whose text is not part of the document's text. */
static const char *const SKIPPED_DESTINATIONS[] = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "objdata", "header", "headerl",
    "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "fldinst",
    "listtable", "listoverridetable", "revtbl", "rsidtbl", "generator", "filetbl", "xmlnstbl", "themedata",
    "colorschememapping", "latentstyles", "datastore", "bkmkstart", "bkmkend", "pgdsctbl", "xe", "tc"};

/* Control words that stand for text. */
static const struct {
    const char *word;
    const char *text;
} TEXT_WORDS[] = {
    {"par", "\r\n"},     {"line", "\r\n"},    {"sect", "\r\n"},      {"page", "\r\n"},
    {"row", "\r\n"},     {"tab", "\t"},       {"cell", "\t"},        {"emdash", "\x97"},
    {"endash", "\x96"},  {"lquote", "\x91"},  {"rquote", "\x92"},    {"ldblquote", "\x93"},
    {"rdblquote", "\x94"}, {"bullet", "\x95"}, {"emspace", " "},     {"enspace", " "},
};

int tc_cp1252_from_unicode(long cp) {
    static const unsigned short HIGH[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (cp < 0) return -1;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return (int)cp;
    for (int i = 0; i < 32; ++i)
        if (HIGH[i] != 0 && HIGH[i] == cp) return 0x80 + i;
    return -1;
}

void tc_decoder_init(tc_decoder *d, tc_write_fn write, void *write_ctx) {
    memset(d, 0, sizeof *d);
    d->write = write;
    d->write_ctx = write_ctx;
    d->state = S_TEXT;
}

static int fail(tc_decoder *d, int error) {
    if (d->error == 0) d->error = error;
    return d->error;
}

static tc_group *current(tc_decoder *d) { return &d->groups[d->depth - 1]; }

static void out_flush(tc_decoder *d) {
    if (d->out_len && d->write(d->write_ctx, d->out, d->out_len) != 0) fail(d, TC_ERR_WRITE);
    d->out_len = 0;
}

static void out_text(tc_decoder *d, const char *s, size_t n) {
    if (d->depth == 0 || current(d)->skip) return;
    for (size_t i = 0; i < n; ++i) {
        if (d->out_len == sizeof d->out) out_flush(d);
        d->out[d->out_len++] = s[i];
    }
}

/* One character of document text (literal, \'xx, escaped symbol): dropped
 * while it is the fallback of a \uN. */
static void text_char(tc_decoder *d, unsigned char c) {
    if (d->fallback_left > 0) {
        --d->fallback_left;
        return;
    }
    out_text(d, (const char *)&c, 1);
}

static void open_group(tc_decoder *d) {
    if (d->depth == TC_MAX_DEPTH) {
        fail(d, TC_ERR_INVALID_DOC);
        return;
    }
    tc_group g = {0, 1};
    if (d->depth > 0) g = *current(d);
    d->groups[d->depth++] = g;
    d->group_start = 1;
    d->fallback_left = 0;
}

static void close_group(tc_decoder *d) {
    if (d->depth == 0) {
        fail(d, TC_ERR_INVALID_DOC);
        return;
    }
    if (--d->depth == 0) d->ended = 1;
    d->group_start = 0;
    d->fallback_left = 0;
}

static void control_word(tc_decoder *d) {
    const char *w = d->word;
    int has_param = d->digit_len > 0 && !(d->digit_len == 1 && d->digits[0] == '-');
    long long param = 0;
    if (has_param) {
        int i = d->digits[0] == '-';
        for (; i < d->digit_len; ++i) param = param * 10 + (d->digits[i] - '0');
        if (d->digits[0] == '-') param = -param;
    }
    int at_start = d->group_start;
    d->group_start = 0;

    if (!d->seen_header) {
        /* The document must open with "{\rtf". */
        if (d->depth == 1 && at_start && strcmp(w, "rtf") == 0)
            d->seen_header = 1;
        else
            fail(d, TC_ERR_INVALID_DOC);
        return;
    }
    if (strcmp(w, "bin") == 0) {
        if (param < 0) {
            fail(d, TC_ERR_INVALID_DOC);
            return;
        }
        d->skip_bytes = param;
        if (param > 0) d->state = S_BIN;
        return;
    }
    if (strcmp(w, "uc") == 0) {
        current(d)->uc = (unsigned char)(param < 0 ? 0 : param > 255 ? 255 : param);
        return;
    }
    if (d->fallback_left > 0) {
        --d->fallback_left;
        return;
    }
    if (strcmp(w, "u") == 0) {
        if (!has_param) return;
        long cp = (long)(param < 0 ? param + 65536 : param);
        int b = tc_cp1252_from_unicode(cp);
        if (b > 0) {
            char c = (char)b;
            out_text(d, &c, 1);
            d->fallback_left = current(d)->uc;
        }
        /* Otherwise the fallback that follows stands for it. */
        return;
    }
    for (size_t i = 0; i < sizeof SKIPPED_DESTINATIONS / sizeof *SKIPPED_DESTINATIONS; ++i) {
        if (strcmp(w, SKIPPED_DESTINATIONS[i]) == 0) {
            current(d)->skip = 1;
            return;
        }
    }
    for (size_t i = 0; i < sizeof TEXT_WORDS / sizeof *TEXT_WORDS; ++i) {
        if (strcmp(w, TEXT_WORDS[i].word) == 0) {
            out_text(d, TEXT_WORDS[i].text, strlen(TEXT_WORDS[i].text));
            return;
        }
    }
}

static int hex_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static int is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static int is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

static void control_symbol(tc_decoder *d, unsigned char c) {
    d->group_start = 0;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        text_char(d, c);
        break;
    case '~':
        text_char(d, 0xA0);
        break;
    case '_':
        text_char(d, '-');
        break;
    case '*':
        /* An optional destination: a reader that does not know it skips it. */
        current(d)->skip = 1;
        break;
    case '\r':
    case '\n':
        if (d->fallback_left > 0)
            --d->fallback_left;
        else
            out_text(d, "\r\n", 2);
        break;
    default:
        /* \- (optional hyphen), \| and the like have no text. */
        if (d->fallback_left > 0) --d->fallback_left;
        break;
    }
}

static void text_byte(tc_decoder *d, unsigned char c) {
    if (d->ended) return; /* whatever follows the document is not part of it */
    if (!d->seen_header) {
        if (c == '{' && d->depth == 0) {
            open_group(d);
            return;
        }
        if (c == '\\' && d->depth == 1 && d->group_start) {
            d->state = S_ESCAPE;
            return;
        }
        if (d->depth == 0 && is_rtf_space(c)) return;
        fail(d, TC_ERR_INVALID_DOC);
        return;
    }
    switch (c) {
    case '\\':
        d->state = S_ESCAPE;
        break;
    case '{':
        open_group(d);
        break;
    case '}':
        close_group(d);
        break;
    case '\r':
    case '\n':
        break;
    default:
        if (c < 0x20 && c != '\t') break;
        d->group_start = 0;
        text_char(d, c);
        break;
    }
}

static void feed_byte(tc_decoder *d, unsigned char c) {
    switch (d->state) {
    case S_TEXT:
        text_byte(d, c);
        return;
    case S_ESCAPE:
        if (is_letter(c)) {
            d->word[0] = (char)c;
            d->word_len = 1;
            d->digit_len = 0;
            d->state = S_WORD;
        } else if (!d->seen_header) {
            fail(d, TC_ERR_INVALID_DOC);
        } else if (c == '\'') {
            d->state = S_HEX1;
        } else {
            d->state = S_TEXT;
            control_symbol(d, c);
        }
        return;
    case S_WORD:
        if (is_letter(c)) {
            if (d->word_len == TC_MAX_WORD) {
                fail(d, TC_ERR_INVALID_DOC);
                return;
            }
            d->word[d->word_len++] = (char)c;
            return;
        }
        d->word[d->word_len] = '\0';
        if (is_digit(c) || c == '-') {
            d->digits[0] = (char)c;
            d->digit_len = 1;
            d->state = S_PARAM;
            return;
        }
        break;
    case S_PARAM:
        if (is_digit(c)) {
            /* A sign and ten digits at most. */
            if (d->digit_len == (int)sizeof d->digits - 1) {
                fail(d, TC_ERR_INVALID_DOC);
                return;
            }
            d->digits[d->digit_len++] = (char)c;
            return;
        }
        break;
    case S_HEX1:
    case S_HEX2: {
        int v = hex_digit(c);
        if (v < 0) {
            fail(d, TC_ERR_INVALID_DOC);
            return;
        }
        if (d->state == S_HEX1) {
            d->hex_value = v;
            d->state = S_HEX2;
        } else {
            d->state = S_TEXT;
            d->group_start = 0;
            text_char(d, (unsigned char)(d->hex_value * 16 + v));
        }
        return;
    }
    case S_BIN:
        if (--d->skip_bytes == 0) d->state = S_TEXT;
        return;
    }

    /* A control word has ended at c: a blank belongs to it, anything else is
     * read again as what follows. */
    d->state = S_TEXT;
    control_word(d);
    if (d->error || c == ' ') return;
    feed_byte(d, c);
}

int tc_decoder_feed(tc_decoder *d, const unsigned char *bytes, size_t n) {
    for (size_t i = 0; i < n && !d->error; ++i) feed_byte(d, bytes[i]);
    return d->error;
}

int tc_decoder_finish(tc_decoder *d) {
    if (d->error) return d->error;
    /* A control word at the very end still counts. */
    if (d->state == S_WORD || d->state == S_PARAM) {
        if (d->state == S_WORD) d->word[d->word_len] = '\0';
        d->state = S_TEXT;
        control_word(d);
    }
    if (d->error) return d->error;
    /* A document that stops inside a group or an escape is cut short. */
    if (!d->ended) return fail(d, TC_ERR_INVALID_DOC);
    out_flush(d);
    return d->error;
}
