// A module for the loader's tests: one exported entry point.
extern "C" __attribute__((visibility("default"))) int tessarin_probe_answer() { return 42; }
