// Fontconfig keeps its configuration caches until exit by design, and so does the message-bus
// library that SDL's desktop window loads (for input methods); the leak checker of the sanitizer
// builds is told so here, for every program that links the renderer.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }
#endif
