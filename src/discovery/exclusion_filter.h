// Keeps particular converter libraries out of an enumeration by the end of
// their file-name stem. Pure: the same path and flag always give the same
// answer.
#pragma once

// 1 when the library may be handed out for the direction (export_flag 0:
// import), 0 when it is excluded.
int passes_exclusion_filter(const char *library_path, int export_flag);
