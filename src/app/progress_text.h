// Rendering the progress text from the progress format.
#pragma once

#include <stddef.h>

// The progress format while a converter library is loaded.
extern const char PROGRESS_FORMAT_LITERAL[];  // "Datei wird generiert (%d%)..."

// Renders format with percent into out (size bytes, always terminated): the
// first "%d" becomes percent in decimal, everything after it is copied
// unchanged. The "%)" that follows is text, not a conversion, so no general
// formatting routine sees it.
void render_progress_text(const char *format, int percent, char *out, size_t size);
