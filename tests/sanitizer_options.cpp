// sanitizer_options.cpp - linked into every program of a sanitizer build.
//
// The sanitizers end a process that they report on with exit status 1 by
// default, which is also the solver's status after every run: a report could
// then pass for a normal end.  Status 86 is one that no test expects, and
// UBSan prints the stack of the fault.  ASAN_OPTIONS and UBSAN_OPTIONS in the
// environment still override these defaults.
extern "C" const char *__asan_default_options() { return "exitcode=86"; }
extern "C" const char *__ubsan_default_options() { return "exitcode=86:print_stacktrace=1"; }
