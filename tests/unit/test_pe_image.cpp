// The PE reader and the verdict on synthetic images: headers, machine, the
// DLL flag and export names, and files that are short or lie about sizes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "info/library_verdict.h"
#include "info/pe_image.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct ImageShape {
    unsigned machine = PE_MACHINE_I386;
    bool plus = false;  // PE32+ optional header
    bool dll = true;
    std::vector<std::string> names;
    unsigned name_count = 0;       // 0: names.size()
    unsigned names_rva = 0x1040;   // the name pointer table
    size_t cut_to = 0;             // 0: the whole image
};

void put16(Bytes &b, size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void put32(Bytes &b, size_t at, unsigned v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// One section at RVA 0x1000 (file offset 0x200) holding the export
// directory, the name pointers at 0x1040 and the names from 0x1100.
Bytes image(const ImageShape &s) {
    Bytes b(0x200 + 0x400, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 60, 0x40);
    memcpy(&b[0x40], "PE\0\0", 4);
    const size_t fh = 0x44, opt = fh + 20;
    const unsigned optional_size = s.plus ? 240 : 224;
    put16(b, fh, s.machine);
    put16(b, fh + 2, 1);
    put16(b, fh + 16, optional_size);
    put16(b, fh + 18, s.dll ? 0x2102 : 0x0102);
    put16(b, opt, s.plus ? 0x20b : 0x10b);
    const size_t dirs = opt + (s.plus ? 108 : 92);
    put32(b, dirs, 16);
    put32(b, dirs + 4, s.names.empty() && !s.name_count ? 0 : 0x1000);
    put32(b, dirs + 8, 0x400);
    const size_t sec = opt + optional_size;
    put32(b, sec + 8, 0x400);
    put32(b, sec + 12, 0x1000);
    put32(b, sec + 16, 0x400);
    put32(b, sec + 20, 0x200);
    put32(b, 0x200 + 24, s.name_count ? s.name_count : static_cast<unsigned>(s.names.size()));
    put32(b, 0x200 + 32, s.names_rva);
    unsigned at = 0x1100;
    for (size_t i = 0; i < s.names.size(); ++i) {
        put32(b, 0x200 + 0x40 + 4 * i, at);
        memcpy(&b[0x200 + at - 0x1000], s.names[i].c_str(), s.names[i].size() + 1);
        at += static_cast<unsigned>(s.names[i].size()) + 1;
    }
    if (s.cut_to) b.resize(s.cut_to);
    return b;
}

PeFacts inspect(const Bytes &b) {
    PeBytes source = {b.data(), b.size()};
    return inspect_pe(pe_read_bytes, &source, ENTRY_POINT_NAMES, ENTRY_POINT_COUNT);
}

const unsigned INIT = 1, IS_FORMAT = 2, FOREIGN = 4, RTF_TO = 8;

TEST(PeImage, KindMachineAndExportNames) {
    ImageShape all;
    all.names = {"ForeignToRtf32", "InitConverter32", "IsFormatCorrect32", "RegisterApp", "RtfToForeign32"};
    ImageShape amd64 = all;
    amd64.machine = PE_MACHINE_AMD64;
    amd64.plus = true;
    ImageShape program = all;
    program.dll = false;
    ImageShape near_names;
    near_names.names = {"InitConverter32X", "initconverter32", "RtfToForeign", "RtfToForeign32"};
    ImageShape outside = all;
    outside.names_rva = 0x9000;  // in no section
    ImageShape huge_count;
    huge_count.names = {"InitConverter32"};
    huge_count.name_count = 0xFFFFFFFF;
    ImageShape name_cut;  // the last name runs into the end of the file
    name_cut.names = {"InitConverter32", "RtfToForeign32"};
    name_cut.cut_to = 0x200 + 0x100 + 16 + 8;
    ImageShape no_exports;
    Bytes dos_only = image(all);
    dos_only.resize(64);
    Bytes no_pe = image(all);
    no_pe[0x41] = 'X';
    Bytes far_header = image(all);
    put32(far_header, 60, 0x7FFFFFF0);

    struct Case {
        const char *what;
        Bytes bytes;
        PeKind kind;
        unsigned machine, found;
    } cases[] = {
        {"empty", Bytes(), PE_NOT_PE, 0, 0},
        {"text", Bytes(100, 'a'), PE_NOT_PE, 0, 0},
        {"dos header only", dos_only, PE_NOT_PE, 0, 0},
        {"no PE signature", no_pe, PE_NOT_PE, 0, 0},
        {"header offset past the end", far_header, PE_NOT_PE, 0, 0},
        {"i386 DLL", image(all), PE_DLL, PE_MACHINE_I386, INIT | IS_FORMAT | FOREIGN | RTF_TO},
        {"amd64 DLL", image(amd64), PE_DLL, PE_MACHINE_AMD64, INIT | IS_FORMAT | FOREIGN | RTF_TO},
        {"program", image(program), PE_NOT_DLL, PE_MACHINE_I386, INIT | IS_FORMAT | FOREIGN | RTF_TO},
        {"exact names only", image(near_names), PE_DLL, PE_MACHINE_I386, RTF_TO},
        {"name table outside the sections", image(outside), PE_DLL, PE_MACHINE_I386, 0},
        {"name count past the file", image(huge_count), PE_DLL, PE_MACHINE_I386, INIT},
        {"name cut by the end of the file", image(name_cut), PE_DLL, PE_MACHINE_I386, INIT},
        {"no export directory", image(no_exports), PE_DLL, PE_MACHINE_I386, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PeFacts f = inspect(c.bytes);
        EXPECT_EQ(f.kind, c.kind);
        if (c.kind != PE_NOT_PE) {
            EXPECT_EQ(f.machine, c.machine);
        }
        EXPECT_EQ(f.found_names, c.found);
    }
}

TEST(LibraryVerdict, ProblemsInOrderOfWhatTheLoaderMeetsFirst) {
    struct Case {
        LibraryFileStatus status;
        PeFacts facts;
        int export_flag;
        unsigned own;
        const char *expected;
    } cases[] = {
        {LIBRARY_NO_PATH, {}, 0, PE_MACHINE_I386, "no library path"},
        {LIBRARY_MISSING, {}, 1, PE_MACHINE_I386, "file missing"},
        {LIBRARY_UNREADABLE, {}, 1, PE_MACHINE_I386, "file unreadable (error 5)"},
        {LIBRARY_READ, {PE_NOT_PE, 0, 0}, 0, PE_MACHINE_I386, "not a Windows DLL"},
        {LIBRARY_READ, {PE_NOT_DLL, PE_MACHINE_I386, 15}, 0, PE_MACHINE_I386,
         "not a Windows DLL: a program, not a library"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_AMD64, 15}, 0, PE_MACHINE_I386,
         "64-bit library: only the x86_64 docvane can load it"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_I386, 15}, 1, PE_MACHINE_AMD64,
         "32-bit library: only the i686 docvane can load it"},
        {LIBRARY_READ, {PE_DLL, 0xAA64, 15}, 1, PE_MACHINE_AMD64,
         "library for machine type 0xaa64: docvane cannot load it"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_I386, INIT | RTF_TO}, 0, PE_MACHINE_I386,
         "lacks IsFormatCorrect32, ForeignToRtf32"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_I386, INIT | RTF_TO}, 1, PE_MACHINE_I386, "ok"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_I386, IS_FORMAT | FOREIGN}, 1, PE_MACHINE_I386,
         "lacks InitConverter32, RtfToForeign32"},
        {LIBRARY_READ, {PE_DLL, PE_MACHINE_AMD64, INIT | IS_FORMAT | FOREIGN}, 0, PE_MACHINE_AMD64, "ok"},
    };
    for (const Case &c : cases) {
        char out[160];
        int ok = library_verdict(c.status, 5, &c.facts, c.export_flag, c.own, out, sizeof out);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(ok, strcmp(c.expected, "ok") == 0) << c.expected;
    }
}

}  // namespace
