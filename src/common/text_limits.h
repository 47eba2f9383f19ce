// Fixed buffer sizes shared by several subsystems, each with its zero byte.
#pragma once

#include <stddef.h>

// Request parameters and the file routines: at most 263 characters.
constexpr size_t PATH_BUFFER_SIZE = 264;
// Registry paths and the converter path handle: at most 260 characters.
constexpr size_t REGISTRY_PATH_SIZE = 261;
