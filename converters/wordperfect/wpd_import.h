// The conversion itself, without Win32: a WordPerfect document's bytes in,
// RTF out through the host's chunks. Built natively too (tests, benchmark).
#pragma once

#include <cstddef>
#include <string>

// What the converter needs of its host during one conversion.
class ImportHost {
  public:
    virtual ~ImportHost() = default;
    // Progress while parsing, no data: 0 to go on, anything else stops.
    virtual long progress(int percent) = 0;
    // The largest chunk deliver takes (at least 1).
    virtual size_t chunk_size() const = 0;
    // One chunk of RTF: 0 to go on, anything else stops.
    virtual long deliver(const char *bytes, size_t count, int percent) = 0;
};

// true if libwpd takes the document as WordPerfect, encrypted ones included,
// and it is not Windows text. Reads only what libwpd's detection reads.
bool wpd_recognises(const unsigned char *data, size_t size);

// WordPerfect 4.2 documents have no header, and libwpd knows them by their
// content alone: it takes any file of bytes below 0xC0 with one byte in
// 0x80-0xBF, such as a Windows text file with a typographic quote or dash.
// WordPerfect ends a paragraph with LF alone (CR is its soft line end, never
// right before a hard one), so a file of bytes below 0xC0 only (no header,
// no multi-byte function code) that holds a CR LF pair is text: true.
bool wpd_windows_text(const unsigned char *data, size_t size);

// Parses the document into RTF and delivers it: head, body and tail, in
// chunks. Returns 0, a WordPerfectResult, or the host's own negative
// answer. source is emptied as soon as the parser has its copy.
int wpd_import(std::string &source, ImportHost &host);

// The host's answer as a converter result: 0 goes on, a negative low word is
// passed on, anything else is WP_RESULT_STOPPED.
int wpd_answer_result(long answer);

// Set when an allocation failed anywhere in the converter, libwpd included
// (libwpd turns every exception into a plain parse error). The library's
// allocation functions set it; wpd_import clears it when it starts.
extern volatile bool g_wpd_allocation_failed;
