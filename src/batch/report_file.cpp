#include "batch/report_file.h"

ReportFile::~ReportFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool ReportFile::open(const std::wstring &long_form, std::string *content) {
    handle_ = CreateFileW(long_form.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    content->clear();
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, nullptr)) return false;
        if (!got) break;
        content->append(buffer, got);
    }
    return true;
}

bool ReportFile::prepare_append(const std::string &content) {
    if (!content.empty() && content.back() != '\n') {
        size_t keep = content.rfind('\n');
        keep = keep == std::string::npos ? 0 : keep + 1;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(keep);
        if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) return false;
    }
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    return SetFilePointerEx(handle_, zero, nullptr, FILE_END) != 0;
}

bool ReportFile::append(const std::string &line) {
    DWORD written = 0;
    if (!WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size())
        return false;
    return FlushFileBuffers(handle_) != 0;
}
