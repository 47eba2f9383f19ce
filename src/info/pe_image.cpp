#include "info/pe_image.h"

#include <string.h>

namespace {

const uint16_t FILE_IS_DLL = 0x2000;
const uint16_t OPTIONAL_MAGIC_PE32 = 0x10b;
const uint16_t OPTIONAL_MAGIC_PE32_PLUS = 0x20b;
const size_t FILE_HEADER_SIZE = 20;
const size_t SECTION_HEADER_SIZE = 40;
// The loader refuses more; it also bounds our work on a hostile file.
const unsigned MAX_SECTIONS = 96;
// Longer than any name looked for: a longer export compares as its first
// bytes, which orders it as the whole name would be against a shorter one.
const size_t NAME_BYTES = 64;
// Ordinals are 16-bit: no image has more names that the loader could find.
const uint32_t MAX_NAMES = 0x10000;
// Beyond any converter, and keeps the header arithmetic from wrapping.
const uint32_t MAX_HEADER_OFFSET = 0x10000000;
// More libraries than any image needs; bounds the work on a hostile file.
const unsigned MAX_IMPORTS = 512;
const size_t IMPORT_DESCRIPTOR_SIZE = 20;
const size_t DELAY_DESCRIPTOR_SIZE = 32;
// Data directories: exports, imports, delay-load imports.
const unsigned DIR_EXPORT = 0, DIR_IMPORT = 1, DIR_DELAY_IMPORT = 13;
const unsigned DIRS_READ = 14;

uint16_t u16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

struct Image {
    PeReadAt read_at;
    void *source;
    unsigned section_count;
    unsigned char sections[MAX_SECTIONS][SECTION_HEADER_SIZE];
    uint32_t image_size;
    uint32_t image_base;  // low 32 bits: old delay-load tables hold addresses, not offsets
    uint32_t dir_rva[DIRS_READ], dir_size[DIRS_READ];
};

bool read_exact(const Image &im, uint32_t offset, void *out, size_t size) {
    return im.read_at(im.source, offset, out, size) == size;
}

// The file offset of an address in the loaded image, through the section
// that holds it.
bool file_offset(const Image &im, uint32_t rva, uint32_t *offset) {
    for (unsigned i = 0; i < im.section_count; ++i) {
        const unsigned char *s = im.sections[i];
        uint32_t virtual_size = u32(s + 8), address = u32(s + 12), raw_size = u32(s + 16), raw_at = u32(s + 20);
        uint32_t extent = virtual_size > raw_size ? virtual_size : raw_size;
        if (rva >= address && rva - address < extent) {
            if (rva - address >= raw_size) return false;  // not backed by the file
            *offset = raw_at + (rva - address);
            return true;
        }
    }
    return false;
}

bool read_rva(const Image &im, uint32_t rva, void *out, size_t size) {
    uint32_t at;
    return file_offset(im, rva, &at) && read_exact(im, at, out, size);
}

// A zero-terminated string at rva, cut to size - 1 bytes; a string that the
// file cuts short reads as what is there, and none at all is no string.
bool read_string(const Image &im, uint32_t rva, char *out, size_t size) {
    uint32_t at;
    out[0] = '\0';
    if (!file_offset(im, rva, &at)) return false;
    size_t got = im.read_at(im.source, at, out, size - 1);
    out[got] = '\0';
    return got > 0;
}

struct ExportDirectory {
    uint32_t function_count, name_count, functions_rva, names_rva, ordinals_rva;
};

// The i-th name of the name table; false when its entry cannot be read.
bool export_name(const Image &im, const ExportDirectory &d, uint32_t i, char *name) {
    unsigned char entry[4];
    if (!read_rva(im, d.names_rva + i * 4, entry, 4)) return false;
    read_string(im, u32(entry), name, NAME_BYTES + 1);
    return true;
}

// What GetProcAddress finds for the name at position i of the name table.
PeExportKind export_at(const Image &im, const ExportDirectory &d, uint32_t i, char *forward) {
    unsigned char ordinal[2], address[4];
    if (!read_rva(im, d.ordinals_rva + i * 2, ordinal, 2)) return PE_EXPORT_NO_ADDRESS;
    uint32_t index = u16(ordinal);
    if (index >= d.function_count || !read_rva(im, d.functions_rva + index * 4, address, 4))
        return PE_EXPORT_NO_ADDRESS;
    uint32_t rva = u32(address);
    if (rva == 0) return PE_EXPORT_NO_ADDRESS;
    // An address inside the export directory is the text of a forwarder.
    if (rva - im.dir_rva[DIR_EXPORT] < im.dir_size[DIR_EXPORT]) {
        read_string(im, rva, forward, PE_FORWARD_SIZE);
        return PE_EXPORT_FORWARDED;
    }
    if (rva >= im.image_size) return PE_EXPORT_OUTSIDE_IMAGE;
    return PE_EXPORT_FOUND;
}

// The loader's lookup: a binary search over the name table, which it takes
// to be sorted. A name that only a scan finds is reported as out of order.
PeExportKind find_export(const Image &im, const ExportDirectory &d, const char *wanted, char *forward) {
    char name[NAME_BYTES + 1];
    int64_t low = 0, high = static_cast<int64_t>(d.name_count) - 1;
    while (low <= high) {
        int64_t middle = (low + high) / 2;
        if (!export_name(im, d, static_cast<uint32_t>(middle), name)) break;
        int order = strcmp(name, wanted);
        if (order == 0) return export_at(im, d, static_cast<uint32_t>(middle), forward);
        if (order > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    for (uint32_t i = 0; i < d.name_count; ++i) {
        if (!export_name(im, d, i, name)) break;
        if (!strcmp(name, wanted)) return PE_EXPORT_OUT_OF_ORDER;
    }
    return PE_EXPORT_ABSENT;
}

void find_exports(const Image &im, const char *const *wanted, int wanted_count, PeFacts *facts) {
    unsigned char dir[40];
    if (!im.dir_rva[DIR_EXPORT] || !read_rva(im, im.dir_rva[DIR_EXPORT], dir, sizeof dir)) return;
    ExportDirectory d = {u32(dir + 20), u32(dir + 24), u32(dir + 28), u32(dir + 32), u32(dir + 36)};
    if (d.name_count > MAX_NAMES) d.name_count = MAX_NAMES;
    for (int k = 0; k < wanted_count; ++k) {
        facts->exports[k] = find_export(im, d, wanted[k], facts->forward[k]);
        if (facts->exports[k] == PE_EXPORT_FOUND) facts->found_names |= 1u << k;
    }
}

// Import descriptors end at one with no name or no address table, as the
// loader reads them; delay-load descriptors end at one with no name.
void list_imports(const Image &im, PeImportSink sink, void *context) {
    char name[PE_LIBRARY_NAME_SIZE];
    for (unsigned i = 0; im.dir_rva[DIR_IMPORT] && i < MAX_IMPORTS; ++i) {
        unsigned char d[IMPORT_DESCRIPTOR_SIZE];
        if (!read_rva(im, im.dir_rva[DIR_IMPORT] + i * IMPORT_DESCRIPTOR_SIZE, d, sizeof d)) break;
        if (!u32(d + 12) || !u32(d + 16)) break;
        if (read_string(im, u32(d + 12), name, sizeof name)) sink(context, name, 0);
    }
    for (unsigned i = 0; im.dir_rva[DIR_DELAY_IMPORT] && i < MAX_IMPORTS; ++i) {
        unsigned char d[DELAY_DESCRIPTOR_SIZE];
        if (!read_rva(im, im.dir_rva[DIR_DELAY_IMPORT] + i * DELAY_DESCRIPTOR_SIZE, d, sizeof d)) break;
        uint32_t name_at = u32(d + 4);
        if (!name_at) break;
        // Attribute bit 0 clear: an old table, holding addresses.
        if (!(u32(d) & 1)) name_at -= im.image_base;
        if (read_string(im, name_at, name, sizeof name)) sink(context, name, 1);
    }
}

}  // namespace

PeFacts inspect_pe(PeReadAt read_at, void *source, const char *const *wanted, int wanted_count,
                   PeImportSink on_import, void *import_context) {
    PeFacts facts;
    memset(&facts, 0, sizeof facts);
    facts.kind = PE_NOT_PE;
    unsigned char dos[64];
    if (read_at(source, 0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z') return facts;
    uint32_t pe_at = u32(dos + 60);
    unsigned char header[4 + FILE_HEADER_SIZE];
    if (pe_at > MAX_HEADER_OFFSET || read_at(source, pe_at, header, sizeof header) != sizeof header ||
        memcmp(header, "PE\0\0", 4) != 0)
        return facts;
    const unsigned char *file_header = header + 4;
    facts.machine = u16(file_header);
    facts.kind = (u16(file_header + 18) & FILE_IS_DLL) ? PE_DLL : PE_NOT_DLL;

    unsigned sections = u16(file_header + 2);
    uint16_t optional_size = u16(file_header + 16);
    uint32_t optional_at = pe_at + sizeof header;
    // A sink may inspect another file before this call returns: no statics.
    Image im;
    memset(&im, 0, sizeof im);
    im.read_at = read_at;
    im.source = source;
    im.section_count = sections > MAX_SECTIONS ? MAX_SECTIONS : sections;
    size_t table_size = im.section_count * SECTION_HEADER_SIZE;
    if (read_at(source, optional_at + optional_size, im.sections, table_size) != table_size) im.section_count = 0;
    // The fields read: magic, image base, image size, and where the count of
    // data directories lies.
    unsigned char optional[112 + DIRS_READ * 8];
    size_t optional_read = optional_size < sizeof optional ? optional_size : sizeof optional;
    memset(optional, 0, sizeof optional);
    if (optional_size < 2 || !read_exact(im, optional_at, optional, optional_read)) return facts;
    uint32_t count_at;
    if (u16(optional) == OPTIONAL_MAGIC_PE32) {
        count_at = 92;
        im.image_base = u32(optional + 28);
    } else if (u16(optional) == OPTIONAL_MAGIC_PE32_PLUS) {
        count_at = 108;
        im.image_base = u32(optional + 24);
    } else {
        return facts;
    }
    if (optional_size < count_at + 4) return facts;
    im.image_size = u32(optional + 56);
    uint32_t dir_count = u32(optional + count_at);
    for (unsigned i = 0; i < DIRS_READ && i < dir_count; ++i) {
        uint32_t at = count_at + 4 + i * 8;
        if (at + 8 > optional_size) break;
        im.dir_rva[i] = u32(optional + at);
        im.dir_size[i] = u32(optional + at + 4);
    }
    if (wanted_count > PE_MAX_WANTED) wanted_count = PE_MAX_WANTED;
    find_exports(im, wanted, wanted_count, &facts);
    if (on_import) list_imports(im, on_import, import_context);
    return facts;
}

size_t pe_read_bytes(void *source, uint32_t offset, void *out, size_t size) {
    const PeBytes *b = static_cast<const PeBytes *>(source);
    if (offset >= b->size) return 0;
    size_t n = b->size - offset < size ? b->size - offset : size;
    memcpy(out, b->data + offset, n);
    return n;
}
