// Leaks the leak checker reports that are no fault of the program: fontconfig,
// which Qt loads to draw text, keeps its configuration for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
