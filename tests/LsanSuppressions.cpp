// Text drawing goes through fontconfig, which keeps its caches to the end of
// the process on purpose; the leak checker is told to look past them only.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
