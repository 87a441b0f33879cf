// tool_error.h - how the tools report bad input.
//
// The code the tools share never ends the process: it throws ToolError with
// the message to show, and each program's main prints it on standard error
// after the program's name and chooses the exit status.  So the same code can
// run in process, many times over, under the fuzzer.
#ifndef PMEDIAN_TOOLS_TOOL_ERROR_H
#define PMEDIAN_TOOLS_TOOL_ERROR_H

#include <stdexcept>
#include <string>

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws ToolError with a printf-formatted message.
[[noreturn]] void tool_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

#endif
