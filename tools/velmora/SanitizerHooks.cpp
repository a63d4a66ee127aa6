// Leak-checker settings for sanitizer builds (the hook is only read by the
// sanitizer runtime; a normal build never calls it). Fontconfig, which
// cairo uses for the plot texts, keeps a few pattern objects until the
// process ends; they are not ours to free.
// The runtime looks the hook up by this reserved name.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// NOLINTEND(bugprone-reserved-identifier)
