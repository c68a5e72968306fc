// Loaded by tests that look for the companion formats library among the loaded libraries.
extern "C" __attribute__((visibility("default"))) int ksFakeNoxFormats() { return 1; }
