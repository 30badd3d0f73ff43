// The library's single last-error text (process-wide, not thread-safe).
#pragma once

// Stores "<function>: <message>", keeping at most 256 characters of the function name and
// 512 of the message. Null arguments count as empty texts.
void orverr_setError(const char *functionName, const char *message);

// The text stored last; empty before the first orverr_setError.
const char *orverr_getLastError();
