// The converter results of wordperfect.cnv, besides the host callback's own
// negative answer, which ends a conversion unchanged. All differ from the
// host's codes (-4, -12, -15, -16), so a caller can tell what happened.
#pragma once

enum WordPerfectResult {
    WP_RESULT_OK = 0,
    // Not a document libwpd can read to the end: cut short, bytes damaged,
    // or a variant it does not support.
    WP_RESULT_DAMAGED = -101,
    // The document is encrypted: the converter API has no way to ask for
    // the password.
    WP_RESULT_PASSWORD = -102,
    WP_RESULT_NO_MEMORY = -103,
    // The source could not be opened or read (gone, locked, path too long).
    WP_RESULT_UNREADABLE = -104,
    // The host handed over no usable transfer buffer or callback, or an
    // unexpected failure inside the converter.
    WP_RESULT_INTERNAL = -105,
    // The host's callback answered non-zero without a negative low word.
    WP_RESULT_STOPPED = -106,
};
