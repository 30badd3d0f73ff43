// The complaint report: the framed text the system core prints on standard error before it
// gives up on an operation.
#pragma once

// Needs: callerfn, the function that complains; errnum, a system error number (either sign)
// or 0; fmt and its arguments, printf-style, the complaint without a line end.
// Guarantees: prints, as one block on standard error, then flushes:
//   ----------
//   Complaint from <callerfn>():
//   <text>
//   System errno: <|errnum|> -- <description>      (only when errnum is not 0)
//   ----------
// It never ends the program; callers that cannot go on raise SIGABRT after it.
void xcp_complain_fn(const char *callerfn, int errnum, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
