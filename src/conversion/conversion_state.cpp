#include "conversion/conversion_state.h"

FILE *g_output_file;
FILE *g_input_file;
HGLOBAL g_transfer_buffer;
long long g_bytes_read;
long long g_total_length;
int g_write_failed;
int g_read_failed;
