// The PE reader and the verdict on synthetic images: headers, machine, the
// DLL flag, export names as the loader finds them, imported libraries, and
// files that are short or lie about sizes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "info/info_report.h"
#include "info/library_verdict.h"
#include "info/manifest.h"
#include "info/pe_image.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct ImageShape {
    unsigned machine = PE_MACHINE_I386;
    bool plus = false;  // PE32+ optional header
    bool dll = true;
    std::vector<std::string> names;  // in table order
    std::vector<unsigned> addresses; // per name; missing: an address inside the image
    std::vector<std::string> forwards;  // per name; non-empty: a forwarder to it
    unsigned name_count = 0;       // 0: names.size()
    unsigned names_rva = 0x1040;   // the name pointer table
    std::vector<std::string> imports, delayed;  // imported libraries
    bool old_delay_table = false;  // delay-load names as addresses, not offsets
    // Per import: its functions, "#7" for an ordinal.
    std::vector<std::vector<std::string>> functions;
    bool no_lookup_table = false;  // functions named by the address table only
    unsigned ordinal_base = 0;
    std::string manifest;          // a manifest resource, if not empty
    unsigned manifest_id = 2;
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

const unsigned IMAGE_SIZE = 0x3000, IMAGE_BASE = 0x10000000;

// One section at RVA 0x1000 (file offset 0x200), the export directory's
// 0x300 bytes first: the name pointers at 0x1040, the ordinals at 0x1080,
// the addresses at 0x10A0, the names from 0x1100, forwarder texts from
// 0x1280; then import descriptors at 0x1300, delay-load ones at 0x1340 and
// library names from 0x13A0; lookup tables from 0x1400 and address tables
// from 0x1500, 0x40 bytes per library, function names from 0x1600; the
// resource directory at 0x1800 and the manifest from 0x1880. Code would lie
// at 0x2000.
Bytes image(const ImageShape &s) {
    Bytes b(0x200 + 0xC00, 0);
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
    put32(b, opt + (s.plus ? 24 : 28), IMAGE_BASE);
    put32(b, opt + 56, IMAGE_SIZE);
    const size_t dirs = opt + (s.plus ? 108 : 92);
    put32(b, dirs, 16);
    put32(b, dirs + 4, s.names.empty() && !s.name_count ? 0 : 0x1000);
    put32(b, dirs + 8, 0x300);
    const size_t sec = opt + optional_size;
    put32(b, sec + 8, 0xC00);
    put32(b, sec + 12, 0x1000);
    put32(b, sec + 16, 0xC00);
    put32(b, sec + 20, 0x200);
    const size_t dir = 0x200;
    put32(b, dir + 16, s.ordinal_base);
    put32(b, dir + 20, static_cast<unsigned>(s.names.size()));
    put32(b, dir + 24, s.name_count ? s.name_count : static_cast<unsigned>(s.names.size()));
    put32(b, dir + 28, 0x10A0);
    put32(b, dir + 32, s.names_rva);
    put32(b, dir + 36, 0x1080);
    unsigned at = 0x1100, forward_at = 0x1280;
    for (size_t i = 0; i < s.names.size(); ++i) {
        put32(b, 0x200 + 0x40 + 4 * i, at);
        put16(b, 0x200 + 0x80 + 2 * i, static_cast<unsigned>(i));
        unsigned address = i < s.addresses.size() ? s.addresses[i] : 0x2000 + 16 * static_cast<unsigned>(i);
        if (i < s.forwards.size() && !s.forwards[i].empty()) {
            address = forward_at;
            memcpy(&b[0x200 + forward_at - 0x1000], s.forwards[i].c_str(), s.forwards[i].size() + 1);
            forward_at += static_cast<unsigned>(s.forwards[i].size()) + 1;
        }
        put32(b, 0x200 + 0xA0 + 4 * i, address);
        memcpy(&b[0x200 + at - 0x1000], s.names[i].c_str(), s.names[i].size() + 1);
        at += static_cast<unsigned>(s.names[i].size()) + 1;
    }
    unsigned name_at = 0x13A0;
    auto library_name = [&](const std::string &name) {
        memcpy(&b[0x200 + name_at - 0x1000], name.c_str(), name.size() + 1);
        unsigned rva = name_at;
        name_at += static_cast<unsigned>(name.size()) + 1;
        return rva;
    };
    if (!s.imports.empty()) put32(b, dirs + 4 + 8, 0x1300);
    unsigned function_at = 0x1600;
    for (size_t i = 0; i < s.imports.size(); ++i) {
        put32(b, 0x200 + 0x300 + 20 * i + 12, library_name(s.imports[i]));
        const unsigned lookup = 0x1400 + 0x40 * static_cast<unsigned>(i), address = lookup + 0x100;
        put32(b, 0x200 + 0x300 + 20 * i, s.no_lookup_table ? 0 : lookup);
        put32(b, 0x200 + 0x300 + 20 * i + 16, address);
        const unsigned thunk = s.plus ? 8 : 4;
        for (size_t k = 0; i < s.functions.size() && k < s.functions[i].size(); ++k) {
            const std::string &f = s.functions[i][k];
            unsigned low, high = 0;
            if (f[0] == '#') {
                low = static_cast<unsigned>(std::stoul(f.substr(1)));
                if (s.plus)
                    high = 0x80000000u;
                else
                    low |= 0x80000000u;
            } else {
                low = function_at;
                put16(b, 0x200 + function_at - 0x1000, 0);  // the hint
                memcpy(&b[0x200 + function_at - 0x1000 + 2], f.c_str(), f.size() + 1);
                function_at += static_cast<unsigned>(f.size()) + 3;
            }
            for (unsigned table : {lookup, address}) {
                put32(b, 0x200 + table - 0x1000 + thunk * static_cast<unsigned>(k), low);
                if (s.plus) put32(b, 0x200 + table - 0x1000 + thunk * static_cast<unsigned>(k) + 4, high);
            }
        }
    }
    if (!s.manifest.empty()) {
        // Type 24, then the id, then one language: 16-byte directories with
        // one 8-byte entry each, and the data entry.
        put32(b, dirs + 4 + 2 * 8, 0x1800);
        put32(b, dirs + 8 + 2 * 8, 0x100);
        const size_t r = 0x200 + 0x800;
        const unsigned ids[3] = {24, s.manifest_id, 0x409};
        for (unsigned level = 0; level < 3; ++level) {
            put16(b, r + 0x18 * level + 14, 1);
            put32(b, r + 0x18 * level + 16, ids[level]);
            put32(b, r + 0x18 * level + 20, level < 2 ? (0x80000000u | 0x18 * (level + 1)) : 0x48);
        }
        put32(b, r + 0x48, 0x1880);
        put32(b, r + 0x4C, static_cast<unsigned>(s.manifest.size()));
        memcpy(&b[0x200 + 0x880], s.manifest.data(), s.manifest.size());
    }
    if (!s.delayed.empty()) put32(b, dirs + 4 + 13 * 8, 0x1340);
    for (size_t i = 0; i < s.delayed.size(); ++i) {
        unsigned rva = library_name(s.delayed[i]);
        put32(b, 0x200 + 0x340 + 32 * i, s.old_delay_table ? 0 : 1);
        put32(b, 0x200 + 0x340 + 32 * i + 4, s.old_delay_table ? rva + IMAGE_BASE : rva);
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
    near_names.names = {"InitConverter32X", "RtfToForeign", "RtfToForeign32", "initconverter32"};
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
        // The search runs off the table; the name is there, but not where the
        // loader would find it.
        {"name count past the file", image(huge_count), PE_DLL, PE_MACHINE_I386, 0},
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

TEST(PeImage, ExportsAsTheLoaderFindsThem) {
    // Wanted: InitConverter32, IsFormatCorrect32, ForeignToRtf32, RtfToForeign32.
    ImageShape reversed;
    reversed.names = {"RtfToForeign32", "IsFormatCorrect32", "InitConverter32", "ForeignToRtf32"};
    ImageShape addresses;
    addresses.names = {"ForeignToRtf32", "InitConverter32", "IsFormatCorrect32", "RtfToForeign32"};
    addresses.addresses = {0, IMAGE_SIZE - 1, IMAGE_SIZE, 0xFFFFFFF0};
    ImageShape forwarded;
    forwarded.names = {"InitConverter32", "RtfToForeign32"};
    forwarded.forwards = {"", "OTHER.RealRtfToForeign32"};
    ImageShape bad_ordinal;  // the ordinal table points past the addresses
    bad_ordinal.names = {"InitConverter32"};
    Bytes bad_ordinal_bytes = image(bad_ordinal);
    put16(bad_ordinal_bytes, 0x280, 5);

    struct Case {
        const char *what;
        Bytes bytes;
        PeExportKind kinds[4];
        unsigned found;
    } cases[] = {
        // A binary search over the reversed table meets IsFormatCorrect32
        // first and so finds it; the rest only a scan finds.
        {"reversed name table", image(reversed),
         {PE_EXPORT_OUT_OF_ORDER, PE_EXPORT_FOUND, PE_EXPORT_OUT_OF_ORDER, PE_EXPORT_OUT_OF_ORDER}, IS_FORMAT},
        {"zero, last and outside addresses", image(addresses),
         {PE_EXPORT_FOUND, PE_EXPORT_OUTSIDE_IMAGE, PE_EXPORT_NO_ADDRESS, PE_EXPORT_OUTSIDE_IMAGE}, INIT},
        {"forwarded", image(forwarded), {PE_EXPORT_FOUND, PE_EXPORT_ABSENT, PE_EXPORT_ABSENT, PE_EXPORT_FORWARDED},
         INIT},
        {"ordinal without an address", bad_ordinal_bytes,
         {PE_EXPORT_NO_ADDRESS, PE_EXPORT_ABSENT, PE_EXPORT_ABSENT, PE_EXPORT_ABSENT}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PeFacts f = inspect(c.bytes);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(f.exports[i], c.kinds[i]) << ENTRY_POINT_NAMES[i];
        EXPECT_EQ(f.found_names, c.found);
    }
    EXPECT_STREQ(inspect(image(forwarded)).forward[3], "OTHER.RealRtfToForeign32");
}

TEST(PeImage, ImportedLibrariesInTableOrder) {
    ImageShape both;
    both.names = {"InitConverter32"};
    both.imports = {"KERNEL32.dll", "dv_dep.dll"};
    both.delayed = {"WINSPOOL.DRV"};
    ImageShape old_delay = both;
    old_delay.old_delay_table = true;
    ImageShape plus = both;
    plus.plus = true;
    plus.machine = PE_MACHINE_AMD64;
    ImageShape cut = both;  // the last name runs into the end of the file
    cut.cut_to = 0x200 + 0x3A0 + 13 + 4;
    struct Case {
        const char *what;
        Bytes bytes;
        std::vector<std::string> seen;
    } cases[] = {
        {"imports and delay-loads", image(both), {"KERNEL32.dll", "dv_dep.dll", "WINSPOOL.DRV (delayed)"}},
        {"old delay-load table", image(old_delay), {"KERNEL32.dll", "dv_dep.dll", "WINSPOOL.DRV (delayed)"}},
        {"PE32+", image(plus), {"KERNEL32.dll", "dv_dep.dll", "WINSPOOL.DRV (delayed)"}},
        {"cut short", image(cut), {"KERNEL32.dll", "dv_d"}},
        {"none", image(ImageShape()), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> seen;
        PeBytes source = {c.bytes.data(), c.bytes.size()};
        inspect_pe(pe_read_bytes, &source, nullptr, 0, [](void *context, const char *library, int delayed) {
            static_cast<std::vector<std::string> *>(context)->push_back(std::string(library) +
                                                                        (delayed ? " (delayed)" : ""));
        }, &seen);
        EXPECT_EQ(seen, c.seen);
    }
}

TEST(PeImage, ImportedFunctionsByNameAndOrdinal) {
    ImageShape pe32;
    pe32.imports = {"KERNEL32.dll", "dv_dep.dll"};
    pe32.functions = {{"GetLastError", "#12"}, {"dv_optional", "#77", "dv_attach"}};
    pe32.delayed = {"WINSPOOL.DRV"};
    ImageShape plus = pe32;
    plus.plus = true;
    plus.machine = PE_MACHINE_AMD64;
    ImageShape address_only = pe32;
    address_only.no_lookup_table = true;
    ImageShape cut = pe32;  // the last name runs into the end of the file
    cut.cut_to = 0x200 + 0x600 + 2 * 3 + 12 + 11 + 2 + 3;
    const std::vector<std::string> all = {"KERNEL32.dll!GetLastError", "KERNEL32.dll!#12", "dv_dep.dll!dv_optional",
                                          "dv_dep.dll!#77", "dv_dep.dll!dv_attach"};
    struct Case {
        const char *what;
        Bytes bytes;
        std::vector<std::string> seen;
    } cases[] = {
        {"PE32", image(pe32), all},
        {"PE32+: the ordinal flag in the high half", image(plus), all},
        {"no lookup table", image(address_only), all},
        {"cut short", image(cut), {"KERNEL32.dll!GetLastError", "KERNEL32.dll!#12", "dv_dep.dll!dv_optional",
                                   "dv_dep.dll!#77", "dv_dep.dll!dv_"}},
        {"no imports", image(ImageShape()), {}},
        {"not an image", Bytes(100, 'a'), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> seen;
        PeBytes source = {c.bytes.data(), c.bytes.size()};
        list_imported_functions(pe_read_bytes, &source, [](void *context, const char *library, const char *name,
                                                           unsigned ordinal) {
            static_cast<std::vector<std::string> *>(context)->push_back(
                std::string(library) + "!" + (name[0] ? std::string(name) : "#" + std::to_string(ordinal)));
        }, &seen);
        EXPECT_EQ(seen, c.seen);
    }
}

TEST(PeImage, BindingAnImportAsTheLoaderDoes) {
    ImageShape lib;
    lib.names = {"Alpha", "Beta", "Forwarded", "Zero"};
    lib.forwards = {"", "", "OTHER.Real", ""};
    lib.addresses = {0x2000, 0x2010, 0, 0};
    lib.ordinal_base = 5;  // ordinals 5 to 8
    ImageShape reversed = lib;
    reversed.names = {"Zero", "Forwarded", "Beta", "Alpha"};
    reversed.forwards = {"", "OTHER.Real", "", ""};
    const Bytes bytes = image(lib), reversed_bytes = image(reversed), none = image(ImageShape());
    struct Case {
        const char *what;
        const Bytes *bytes;
        const char *name;
        unsigned ordinal;
        PeExportKind kind;
        const char *forward;
    } cases[] = {
        {"a name", &bytes, "Beta", 0, PE_EXPORT_FOUND, ""},
        {"a name not exported", &bytes, "Gamma", 0, PE_EXPORT_ABSENT, ""},
        {"case counts", &bytes, "alpha", 0, PE_EXPORT_ABSENT, ""},
        {"a forwarded name", &bytes, "Forwarded", 0, PE_EXPORT_FORWARDED, "OTHER.Real"},
        // The loader binds what the table holds, where GetProcAddress fails.
        {"a zero address", &bytes, "Zero", 0, PE_EXPORT_FOUND, ""},
        {"a name only a scan finds", &reversed_bytes, "Alpha", 0, PE_EXPORT_FOUND, ""},
        {"the first ordinal", &bytes, "", 5, PE_EXPORT_FOUND, ""},
        {"a forwarded ordinal", &bytes, "", 7, PE_EXPORT_FORWARDED, "OTHER.Real"},
        {"the last ordinal", &bytes, "", 8, PE_EXPORT_FOUND, ""},
        {"below the base", &bytes, "", 4, PE_EXPORT_ABSENT, ""},
        {"past the table", &bytes, "", 9, PE_EXPORT_ABSENT, ""},
        {"no exports, by name", &none, "Alpha", 0, PE_EXPORT_ABSENT, ""},
        {"no exports, by ordinal", &none, "", 0, PE_EXPORT_ABSENT, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PeBytes source = {c.bytes->data(), c.bytes->size()};
        PeExports exports;
        ASSERT_TRUE(open_exports(pe_read_bytes, &source, &exports));
        char forward[PE_FORWARD_SIZE];
        EXPECT_EQ(bind_export(&exports, c.name, c.ordinal, forward), c.kind);
        EXPECT_STREQ(forward, c.forward);
    }
    Bytes text(100, 'a');
    PeBytes source = {text.data(), text.size()};
    PeExports exports;
    EXPECT_FALSE(open_exports(pe_read_bytes, &source, &exports));
}

TEST(PeImage, ManifestResource) {
    const std::string text = "<assembly><dependency/></assembly>";
    ImageShape with;
    with.manifest = text;
    ImageShape program_id = with;  // a program's manifest, which a DLL's load does not read
    program_id.manifest_id = 1;
    ImageShape cut = with;
    cut.cut_to = 0x200 + 0x880 + 10;
    struct Case {
        const char *what;
        Bytes bytes;
        size_t room;
        std::string expected;
    } cases[] = {
        {"resource 2", image(with), 256, text},
        {"cut to the room", image(with), 11, text.substr(0, 10)},
        {"cut by the file", image(cut), 256, text.substr(0, 10)},
        {"resource 1 only", image(program_id), 256, ""},
        {"no resources", image(ImageShape()), 256, ""},
        {"not an image", Bytes(64, 'M'), 256, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PeBytes source = {c.bytes.data(), c.bytes.size()};
        std::vector<char> out(c.room, 'x');
        size_t n = read_manifest_resource(pe_read_bytes, &source, 2, out.data(), out.size());
        EXPECT_EQ(std::string(out.data()), c.expected);
        EXPECT_EQ(n, c.expected.size());
    }
}

TEST(Manifest, DependenciesFilesAndRedirects) {
    const std::string converter =
        "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n"
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\n"
        "  <assemblyIdentity name='Own.Converter' version='1.0.0.0' type='win32'/>\n"
        "  <!-- <dependentAssembly><assemblyIdentity name='In.Comment'/></dependentAssembly> -->\n"
        "  <dependency><dependentAssembly>\n"
        "    <assemblyIdentity type=\"win32\" name=\"Microsoft.VC90.CRT\" version=\"9.0.21022.8\"\n"
        "      processorArchitecture=\"x86\" publicKeyToken=\"1fc8b3b9a1e18e3b\"></assemblyIdentity>\n"
        "  </dependentAssembly></dependency>\n"
        "  <asmv1:dependency><asmv1:dependentAssembly>\n"
        "    <asmv1:assemblyIdentity asmv1:name='Quoted>Name' version = '6.0.0.0' processorArchitecture='*'\n"
        "      publicKeyToken='6595b64144ccf1df' language='*'/>\n"
        "  </asmv1:dependentAssembly></asmv1:dependency>\n"
        "  <file name='own.dll'/>\n"
        "</assembly>\n";
    AssemblyIdentity found[MANIFEST_MAX_ASSEMBLIES];
    memset(found, 0, sizeof found);
    ASSERT_EQ(manifest_dependencies(converter.data(), converter.size(), found, MANIFEST_MAX_ASSEMBLIES), 2);
    EXPECT_STREQ(found[0].name, "Microsoft.VC90.CRT");
    EXPECT_STREQ(found[0].version, "9.0.21022.8");
    EXPECT_STREQ(found[0].arch, "x86");
    EXPECT_STREQ(found[0].token, "1fc8b3b9a1e18e3b");
    EXPECT_STREQ(found[0].language, "");
    EXPECT_STREQ(found[1].name, "Quoted>Name");
    EXPECT_STREQ(found[1].version, "6.0.0.0");
    EXPECT_STREQ(found[1].arch, "*");
    EXPECT_STREQ(found[1].language, "*");
    EXPECT_EQ(manifest_dependencies(converter.data(), converter.size(), found, 1), 1);
    // A text cut inside a tag ends the scan there.
    EXPECT_EQ(manifest_dependencies(converter.data(), converter.find("Quoted"), found, 8), 1);

    const std::string assembly =
        "<assembly><assemblyIdentity name='Microsoft.VC90.CRT'/>"
        "<file name='msvcr90.dll' hashalg='SHA1'/><file name=\"msvcp90.dll\"></file><file/>"
        "<noInheritable/></assembly>";
    char files[MANIFEST_MAX_FILES][PE_LIBRARY_NAME_SIZE];
    ASSERT_EQ(manifest_files(assembly.data(), assembly.size(), files, MANIFEST_MAX_FILES), 2);
    EXPECT_STREQ(files[0], "msvcr90.dll");
    EXPECT_STREQ(files[1], "msvcp90.dll");
    EXPECT_EQ(manifest_files(converter.data(), converter.size(), files, MANIFEST_MAX_FILES), 1);

    const std::string policy =
        "<assembly><dependency><dependentAssembly><assemblyIdentity name='Microsoft.VC90.CRT'/>"
        "<bindingRedirect oldVersion='9.0.20718.0-9.0.21022.8' newVersion='9.0.30729.6161'/>"
        "<bindingRedirect oldVersion='9.0.1.0' newVersion='9.0.2.0'/>"
        "</dependentAssembly></dependency></assembly>";
    struct Case {
        const char *version;
        const char *expected;  // "": no redirect
    } cases[] = {
        {"9.0.20718.0", "9.0.30729.6161"}, {"9.0.21022.8", "9.0.30729.6161"}, {"9.0.21022.9", ""},
        {"9.0.20717.65535", ""},           {"9.0.1.0", "9.0.2.0"},            {"9.0.1", ""},
        {"9.0.1.0.0", ""},                 {"9.0.65536.0", ""},
    };
    for (const Case &c : cases) {
        char to[32] = "";
        bool redirected = manifest_redirect(policy.data(), policy.size(), c.version, to, sizeof to);
        EXPECT_EQ(redirected, c.expected[0] != '\0') << c.version;
        EXPECT_STREQ(to, c.expected) << c.version;
    }
    unsigned a[4], b[4];
    ASSERT_TRUE(parse_assembly_version("6.0.2600.2982", a));
    ASSERT_TRUE(parse_assembly_version("6.0.10.0", b));
    EXPECT_GT(compare_assembly_versions(a, b), 0);
    EXPECT_LT(compare_assembly_versions(b, a), 0);
    EXPECT_EQ(compare_assembly_versions(a, a), 0);
}

PeFacts facts_of(PeKind kind, unsigned machine, unsigned found) {
    PeFacts f;
    memset(&f, 0, sizeof f);
    f.kind = kind;
    f.machine = machine;
    f.found_names = found;
    for (int i = 0; i < ENTRY_POINT_COUNT; ++i) f.exports[i] = found & (1u << i) ? PE_EXPORT_FOUND : PE_EXPORT_ABSENT;
    return f;
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
        {LIBRARY_READ, facts_of(PE_NOT_PE, 0, 0), 0, PE_MACHINE_I386, "not a Windows DLL"},
        {LIBRARY_READ, facts_of(PE_NOT_DLL, PE_MACHINE_I386, 15), 0, PE_MACHINE_I386,
         "not a Windows DLL: a program, not a library"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_AMD64, 15), 0, PE_MACHINE_I386,
         "64-bit library: only the x86_64 docvane can load it"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_I386, 15), 1, PE_MACHINE_AMD64,
         "32-bit library: only the i686 docvane can load it"},
        {LIBRARY_READ, facts_of(PE_DLL, 0xAA64, 15), 1, PE_MACHINE_AMD64,
         "library for machine type 0xaa64: docvane cannot load it"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_I386, INIT | RTF_TO), 0, PE_MACHINE_I386,
         "lacks IsFormatCorrect32, ForeignToRtf32"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_I386, INIT | RTF_TO), 1, PE_MACHINE_I386, "ok"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_I386, IS_FORMAT | FOREIGN), 1, PE_MACHINE_I386,
         "lacks InitConverter32, RtfToForeign32"},
        {LIBRARY_READ, facts_of(PE_DLL, PE_MACHINE_AMD64, INIT | IS_FORMAT | FOREIGN), 0, PE_MACHINE_AMD64, "ok"},
    };
    for (const Case &c : cases) {
        char out[REPORT_PROBLEM_SIZE];
        int ok = library_verdict(c.status, 5, &c.facts, nullptr, c.export_flag, c.own, out, sizeof out);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(ok, strcmp(c.expected, "ok") == 0) << c.expected;
    }
}

// What the loader meets after the file: the libraries it needs, then the
// entry points, each problem in its own words.
TEST(LibraryVerdict, DependenciesAndEntryPoints) {
    const unsigned ALL = INIT | IS_FORMAT | FOREIGN | RTF_TO;
    auto load_with = [](LoadProblemKind kind, const char *library, const char *needed_by, int beside) {
        LibraryLoad load;
        memset(&load, 0, sizeof load);
        load.imports.kind = kind;
        snprintf(load.imports.library, sizeof load.imports.library, "%s", library);
        snprintf(load.imports.needed_by, sizeof load.imports.needed_by, "%s", needed_by);
        snprintf(load.imports.found_at, sizeof load.imports.found_at, "C:\\docvane\\%s", library);
        load.imports.detail = kind == LOAD_OTHER_MACHINE ? PE_MACHINE_AMD64 : 5;
        load.imports.beside_converter = beside;
        return load;
    };
    PeFacts all = facts_of(PE_DLL, PE_MACHINE_I386, ALL);
    PeFacts odd = all;  // each entry point its own way
    odd.exports[0] = PE_EXPORT_OUT_OF_ORDER;
    odd.exports[1] = PE_EXPORT_NO_ADDRESS;
    odd.exports[2] = PE_EXPORT_OUTSIDE_IMAGE;
    odd.exports[3] = PE_EXPORT_FORWARDED;
    odd.found_names = 0;
    snprintf(odd.forward[3], sizeof odd.forward[3], "DV_FWD.Real");
    LibraryLoad fine = load_with(LOAD_OK, "", "", 0);
    LibraryLoad forward_gone = fine;
    forward_gone.forward_load[3] = load_with(LOAD_MISSING, "DV_FWD.dll", "", 0).imports;
    LibraryLoad forward_lacks = fine;
    forward_lacks.forward_export[3] = PE_EXPORT_ABSENT;
    LibraryLoad forward_ok = fine;
    forward_ok.forward_export[3] = PE_EXPORT_FOUND;
    PeFacts only_forwarded = all;
    only_forwarded.exports[3] = PE_EXPORT_FORWARDED;
    snprintf(only_forwarded.forward[3], sizeof only_forwarded.forward[3], "DV_FWD.Real");
    LibraryLoad delayed = fine;
    snprintf(delayed.delayed, sizeof delayed.delayed, "WINSPOOL.DRV, dv_late.dll");
    LibraryLoad missing_and_delayed = load_with(LOAD_MISSING, "dv_dep.dll", "", 0);
    snprintf(missing_and_delayed.delayed, sizeof missing_and_delayed.delayed, "WINSPOOL.DRV");
    LibraryLoad missing_function = load_with(LOAD_MISSING_FUNCTION, "dv_dep.dll", "", 0);
    snprintf(missing_function.imports.function, sizeof missing_function.imports.function, "dv_notthere");
    LibraryLoad missing_ordinal = load_with(LOAD_MISSING_FUNCTION, "KERNEL32.dll", "dv_dep.dll", 0);
    snprintf(missing_ordinal.imports.function, sizeof missing_ordinal.imports.function, "#77");
    missing_ordinal.imports.system_library = 1;
    LibraryLoad with_assemblies = fine;
    snprintf(with_assemblies.assemblies, sizeof with_assemblies.assemblies, "Dv.Found 1.0.0.0 (side-by-side store)");
    LibraryLoad assembly_missing = load_with(LOAD_ASSEMBLY_MISSING, "Dv.Absent 1.0.0.0", "", 0);
    memcpy(assembly_missing.assemblies, with_assemblies.assemblies, sizeof with_assemblies.assemblies);

    const char *OUT_OF_ORDER =
        "InitConverter32 is in the export name table out of order, where the loader's search does not find it";
    struct Case {
        PeFacts facts;
        LibraryLoad load;
        int export_flag;
        std::string expected;
    } cases[] = {
        {all, load_with(LOAD_MISSING, "dv_dep.dll", "", 0), 1, "needs dv_dep.dll: found nowhere docvane's loader looks"},
        {all, load_with(LOAD_MISSING, "dv_dep.dll", "", 1), 0,
         "needs dv_dep.dll: it is beside the converter, but docvane's loader does not look there"},
        {all, load_with(LOAD_MISSING, "dv_deeper.dll", "dv_dep.dll", 0), 0,
         "needs dv_deeper.dll (for dv_dep.dll): found nowhere docvane's loader looks"},
        {all, load_with(LOAD_OTHER_MACHINE, "dv_dep.dll", "", 0), 0,
         "needs dv_dep.dll: the first the loader finds, C:\\docvane\\dv_dep.dll, is a 64-bit library"},
        {all, load_with(LOAD_NOT_DLL, "dv_dep.dll", "", 0), 0,
         "needs dv_dep.dll: the first the loader finds, C:\\docvane\\dv_dep.dll, is not a Windows DLL"},
        {all, load_with(LOAD_UNREADABLE, "dv_dep.dll", "", 0), 0,
         "needs dv_dep.dll: the first the loader finds, C:\\docvane\\dv_dep.dll, cannot be read (error 5)"},
        // The dependency comes first: the library never loads.
        {odd, load_with(LOAD_MISSING, "dv_dep.dll", "", 0), 1, "needs dv_dep.dll: found nowhere docvane's loader looks"},
        {odd, forward_gone, 0,
         std::string(OUT_OF_ORDER) + "; IsFormatCorrect32 is exported with no address: the loader finds no export; "
         "ForeignToRtf32 is exported at an address outside the library: the loader finds no export"},
        {odd, forward_gone, 1,
         std::string(OUT_OF_ORDER) + "; RtfToForeign32 is forwarded to DV_FWD.Real: needs DV_FWD.dll: found nowhere "
         "docvane's loader looks"},
        {only_forwarded, forward_lacks, 1,
         "RtfToForeign32 is forwarded to DV_FWD.Real, which DV_FWD does not export as the loader finds it"},
        {only_forwarded, forward_ok, 1, "ok"},
        {only_forwarded, forward_ok, 0, "ok"},
        {all, delayed, 1, "ok; delay-loads WINSPOOL.DRV, dv_late.dll (not checked)"},
        {all, missing_and_delayed, 1,
         "needs dv_dep.dll: found nowhere docvane's loader looks; delay-loads WINSPOOL.DRV (not checked)"},
        {all, missing_function, 1,
         "needs dv_dep.dll!dv_notthere, which dv_dep.dll does not export: will not load on Windows"},
        {all, missing_ordinal, 0,
         "needs KERNEL32.dll!#77 (for dv_dep.dll), which this system's KERNEL32.dll does not export: will not "
         "load on Windows"},
        {all, assembly_missing, 1,
         "needs side-by-side assembly Dv.Absent 1.0.0.0: in neither the side-by-side store nor the converter's "
         "folder: will not load on Windows; side-by-side: Dv.Found 1.0.0.0 (side-by-side store)"},
        {all, with_assemblies, 0, "ok; side-by-side: Dv.Found 1.0.0.0 (side-by-side store)"},
        {facts_of(PE_DLL, PE_MACHINE_I386, INIT), with_assemblies, 0,
         "lacks IsFormatCorrect32, ForeignToRtf32; side-by-side: Dv.Found 1.0.0.0 (side-by-side store)"},
    };
    for (const Case &c : cases) {
        char out[REPORT_PROBLEM_SIZE];
        int ok = library_verdict(LIBRARY_READ, 0, &c.facts, &c.load, c.export_flag, PE_MACHINE_I386, out, sizeof out);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(ok, c.expected.compare(0, 2, "ok") == 0) << c.expected;
    }
    // The store could not be read: neither usable nor unusable.
    LibraryLoad unknown = load_with(LOAD_ASSEMBLY_UNKNOWN, "Dv.Somewhere 2.0.0.0", "", 0);
    char text[REPORT_PROBLEM_SIZE];
    EXPECT_EQ(library_verdict(LIBRARY_READ, 0, &all, &unknown, 1, PE_MACHINE_I386, text, sizeof text),
              VERDICT_UNKNOWN);
    EXPECT_STREQ(text, "needs side-by-side assembly Dv.Somewhere 2.0.0.0: not beside the converter, and the "
                       "side-by-side store cannot be read (error 5): cannot judge");
    // Cut, never overrun.
    char small[24];
    library_verdict(LIBRARY_READ, 0, &odd, &forward_gone, 1, PE_MACHINE_I386, small, sizeof small);
    EXPECT_EQ(std::string(small), std::string(OUT_OF_ORDER).substr(0, 23));
}

// The report's rows for the system line and for each kind of verdict.
TEST(InfoReport, SystemLineAndVerdicts) {
    static Report r;
    memset(&r, 0, sizeof r);
    r.build = "i686";
    snprintf(r.registry_view, sizeof r.registry_view, "32-bit Windows (one view)");
    snprintf(r.system_libraries, sizeof r.system_libraries, "imports checked against this system's, Wine 8.0 (not Windows)");
    const struct {
        int usable;
        const char *text;
    } rows[] = {{VERDICT_OK, "ok"}, {VERDICT_UNUSABLE, "needs a.dll!f, which a.dll does not export: will not load on Windows"},
                {VERDICT_UNKNOWN, "needs side-by-side assembly A 1.0.0.0: cannot judge"}};
    for (const auto &row : rows) {
        ReportRow *added = add_report_row(&r.directions[1]);
        ASSERT_NE(added, nullptr);
        added->numbered = 1;
        added->usable = row.usable;
        added->index[1] = static_cast<int>(&row - rows);
        snprintf(added->text, sizeof added->text, "%s", row.text);
    }
    std::vector<std::string> tsv, compact;
    ReportSink sink = [](void *context, const char *line) {
        static_cast<std::vector<std::string> *>(context)->push_back(line);
    };
    write_tsv_report(&r, sink, &tsv);
    write_compact_report(&r, sink, &compact);
    ASSERT_EQ(tsv.size(), 7u);
    EXPECT_EQ(tsv[3], "-\t-\t-\t-\tsystem\t\t\t\timports checked against this system's, Wine 8.0 (not Windows)\t-");
    EXPECT_EQ(tsv[4], "export\t-\t0\t-\tsubkey at position 0\t\t\t\tok\t-");
    EXPECT_EQ(tsv[5], "export\t-\t1\t-\tsubkey at position 0\t\t\t\t" + std::string(rows[1].text) +
                          "\texport with this index ends with -16");
    EXPECT_EQ(tsv[6], "export\t-\t2\t-\tsubkey at position 0\t\t\t\t" + std::string(rows[2].text) +
                          "\tdocvane may or may not load it");
    EXPECT_EQ(compact[3], "System libraries: imports checked against this system's, Wine 8.0 (not Windows)");
    std::vector<std::string> verdicts;
    for (const std::string &line : compact)
        if (line.compare(0, 6, "      ") == 0 && line.find("needs") != std::string::npos) verdicts.push_back(line);
    EXPECT_EQ(verdicts, (std::vector<std::string>{"      " + std::string(rows[1].text) + ": export with this index ends with -16",
                                                  "      " + std::string(rows[2].text) + ": docvane may or may not load it"}));
}

}  // namespace
