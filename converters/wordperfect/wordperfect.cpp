// wordperfect.cnv: imports WordPerfect documents (every version libwpd
// reads) as RTF, through the published text-converter API. Import only: no
// open library writes WordPerfect. The conversion itself is wpd_import; this
// file is the Win32 edge: the host's handles, the source file, the callback.
#include <windows.h>

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "conversion/converter_api.h"
#include "wordperfect_results.h"
#include "wpd_import.h"

#define WP_EXPORT extern "C" __declspec(dllexport)

WP_EXPORT long __stdcall InitConverter32(HANDLE hWnd, char *szModule);
WP_EXPORT HGLOBAL __stdcall RegisterApp(unsigned long lFlags, void *lpRegApp);
WP_EXPORT short __stdcall IsFormatCorrect32(HANDLE ghszFile, HANDLE ghszClass);
WP_EXPORT short __stdcall ForeignToRtf32(HANDLE ghszFile, void *pstgForeign, HANDLE ghBuff, HANDLE ghszClass,
                                         HANDLE ghszSubset, PFN_RTF lpfnOut);

static_assert(std::is_same<decltype(&InitConverter32), PFN_InitConverter32>::value, "InitConverter32");
static_assert(std::is_same<decltype(&RegisterApp), PFN_RegisterApp>::value, "RegisterApp");
static_assert(std::is_same<decltype(&IsFormatCorrect32), PFN_IsFormatCorrect32>::value, "IsFormatCorrect32");
static_assert(std::is_same<decltype(&ForeignToRtf32), PFN_ForeignToRtf32>::value, "ForeignToRtf32");

namespace {

// Documents above this size are not held in memory (the parser wants the
// whole file): their conversion ends with WP_RESULT_NO_MEMORY.
const unsigned long long MAX_DOCUMENT = 512ull << 20;
// The format test reads a whole file up to this size (a WordPerfect
// document inside an OLE container can sit anywhere in it); of a larger
// file only the start, where a plain WordPerfect file has its header.
const unsigned long long MAX_SNIFF = 64ull << 20;
const unsigned long long SNIFF_START = 1ull << 20;

// A global block locked for the life of the object.
class Locked {
  public:
    explicit Locked(HANDLE handle) : handle_(handle), p_(handle ? GlobalLock(handle) : nullptr) {}
    ~Locked() {
        if (p_) GlobalUnlock(handle_);
    }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;
    char *get() const { return static_cast<char *>(p_); }

  private:
    HANDLE handle_;
    void *p_;
};

class File {
  public:
    explicit File(HANDLE h) : h_(h) {}
    ~File() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

// Opens the file whose path the host's handle holds, in the OEM code page.
// The wide API takes it as converted once, so that neither the ANSI/OEM
// setting of the file functions nor a narrow C-runtime path matters.
HANDLE open_source(HANDLE ghszFile) {
    SIZE_T block = ghszFile ? GlobalSize(ghszFile) : 0;
    Locked path(ghszFile);
    if (!path.get() || block == 0) return INVALID_HANDLE_VALUE;
    size_t len = strnlen(path.get(), block);
    if (len == 0 || len == block || len > MAX_PATH) return INVALID_HANDLE_VALUE;
    wchar_t wide[MAX_PATH + 1];
    int n = MultiByteToWideChar(CP_OEMCP, 0, path.get(), static_cast<int>(len), wide, MAX_PATH);
    if (n <= 0) return INVALID_HANDLE_VALUE;
    wide[n] = L'\0';
    return CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool read_bytes(HANDLE file, std::string &out, unsigned long long count) {
    out.resize(static_cast<size_t>(count));
    size_t done = 0;
    while (done < out.size()) {
        DWORD want = static_cast<DWORD>(out.size() - done < (1u << 24) ? out.size() - done : (1u << 24));
        DWORD got = 0;
        if (!ReadFile(file, &out[done], want, &got, nullptr)) return false;
        if (got == 0) break;  // shorter than it was a moment ago
        done += got;
    }
    out.resize(done);
    return true;
}

// The host's side of one conversion: its transfer buffer and callback.
class Host : public ImportHost {
  public:
    Host(HANDLE buffer, PFN_RTF out) : buffer_(buffer), out_(out) {}
    long progress(int percent) override { return out_(0, percent); }
    size_t chunk_size() const override {
        // The count reaches the host as a signed 16-bit number.
        SIZE_T size = GlobalSize(buffer_);
        return size < SHRT_MAX ? size : SHRT_MAX;
    }
    long deliver(const char *bytes, size_t count, int percent) override {
        {
            Locked block(buffer_);
            if (!block.get()) return WP_RESULT_INTERNAL;
            std::memcpy(block.get(), bytes, count);
        }  // unlocked before the host reads it
        return out_(static_cast<long>(count), percent);
    }

  private:
    HANDLE buffer_;
    PFN_RTF out_;
};

}  // namespace

WP_EXPORT long __stdcall InitConverter32(HANDLE, char *) { return 1; }

// No preferences to exchange with the host.
WP_EXPORT HGLOBAL __stdcall RegisterApp(unsigned long, void *) { return nullptr; }

WP_EXPORT short __stdcall IsFormatCorrect32(HANDLE ghszFile, HANDLE) {
    try {
        File file(open_source(ghszFile));
        if (file.get() == INVALID_HANDLE_VALUE) return 0;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size)) return 0;
        unsigned long long length = static_cast<unsigned long long>(size.QuadPart);
        std::string head;
        if (!read_bytes(file.get(), head, length <= MAX_SNIFF ? length : SNIFF_START)) return 0;
        return wpd_recognises(reinterpret_cast<const unsigned char *>(head.data()), head.size()) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

WP_EXPORT short __stdcall ForeignToRtf32(HANDLE ghszFile, void *, HANDLE ghBuff, HANDLE, HANDLE, PFN_RTF lpfnOut) {
    try {
        if (!ghBuff || !lpfnOut || GlobalSize(ghBuff) == 0) return WP_RESULT_INTERNAL;
        std::string source;
        {
            File file(open_source(ghszFile));
            if (file.get() == INVALID_HANDLE_VALUE) return WP_RESULT_UNREADABLE;
            LARGE_INTEGER size;
            if (!GetFileSizeEx(file.get(), &size)) return WP_RESULT_UNREADABLE;
            if (static_cast<unsigned long long>(size.QuadPart) > MAX_DOCUMENT) return WP_RESULT_NO_MEMORY;
            if (!read_bytes(file.get(), source, static_cast<unsigned long long>(size.QuadPart)))
                return WP_RESULT_UNREADABLE;
        }
        Host host(ghBuff, lpfnOut);
        return static_cast<short>(wpd_import(source, host));
    } catch (const std::bad_alloc &) {
        return WP_RESULT_NO_MEMORY;
    } catch (...) {
        return WP_RESULT_INTERNAL;
    }
}
