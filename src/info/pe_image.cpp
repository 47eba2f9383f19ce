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
// As long as any name looked for: a longer export compares as its first
// bytes, which orders it as the whole name would be against a shorter one.
const size_t NAME_BYTES = PE_FUNCTION_NAME_SIZE;
// Ordinals are 16-bit: no image has more names that the loader could find.
const uint32_t MAX_NAMES = 0x10000;
// Beyond any converter, and keeps the header arithmetic from wrapping.
const uint32_t MAX_HEADER_OFFSET = 0x10000000;
// More libraries than any image needs; bounds the work on a hostile file.
const unsigned MAX_IMPORTS = 512;
const size_t IMPORT_DESCRIPTOR_SIZE = 20;
const size_t DELAY_DESCRIPTOR_SIZE = 32;
// More functions from one library than any image imports; bounds the work.
const unsigned MAX_FUNCTIONS = 0x10000;
const uint32_t ORDINAL_FLAG32 = 0x80000000u;
// Data directories: exports, imports, resources, delay-load imports.
const unsigned DIR_EXPORT = 0, DIR_IMPORT = 1, DIR_RESOURCE = 2, DIR_DELAY_IMPORT = 13;
const unsigned DIRS_READ = 14;
const unsigned RT_MANIFEST_TYPE = 24;

uint16_t u16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

typedef PeImage Image;
static_assert(sizeof(PeImage::sections) == MAX_SECTIONS * SECTION_HEADER_SIZE, "section table room");

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

typedef PeExports ExportDirectory;

// The i-th name of the name table; false when its entry cannot be read.
bool export_name(const ExportDirectory &d, uint32_t i, char *name) {
    unsigned char entry[4];
    if (!read_rva(d.image, d.names_rva + i * 4, entry, 4)) return false;
    read_string(d.image, u32(entry), name, NAME_BYTES + 1);
    return true;
}

// What an address of the address table is: a forwarder's text when it lies
// inside the export directory.
PeExportKind export_address(const ExportDirectory &d, uint32_t index, char *forward) {
    const Image &im = d.image;
    unsigned char address[4];
    if (index >= d.function_count || !read_rva(im, d.functions_rva + index * 4, address, 4))
        return PE_EXPORT_NO_ADDRESS;
    uint32_t rva = u32(address);
    if (rva == 0) return PE_EXPORT_NO_ADDRESS;
    if (rva - im.dir_rva[DIR_EXPORT] < im.dir_size[DIR_EXPORT]) {
        read_string(im, rva, forward, PE_FORWARD_SIZE);
        return PE_EXPORT_FORWARDED;
    }
    if (rva >= im.image_size) return PE_EXPORT_OUTSIDE_IMAGE;
    return PE_EXPORT_FOUND;
}

// What GetProcAddress finds for the name at position i of the name table.
PeExportKind export_at(const ExportDirectory &d, uint32_t i, char *forward) {
    unsigned char ordinal[2];
    if (!read_rva(d.image, d.ordinals_rva + i * 2, ordinal, 2)) return PE_EXPORT_NO_ADDRESS;
    return export_address(d, u16(ordinal), forward);
}

