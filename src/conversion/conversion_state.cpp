#include "conversion/conversion_state.h"

const OwnFile *g_output_file;
const OwnFile *g_input_file;
HGLOBAL g_transfer_buffer;
long long g_bytes_read;
long long g_total_length;
int g_write_failed;
int g_read_failed;

namespace {
SRWLOCK g_state_lock = SRWLOCK_INIT;
}

void lock_conversion_state() { AcquireSRWLockExclusive(&g_state_lock); }
void unlock_conversion_state() { ReleaseSRWLockExclusive(&g_state_lock); }
