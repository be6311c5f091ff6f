// The reader must answer a pixel store that cannot be had with its message.
// AddressSanitizer would abort on such an allocation instead of letting
// calloc return null as the C library does, so tell it to return null.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
