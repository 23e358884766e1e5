// A small shared library for the loading tests: one function under a lower-case name
// and one under an upper-case name only, as some DLLs export them.
extern "C" {
__attribute__((visibility("default"))) int sorvanti_test_lower() {
    return 1;
}
__attribute__((visibility("default"))) int SORVANTI_TEST_UPPER() {
    return 2;
}
}
