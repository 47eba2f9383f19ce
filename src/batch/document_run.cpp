#include "batch/document_run.h"

#include <vector>

#include "batch/wide_path.h"
#include "common/status_text.h"

namespace {

// The source's extension, kept on the copy when it is plain ASCII (converters
// may look at it); "" otherwise.
std::wstring plain_extension(const std::wstring &path) {
    size_t dot = path.rfind(L'.');
    size_t slash = path.rfind(L'\\');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
    std::wstring ext = path.substr(dot);
    if (ext.size() < 2 || ext.size() > 9) return L"";
    for (size_t i = 1; i < ext.size(); ++i) {
        wchar_t c = ext[i];
        bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
        if (!ok) return L"";
    }
    return ext;
}

std::string narrow_ascii(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c));
    return out;
}

bool write_whole(const std::wstring &path, const std::string &bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(h) && ok;
}

// At most limit bytes of the file; *size its whole size. False when it cannot
// be opened.
bool read_start(const std::wstring &path, size_t limit, std::string *bytes, long long *size) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER s;
    s.QuadPart = 0;
    GetFileSizeEx(h, &s);
    *size = s.QuadPart;
    bytes->assign(limit, '\0');
    DWORD got = 0;
    if (!ReadFile(h, &(*bytes)[0], static_cast<DWORD>(limit), &got, nullptr)) got = 0;
    bytes->resize(got);
    CloseHandle(h);
    return true;
}

// A copy error that means the work folder (DEST's volume) cannot be written,
// as opposed to a source that cannot be read.
bool write_side_error(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || error == ERROR_WRITE_FAULT ||
           error == ERROR_NETNAME_DELETED || error == ERROR_BAD_NETPATH || error == ERROR_DEV_NOT_EXIST;
}

}  // namespace

DocumentRun::~DocumentRun() {
    if (process_) CloseHandle(process_);
    if (job_) CloseHandle(job_);
}

double DocumentRun::seconds() const {
    ULONGLONG end = ended_ ? ended_ : GetTickCount64();
    return (end - started_) / 1000.0;
}

DocumentRun::Start DocumentRun::start(const RunSettings &s, unsigned serial, const std::wstring &source) {
    settings_ = &s;
    started_ = GetTickCount64();
    std::wstring n = std::to_wstring(serial);
    std::wstring copy_name = L"d" + n + plain_extension(source);
    std::wstring output_name = L"o" + n + (s.exporting ? L"." + utf8_to_wide(s.extension) : L".rtf");
    std::wstring request_name = L"r" + n + L".req";
    copy_ = s.work + L"\\" + copy_name;
    output_ = s.work + L"\\" + output_name;
    request_ = s.work + L"\\" + request_name;

    // The source is only read; converter code gets a copy, so whatever it
    // does it changes no file of the archive.
    HANDLE probe = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return SOURCE_UNREADABLE;
    CloseHandle(probe);
    if (!CopyFileW(source.c_str(), copy_.c_str(), FALSE)) {
        DWORD error = GetLastError();
        remove_work_files();
        return write_side_error(error) ? WORK_NOT_WRITABLE : SOURCE_UNREADABLE;
    }
    SetFileAttributesW(copy_.c_str(), FILE_ATTRIBUTE_NORMAL);

    std::wstring prefix = s.absolute_words ? s.work_plain + L"\\" : L"";
    std::string request = narrow_ascii(prefix + copy_name) + "\r\n" + narrow_ascii(prefix + output_name) + "\r\n" +
                          s.selector + "\r\n";
    if (s.exporting) request += std::to_string(s.index) + "\r\n";
    if (!write_whole(request_, request)) {
        remove_work_files();
        return WORK_NOT_WRITABLE;
    }

    job_ = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        remove_work_files();
        return NOT_STARTED;
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> attribute_room(size);
    auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_room.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size) ||
        !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_, sizeof job_, nullptr, nullptr)) {
        remove_work_files();
        return NOT_STARTED;
    }
    STARTUPINFOEXW si;
    ZeroMemory(&si, sizeof si);
    si.StartupInfo.cb = sizeof si;
    si.lpAttributeList = attributes;
    std::wstring command = L"\"" + s.docvane + L"\" " + (s.absolute_words ? s.work_plain + L"\\" : L"") + request_name;
    PROCESS_INFORMATION pi;
    BOOL started = FALSE;
    // Under load Wine has failed a start with ERROR_INTERNAL_ERROR before the
    // program ran at all; such a start is tried again.
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) Sleep(200);
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        started = CreateProcessW(s.docvane.c_str(), line.data(), nullptr, nullptr, FALSE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, nullptr,
                                 s.work_plain.c_str(), &si.StartupInfo, &pi);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    DeleteProcThreadAttributeList(attributes);
    if (!started) {
        remove_work_files();
        return NOT_STARTED;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    started_ = GetTickCount64();
    deadline_ = started_ + s.timeout_ms;
    return STARTED;
}

void DocumentRun::end_job() {
    if (!job_) return;
    // Whatever converter code left running goes with docvane's job; its files
    // are closed once the processes are gone.
    TerminateJobObject(job_, 1);
    if (process_) WaitForSingleObject(process_, 10000);
    for (int i = 0; i < 500; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
        if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
            info.ActiveProcesses == 0)
            break;
        Sleep(10);
    }
    CloseHandle(job_);
    job_ = nullptr;
}

void DocumentRun::remove_work_files() {
    DeleteFileW(copy_.c_str());
    DeleteFileW(request_.c_str());
    DeleteFileW(output_.c_str());
}

void DocumentRun::abandon() {
    end_job();
    remove_work_files();
}

DocumentRun::Finish DocumentRun::finish(bool timed_out, const std::wstring &final_path) {
    ended_ = GetTickCount64();
    RunFacts facts;
    facts.exporting = settings_->exporting;
    facts.timed_out = timed_out;
    DWORD code = 0;
    // The exit code is taken before the job is ended: ending it sets codes of
    // its own (and under Wine a process ended with its job reports 0).
    if (!timed_out) GetExitCodeProcess(process_, &code);
    end_job();
    facts.exit_code = code;

    std::string status;
    long long status_size = 0;
    if (!timed_out && read_start(request_, 4096, &status, &status_size)) {
        char text[STATUS_TEXT_SIZE + 256];
        int value = 0;
        if (parse_status_text(status.data(), status.size(), text, sizeof text, &value)) {
            facts.has_status = true;
            facts.status_result = value;
            has_result = true;
            result = value;
            has_progress = true;
            progress = ansi_to_utf8(text);
        }
    }
    if (!facts.has_status && !timed_out) {
        // No status: the exit code is all there is.
        has_result = true;
        result = static_cast<int>(code);
    }
    std::string head;
    long long size = 0;
    if (read_start(output_, 64, &head, &size)) {
        facts.output_ok = size > 0 && (settings_->exporting || looks_like_rtf(head.data(), head.size()));
        if (facts.output_ok) {
            has_bytes = true;
            bytes = size;
        }
    }
    outcome = classify_run(facts);
    Finish finish = DONE;
    if (outcome == OUTCOME_CONVERTED) {
        size_t slash = final_path.rfind(L'\\');
        if (!make_folders(final_path.substr(0, slash)) ||
            !MoveFileExW(output_.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                                                   MOVEFILE_WRITE_THROUGH))
            finish = DEST_NOT_WRITABLE;
    } else {
        has_bytes = false;
    }
    remove_work_files();
    return finish;
}
