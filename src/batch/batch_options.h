// dvbatch's command line: what to convert, where to, and how.
#pragma once

#include <string>
#include <vector>

struct BatchOptions {
    bool exporting = false;
    std::string source, dest;       // as given (UTF-8)
    std::string converters = "Y";   // import: the request file's selector
    int index = 0;                  // export: the converter index
    bool has_index = false;
    std::string extension;          // export: the outputs' extension, no dot
    int jobs = 0;                   // 0: the number of logical processors
    int timeout_seconds = 300;
    std::string report;             // empty: the default in DEST
    bool resume = false, retry_failed = false;
    int shard_k = 0, shard_n = 0;   // 0/0: no shard
    std::vector<std::string> include, exclude;
    std::string docvane;            // empty: docvane.exe beside dvbatch.exe
    bool quiet = false, help = false, version = false;
};

// The most documents at once: one wait covers every running docvane and the
// stop signal.
constexpr int MAX_JOBS = 63;

// Reads the arguments after the program name. Returns "" or a message that
// names what is wrong (the caller exits with 2).
std::string parse_batch_options(const std::vector<std::string> &args, BatchOptions *out);

// The text of --help.
const char *batch_usage();