// The loader's lookup: a binary search over the name table, which it takes
// to be sorted. A name that only a scan finds is reported as out of order.
PeExportKind find_export(const ExportDirectory &d, const char *wanted, char *forward) {
    char name[NAME_BYTES + 1];
    int64_t low = 0, high = static_cast<int64_t>(d.name_count) - 1;
    while (low <= high) {
        int64_t middle = (low + high) / 2;
        if (!export_name(d, static_cast<uint32_t>(middle), name)) break;
        int order = strcmp(name, wanted);
        if (order == 0) return export_at(d, static_cast<uint32_t>(middle), forward);
        if (order > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    for (uint32_t i = 0; i < d.name_count; ++i) {
        if (!export_name(d, i, name)) break;
        if (!strcmp(name, wanted)) return PE_EXPORT_OUT_OF_ORDER;
    }
    return PE_EXPORT_ABSENT;
}

// The export directory of an image read already; none reads as empty.
void read_exports(const Image &im, ExportDirectory *d) {
    memset(d, 0, sizeof *d);
    d->image = im;
    unsigned char dir[40];
    if (!im.dir_rva[DIR_EXPORT] || !read_rva(im, im.dir_rva[DIR_EXPORT], dir, sizeof dir)) return;
    d->ordinal_base = u32(dir + 16);
    d->function_count = u32(dir + 20);
    d->name_count = u32(dir + 24);
    d->functions_rva = u32(dir + 28);
    d->names_rva = u32(dir + 32);
    d->ordinals_rva = u32(dir + 36);
    if (d->name_count > MAX_NAMES) d->name_count = MAX_NAMES;
}

void find_exports(const Image &im, const char *const *wanted, int wanted_count, PeFacts *facts) {
    ExportDirectory d;
    read_exports(im, &d);
    for (int k = 0; k < wanted_count; ++k) {
        facts->exports[k] = find_export(d, wanted[k], facts->forward[k]);
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

// Reads the headers: kind and machine into facts, the rest into im; false
// when there is nothing more to read (no PE image, or no optional header the
// loader would take).
bool open_image(PeReadAt read_at, void *source, Image *im, PeFacts *facts) {
    memset(facts, 0, sizeof *facts);
    facts->kind = PE_NOT_PE;
    unsigned char dos[64];
    if (read_at(source, 0, dos, sizeof dos) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z') return false;
    uint32_t pe_at = u32(dos + 60);
    unsigned char header[4 + FILE_HEADER_SIZE];
    if (pe_at > MAX_HEADER_OFFSET || read_at(source, pe_at, header, sizeof header) != sizeof header ||
        memcmp(header, "PE\0\0", 4) != 0)
        return false;
    const unsigned char *file_header = header + 4;
    facts->machine = u16(file_header);
    facts->kind = (u16(file_header + 18) & FILE_IS_DLL) ? PE_DLL : PE_NOT_DLL;

    unsigned sections = u16(file_header + 2);
    uint16_t optional_size = u16(file_header + 16);
    uint32_t optional_at = pe_at + sizeof header;
    memset(im, 0, sizeof *im);
    im->read_at = read_at;
    im->source = source;
    im->section_count = sections > MAX_SECTIONS ? MAX_SECTIONS : sections;
    size_t table_size = im->section_count * SECTION_HEADER_SIZE;
    if (read_at(source, optional_at + optional_size, im->sections, table_size) != table_size) im->section_count = 0;
    // The fields read: magic, image base, image size, and where the count of
    // data directories lies.
    unsigned char optional[112 + DIRS_READ * 8];
    size_t optional_read = optional_size < sizeof optional ? optional_size : sizeof optional;
    memset(optional, 0, sizeof optional);
    if (optional_size < 2 || !read_exact(*im, optional_at, optional, optional_read)) return false;
    uint32_t count_at;
    if (u16(optional) == OPTIONAL_MAGIC_PE32) {
        count_at = 92;
        im->image_base = u32(optional + 28);
    } else if (u16(optional) == OPTIONAL_MAGIC_PE32_PLUS) {
        count_at = 108;
        im->pe32_plus = 1;
        im->image_base = u32(optional + 24);
    } else {
        return false;
    }
    if (optional_size < count_at + 4) return false;
    im->image_size = u32(optional + 56);
    uint32_t dir_count = u32(optional + count_at);
    for (unsigned i = 0; i < DIRS_READ && i < dir_count; ++i) {
        uint32_t at = count_at + 4 + i * 8;
        if (at + 8 > optional_size) break;
        im->dir_rva[i] = u32(optional + at);
        im->dir_size[i] = u32(optional + at + 4);
    }
    return true;
}

// One entry of a resource directory with the given id: its offset from the
// start of the resource section, and whether it leads to another directory.
// An id of ~0u takes the first entry.
bool resource_entry(const Image &im, uint32_t directory, unsigned id, uint32_t *target, bool *subdirectory) {
    const uint32_t base = im.dir_rva[DIR_RESOURCE];
    unsigned char head[16];
    if (!read_rva(im, base + directory, head, sizeof head)) return false;
    unsigned named = u16(head + 12), ids = u16(head + 14);
    for (unsigned i = 0; i < named + ids && i < 0x10000; ++i) {
        unsigned char entry[8];
        if (!read_rva(im, base + directory + 16 + i * 8, entry, sizeof entry)) return false;
        uint32_t name = u32(entry);
        // Named entries come first; a manifest is looked for by number.
        if (id != ~0u && (i < named || (name & 0x80000000u) || name != id)) continue;
        *subdirectory = (u32(entry + 4) & 0x80000000u) != 0;
        *target = u32(entry + 4) & 0x7FFFFFFFu;
        return true;
    }
    return false;
}

}  // namespace

PeFacts inspect_pe(PeReadAt read_at, void *source, const char *const *wanted, int wanted_count,
                   PeImportSink on_import, void *import_context) {
    PeFacts facts;
    // A sink may inspect another file before this call returns: no statics.
    Image im;
    if (!open_image(read_at, source, &im, &facts)) return facts;
    if (wanted_count > PE_MAX_WANTED) wanted_count = PE_MAX_WANTED;
    find_exports(im, wanted, wanted_count, &facts);
    if (on_import) list_imports(im, on_import, import_context);
    return facts;
}

void list_imported_functions(PeReadAt read_at, void *source, PeFunctionSink sink, void *context) {
    PeFacts facts;
    // A sink may inspect other files, this one's functions included.
    Image im;
    if (!open_image(read_at, source, &im, &facts) || !im.dir_rva[DIR_IMPORT]) return;
    const bool plus = im.pe32_plus != 0;
    const uint32_t thunk_size = plus ? 8 : 4;
    char library[PE_LIBRARY_NAME_SIZE], name[PE_FUNCTION_NAME_SIZE];
    for (unsigned i = 0; i < MAX_IMPORTS; ++i) {
        unsigned char d[IMPORT_DESCRIPTOR_SIZE];
        if (!read_rva(im, im.dir_rva[DIR_IMPORT] + i * IMPORT_DESCRIPTOR_SIZE, d, sizeof d)) break;
        if (!u32(d + 12) || !u32(d + 16)) break;
        if (!read_string(im, u32(d + 12), library, sizeof library)) continue;
        // The lookup table names the functions; an old linker left it out,
        // and the address table holds the same until the loader binds it.
        uint32_t table = u32(d) ? u32(d) : u32(d + 16);
        for (unsigned k = 0; k < MAX_FUNCTIONS; ++k) {
            unsigned char thunk[8];
            if (!read_rva(im, table + k * thunk_size, thunk, thunk_size)) break;
            uint32_t low = u32(thunk), high = plus ? u32(thunk + 4) : 0;
            if (!low && !high) break;
            bool by_ordinal = plus ? (high & ORDINAL_FLAG32) != 0 : (low & ORDINAL_FLAG32) != 0;
            if (by_ordinal) {
                sink(context, library, "", low & 0xFFFF);
                continue;
            }
            // Past the two bytes of the hint.
            if (read_string(im, (low & 0x7FFFFFFFu) + 2, name, sizeof name)) sink(context, library, name, 0);
        }
    }
}

bool open_exports(PeReadAt read_at, void *source, PeExports *exports) {
    PeFacts facts;
    Image im;
    if (!open_image(read_at, source, &im, &facts)) {
        memset(exports, 0, sizeof *exports);
        return false;
    }
    read_exports(im, exports);
    return true;
}

PeExportKind bind_export(const PeExports *exports, const char *name, unsigned ordinal, char *forward) {
    forward[0] = '\0';
    PeExportKind kind;
    if (name[0]) {
        kind = find_export(*exports, name, forward);
        if (kind == PE_EXPORT_OUT_OF_ORDER) return PE_EXPORT_FOUND;
    } else {
        if (ordinal < exports->ordinal_base || ordinal - exports->ordinal_base >= exports->function_count)
            return PE_EXPORT_ABSENT;
        kind = export_address(*exports, ordinal - exports->ordinal_base, forward);
    }
    if (kind == PE_EXPORT_NO_ADDRESS || kind == PE_EXPORT_OUTSIDE_IMAGE) return PE_EXPORT_FOUND;
    return kind;
}

size_t read_manifest_resource(PeReadAt read_at, void *source, unsigned id, char *out, size_t size) {
    out[0] = '\0';
    PeFacts facts;
    Image im;
    if (size == 0 || !open_image(read_at, source, &im, &facts) || !im.dir_rva[DIR_RESOURCE]) return 0;
    // Type, then name, then language: three levels, the last a data entry.
    uint32_t at = 0;
    bool subdirectory = true;
    const unsigned ids[3] = {RT_MANIFEST_TYPE, id, ~0u};
    for (unsigned level = 0; level < 3; ++level)
        if (!subdirectory || !resource_entry(im, at, ids[level], &at, &subdirectory)) return 0;
    if (subdirectory) return 0;
    unsigned char data[8];
    if (!read_rva(im, im.dir_rva[DIR_RESOURCE] + at, data, sizeof data)) return 0;
    uint32_t length = u32(data + 4);
    size_t n = length < size - 1 ? length : size - 1;
    uint32_t file_at;
    if (!file_offset(im, u32(data), &file_at)) return 0;
    n = read_at(source, file_at, out, n);
    out[n] = '\0';
    return n;
}

size_t pe_read_bytes(void *source, uint32_t offset, void *out, size_t size) {
    const PeBytes *b = static_cast<const PeBytes *>(source);
    if (offset >= b->size) return 0;
    size_t n = b->size - offset < size ? b->size - offset : size;
    memcpy(out, b->data + offset, n);
    return n;
}
